//===- RawImage.h - Raw images through POSIX calls ------------------------===//
//
// A raw image is its guest bytes: read and written with pread/pwrite, holes
// found with SEEK_DATA/SEEK_HOLE, and copied to another raw image in the
// kernel with copy_file_range, one call per data run.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "ImageBackend.h"

#include <functional>
#include <memory>
#include <string>

namespace zydisk {

// Opens a regular file or block device for reading.
CQiError OpenRawImage(const std::string& path,
                      std::unique_ptr<ImageBackend>& image);
// Takes over fd, a new empty file, as an image of size bytes to write.
CQiError AdoptRawImage(int fd, const std::string& path, uint64_t size,
                       std::unique_ptr<ImageBackend>& image);

// Copies the data runs of from into to (both raw) in the kernel, leaving
// the holes; dataBytes counts the bytes copied and progress is told the
// end of each run.  ENOSYS/EXDEV/EINVAL/EOPNOTSUPP from the kernel leave
// nothing copied, so the caller can copy by blocks instead.
CQiError KernelCopy(ImageBackend& from, ImageBackend& to, uint64_t& dataBytes,
                    const std::function<void(uint64_t)>& progress);

}  // namespace zydisk
