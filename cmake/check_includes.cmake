# Fails when a source includes a header of a room it may not use: the
# folders state the architecture, and this keeps the includes to it.
# Usage: cmake -DSOURCE_DIR=path -P check_includes.cmake
#
# Each row: a folder, then the folders its files may include from.
set(allowed_model "model")
set(allowed_platform/support "model;platform/support")
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

set(bad "")
foreach(folder model platform/support ${zy_formats} platform/messages platform/diskimage
               platform/settings platform/access platform/folder converter p2v jobs tools)
  file(GLOB files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"(.*)/[^/]*\".*$" "\\1" target "${line}")
      if(target STREQUAL line)
        continue()  # a header beside the file
      endif()
      list(FIND allowed_${folder} "${target}" found)
      if(found EQUAL -1)
        file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
        list(APPEND bad "${rel}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "includes against the direction of the rooms:\n  ${text}")
endif()
