# Fails when a source includes a header of a folder it may not use, or when
# a room's link list (zy_add_room ROOMS) is not exactly the rooms its files
# include: the folders state the architecture, the links state each room's
# part of it, and this keeps the includes to both.
# Usage: cmake -DSOURCE_DIR=path -DROOMS_FILE=path -P check_includes.cmake
# ROOMS_FILE is written by zy_add_room at configure time: per room, its
# folder (zy_folder_<room>) and its links (zy_links_<room>).
include(${ROOMS_FILE})

# The architecture, one row a folder: the folders its files may include
# from.  model <- platform rooms and formats <- p2v, converter <- jobs <-
# tools; bench, fuzz and tests stand beside tools over everything below it.
set(allowed_model "model")
set(allowed_platform/support "model;platform/support")
# The XML module and its loader see the support room's table of it only.
set(allowed_platform/xerces "platform/support")
# The description formats: each format folder may use the others' syntax
# and the common folder; nothing of them reaches above the support room.
set(zy_formats formats/common formats/vmx formats/xen formats/libvirt formats/hyperv
               formats/ec2 formats/azure formats/zyf)
foreach(format IN LISTS zy_formats)
  set(allowed_${format} "model;platform/support;${zy_formats}")
endforeach()
foreach(room messages diskimage settings access)
  set(allowed_platform/${room} "model;platform/support;platform/${room}")
endforeach()
set(allowed_platform/folder "model;platform/support;${zy_formats};platform/diskimage;platform/settings;platform/access;platform/folder")
# p2v sits below the converter: the converter may use it, not the reverse.
set(allowed_p2v "model;platform/support;${zy_formats};platform/messages;platform/settings;platform/access;p2v")
set(allowed_converter "${allowed_p2v};platform/diskimage;converter")
set(allowed_jobs "${allowed_converter};platform/folder;jobs")
# The tool is the command line over the jobs.
set(allowed_tools "${allowed_jobs};tools")
# Benchmarks, fuzz targets and tests use the libraries, never the tool's
# sources: the tool's tests (tests/tool) run its executable.  A test area
# uses the shared test support (included as "support/...") and itself.
set(allowed_bench "${allowed_jobs};bench")
set(allowed_fuzz "${allowed_jobs};fuzz")
file(GLOB test_entries LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/tests/*)
set(test_areas)
foreach(area IN LISTS test_entries)
  if(IS_DIRECTORY ${SOURCE_DIR}/${area} AND NOT area STREQUAL "tests/data")
    list(APPEND test_areas ${area})
    set(allowed_${area} "${allowed_jobs};tests/support;${area}")
  endif()
endforeach()

foreach(room IN LISTS zy_rooms)
  set(room_of_${zy_folder_${room}} ${room})
  set(included_${room})
endforeach()

set(bad "")
foreach(folder model platform/support platform/xerces ${zy_formats} platform/messages platform/diskimage
               platform/settings platform/access platform/folder converter p2v jobs tools
               bench fuzz ${test_areas})
  set(room "${room_of_${folder}}")
  file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
    file(STRINGS ${file} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"(.*)/[^/]*\".*$" "\\1" target "${line}")
      if(target STREQUAL line)
        # Only a header beside the file goes by its bare name.
        string(REGEX REPLACE "^#include \"(.*)\".*$" "\\1" name "${line}")
        if(NOT EXISTS ${SOURCE_DIR}/${folder}/${name})
          list(APPEND bad "${rel}: ${line} (not beside the file)")
        endif()
        continue()
      endif()
      if(folder MATCHES "^tests/" AND target STREQUAL "support")
        set(target tests/support)
      endif()
      list(FIND allowed_${folder} "${target}" found)
      if(found EQUAL -1)
        list(APPEND bad "${rel}: ${line}")
      elseif(room AND room_of_${target} AND NOT target STREQUAL folder)
        set(used ${room_of_${target}})
        list(APPEND included_${room} ${used})
        list(FIND zy_links_${room} ${used} linked)
        if(linked EQUAL -1)
          list(APPEND bad "${rel}: ${line} (room ${room} does not link ${used})")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

# A link no file of the room needs is a stale one.
foreach(room IN LISTS zy_rooms)
  set(stale ${zy_links_${room}})
  if(included_${room})
    list(REMOVE_ITEM stale ${included_${room}})
  endif()
  if(stale)
    list(JOIN stale ", " names)
    list(APPEND bad "room ${room} links ${names} but includes no header of it")
  endif()
endforeach()

if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "includes against the direction of the rooms:\n  ${text}")
endif()
