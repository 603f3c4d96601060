//===- RawImage.h - Raw images through POSIX calls ------------------------===//
//
// A raw image is its guest bytes: read and written with pread/pwrite, holes
// found with SEEK_DATA/SEEK_HOLE, and copied to another raw image by a
// clone, or in the kernel with copy_file_range, one call per data run.
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

// Copies from into to (both raw, to at least from's size) keeping the
// holes: a clone (FICLONE) where the file system shares extents, else the
// data runs found with SEEK_DATA/SEEK_HOLE, in the kernel with
// copy_file_range, or by read and write where the kernel cannot copy
// between the two files.  dataBytes counts the bytes of data runs and
// progress is told how far the copy has come.
CQiError KernelCopy(ImageBackend& from, ImageBackend& to, uint64_t& dataBytes,
                    const std::function<void(uint64_t)>& progress);

}  // namespace zydisk
