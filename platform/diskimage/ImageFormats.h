//===- ImageFormats.h - The image formats and qemu's image tool -----------===//
//
// One row per format the component writes (its qemu driver and the options
// `qemu-img create` gets), the reading side's recognition of a file's format
// from its magic numbers, and the checks an image passes before qemu opens
// it: no backing file, VMDK extents beside their descriptor, a virtual size
// of at most 64 TiB.  qemu's programs are run here too, each found on PATH
// first so that a missing one is reported with the package that brings it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "CArchiveVirtualDiskFile.h"
#include "platform/support/ChildProcess.h"
#include "platform/support/StopRequest.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zydisk {

// How the component writes each format; the formats' names are in
// model/ImageFormats.h.
struct FormatRow {
  ImageFormat_t format;
  const char* createOptions;  // -o of qemu-img create
  uint64_t sizeUnit;          // virtual sizes are rounded up to this
  bool checked;               // qemu-img check reads its tables
  const char* name() const { return zykinds::ImageFormatFactsOf(format).name; }
  const char* shortName() const {
    return zykinds::ImageFormatFactsOf(format).shortName;
  }
  const char* driver() const {
    return zykinds::ImageFormatFactsOf(format).driver;
  }
};

const FormatRow& RowOf(ImageFormat_t format);

// Images above this virtual size are refused: no destination takes them,
// and a corrupt header claiming exabytes must not start a copy.
constexpr uint64_t kMaxVirtualSize = 64ull << 40;

// The format an image is read in: the one its DiskType_t names, else the
// one its content shows.  A content in a format the component does not
// read, or one that contradicts the DiskType_t, is an error naming the file.
CQiError FormatToRead(const std::string& path, DiskType_t type,
                      ImageFormat_t& format);

// A VMDK descriptor's extents are plain names of files beside it, none a
// symbolic link; a file that is not a descriptor passes.
CQiError CheckDescriptor(const std::string& path);

// A formatted image, checked: a regular file (or a block device), no
// backing file, no external data file, no reference that is not known
// here, a listed VMDK kind, extents beside the descriptor and regular
// files, at most 64 TiB.  Its own headers answer where ImageSniffer reads
// them (qcow2, sparse VMDK, VHD, VHDX); qemu-img info, every reference it
// reports checked, where they do not.  With copying (the guest data is
// read next), qemu-img check too, for the formats whose tables can be
// inconsistent with the file (the row's checked; not a VMDK of flat
// extents only).  While a run lasts
// (CheckOncePerRun), a regular file found sound before and unchanged since
// (its device, inode, size and times) is not read again.
//
// A copy that gives beside has the qemu-img check run there, side by side
// with the copy, instead of before CheckImage returns.
class TableCheck;
CQiError CheckImage(const std::string& path, ImageFormat_t format,
                    uint64_t& virtualSize, bool copying = true,
                    TableCheck* beside = nullptr);

// A qemu-img check of a copy's source that runs in a thread of its own
// while the copy reads the same image: the copy is kept only when Finish
// finds the image sound.  Destroyed unfinished, it ends the check and
// waits for it.
class TableCheck {
 public:
  TableCheck() = default;
  ~TableCheck();
  TableCheck(const TableCheck&) = delete;
  TableCheck& operator=(const TableCheck&) = delete;
  void Start(std::function<CQiError()> check);
  // The check's verdict, success when none was started.  Waits for it; a
  // stop asked of the calling thread (a signal, its group) ends it.
  CQiError Finish();

 private:
  void Run(const std::function<CQiError()>& check);
  StopGroup stop_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  CQiError verdict_;
};
void BeginCheckOnce();
void EndCheckOnce();

// qemu-img create of a new image at path (an existing file is replaced).
CQiError CreateImage(const std::string& path, ImageFormat_t format,
                     uint64_t virtualSize);

// Copies the guest bytes of source, read as sourceFormat, into
// destination, followed by zerosAfter bytes of zeros (a multiple of 512,
// as the source's size then must be).  With create, the convert makes
// destination itself, as large as both, with the options CreateImage
// gives: the same image as CreateImage then a copy, one process fewer.
// Else destination is an existing image of destinationFormat that reads as
// zeros and is at least as large (`qemu-img convert -n
// --target-is-zero`).  Either way only what is not zeros is written, so
// holes stay holes, and the source's backing file is never opened.
// progress is told the percentage done as qemu-img reports it.
CQiError ConvertImage(const std::string& source, ImageFormat_t sourceFormat,
                      const std::string& destination,
                      ImageFormat_t destinationFormat, bool create,
                      uint64_t zerosAfter,
                      const std::function<void(double)>& progress);

// Compares the guest data of source and copy (`qemu-img compare`, both
// named with the options the copy read and wrote them with); a difference
// is an error naming the first offset that differs.
CQiError CompareImages(const std::string& source, ImageFormat_t sourceFormat,
                       const std::string& copy, ImageFormat_t copyFormat);

// The bytes a sparse copy of source takes: `qemu-img measure -O qcow2`'s
// required size (qemu measures only qcow2 and raw, and raw as if fully
// allocated), its data with qcow2's tables.
CQiError MeasureImage(const std::string& source, ImageFormat_t sourceFormat,
                      uint64_t& bytes);

// A json: description of the image at path in format, with its backing
// file disabled ("backing": null).
std::string ImageOptions(const std::string& path, ImageFormat_t format);

// The full path of a qemu program on PATH, or an error naming the Debian
// package qemu-utils.
CQiError FindQemuProgram(const char* name, std::string& path);

// path made absolute, so that qemu never reads a "protocol:" prefix in it.
std::string AbsolutePath(const std::string& path);

// Time limits of qemu-img: metadata is read in seconds, even for a large
// image; a copy or a map runs as long as it makes progress.
constexpr ChildLimits kMetadataLimits = {60, 0};
constexpr ChildLimits kCheckLimits = {300, 0};
constexpr ChildLimits kStreamLimits = {0, 60};

// Runs argv (argv[0] a full path) under limits and collects its output, at
// most 1 MiB of each stream, or hands its stdout to onOutput as it comes;
// an exit status not in success is an error with the last line of its
// stderr, and a child past a limit is killed with its process group.  The
// child reaches only the folders given (and the system's).
using OutputSink = ChildOutput;
CQiError RunProgram(const std::vector<std::string>& argv, std::string& out,
                    const ChildLimits& limits, const ChildFolders& folders,
                    std::initializer_list<int> success = {0},
                    const OutputSink& onOutput = nullptr);

// The folders of the images read, to read, and the folder of the image
// written (if any), to write.
ChildFolders ImageFolders(std::initializer_list<std::string> read,
                          const std::string& written = std::string());

}  // namespace zydisk
