//===- CArchiveVirtualDiskFile.h - Disk image component -------------------===//
//
// Reads and writes disk images block by block, and copies whole images; the
// one place where this library moves bulk data.
//
// Formats.  Raw images are read and written with POSIX calls.  VMDK, VHD,
// VHDX and qcow2 go through qemu's block layer (Debian package qemu-utils):
// the block stream through one qemu-nbd server per open image, started by
// libnbd with socket activation, so no socket file exists and the server
// ends with the image; whole-image copies through `qemu-img convert`.  The
// format is always named to qemu (never probed), and every image is opened
// with its backing file disabled: an image that declares a backing file, a
// VMDK extent outside its own folder or a virtual size above 64 TiB is
// refused before it is opened.
//
//   Read: raw; VMDK monolithicSparse, monolithicFlat and vmfs descriptors
//   with their flat extent, twoGbMaxExtentSparse, twoGbMaxExtentFlat,
//   streamOptimized; VHD fixed and dynamic; VHDX fixed and dynamic; qcow2
//   versions 2 and 3.  Open takes the format from the DiskType_t where it
//   names one (12, 13, 14, 23 VHD; 18 VMDK; 20, 21, 22, 24 VHDX) and
//   otherwise recognises it from the content (magic numbers), never from a
//   file name.  Other formats (qcow version 1, QED, VDI, Parallels, DMG, ...)
//   are refused by name.
//
//   Write: Create makes the image in the format of the destination
//   DiskType_t, chosen as what the destination imports as is:
//     DiskType_t            format                why
//     18 (VMware)           VMDK monolithicSparse one growable file that
//                                                 VMware's hosted products
//                                                 run as is and vmkfstools
//                                                 imports; streamOptimized
//                                                 is a compressed transport
//                                                 form (OVF) that no VMware
//                                                 host runs without an import
//                                                 and that can only be
//                                                 written front to back
//     12, 13, 14 (Hyper-V)  VHD dynamic           Hyper-V attaches it as is
//     20, 21, 22            VHDX dynamic          Hyper-V attaches it as is
//     23 (Azure)            VHD fixed, virtual    Azure takes only fixed VHDs
//                           size rounded up to    of a whole number of MiB
//                           a whole MiB
//     24 (Amazon)           VHDX dynamic          VM Import takes VHDX
//     25 (RHEV), 28         qcow2 (v3)            the native image of
//     (Nutanix), 32                               oVirt/RHEV, AHV's image
//     (OpenStack)                                 service and Glance; sparse
//                                                 on any file system
//     29 (Oracle VM), 30,   raw, sparse           Oracle VM repositories hold
//     33, 34, 35, 0                               raw images; the unnamed
//                                                 kinds take raw as the one
//                                                 form every importer reads
//   VHD is written with the exact virtual size (force_size), not rounded to
//   a CHS geometry.
//
// Reading (Open, GetFirstBlock, GetNextBlock):
//   - A relative path opened after SetVMInfo is resolved against the mount
//     context's mount path: mounted files are named relative to the mount.
//   - GetFirstBlock reads the first blockSize guest bytes and starts the
//     stream; GetNextBlock then delivers the guest bytes from the first on,
//     in blocks of the component's block size (kBlockSize, or a multiple of
//     the extent size when extents are larger).  The last block may be
//     short.  The context's u64DiskSize is the guest-visible size.
//   - Each block comes with its byte offset and an allocation map of one
//     flag per extent (the last extent may be partial).  An extent that the
//     image leaves unallocated (SEEK_DATA/SEEK_HOLE on raw files, NBD block
//     status "base:allocation" otherwise), or that holds only zeros, is
//     unallocated.  Blocks that lie wholly in unallocated space are passed
//     over, except the last block of the image, which is always delivered so
//     that a writer learns the image's full size.
//   - After the last block, GetNextBlock returns the end-of-data error
//     (virtual-server error 10002, IsErrorEOF).  A failed block is skipped:
//     the next call goes on with the following block.
//
// Writing (Create, WriteBlock):
//   - Create never replaces an existing file (O_EXCL).  A raw image is made
//     at the disk size given (0: empty, grown by the blocks written); the
//     other formats are made with `qemu-img create` at that size.  A
//     formatted image asked for with size 0 is written to a sparse raw file
//     beside it and translated at Close, when its size is known.
//   - WriteBlock writes the allocated extents of a block only, so
//     unallocated extents stay unallocated in every format.  An image is
//     written once: an unallocated extent keeps what is there.
//
// Copying (CopyImage): one whole image to a new file, the operation every
// user of the component calls.  It is written under a temporary name in the
// destination's folder and renamed to its name at the end, so the name
// holds a whole image or nothing; a failed copy removes its temporary file,
// and one left by a killed copy is removed by the next copy to that name.
// Raw to raw clones (FICLONE) or copies data runs (copy_file_range, or
// read and write), leaving holes.  Every other pair is copied by
// `qemu-img convert` onto the image Create's table makes, writing only
// what is not zeros, so holes stay holes; progress follows its reports.
// Asked to verify, it compares the guest data of the finished copy with the
// source's (`qemu-img compare`, a larger destination reading zeros beyond
// the source) before the rename, so a copy that differs never appears.
//
// Errors: every failure is an error value (CQiError) naming the file, with
// the system's or qemu's text; a missing qemu-img or qemu-nbd names the
// Debian package to install.  Memory stays bounded by the block buffer and
// one allocation map, whatever the image size.
//
//===----------------------------------------------------------------------===//
#pragma once

#include "model/ImageFormats.h"
#include "model/Contexts.h"
#include "model/VirtualServerTypes.h"
#include "model/ZyExport.h"
#include "platform/support/CAutoMemory.h"
#include "platform/support/CMediaSpeedCounter.h"
#include "platform/support/CQiError.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class IVMInfo;

typedef int32_t ProductType_t;


class ZY_PLATFORM_API CArchiveVirtualDiskFile {
 public:
  // Stream state owned by the caller and filled by the component.  The
  // second field is the extent size in bytes, valid after the first block
  // (for a writer, after Create).
  struct Context_t {
    uint64_t u64Position = 0;    // end of the last block read or written
    uint64_t u64ExtentSize = 0;  // bytes per allocation-map flag
    uint64_t u64DiskSize = 0;    // size of the image in bytes
    uint64_t u64BlockSize = 0;   // bytes per full block
  };

  // Block size of the stream: large, so that a copy costs few system calls,
  // and small enough to stay in the processor's cache between the read and
  // the write.
  static constexpr uint64_t kBlockSize = 1024 * 1024;
  // Extent size when none is set: the file systems' block size.
  static constexpr uint64_t kDefaultExtentSize = 4096;
  // Extents are at most this large, so a block stays a few MiB at most.
  static constexpr uint64_t kMaxExtentSize = 16 * 1024 * 1024;
  // The header GetFirstBlock reads is at most this large.
  static constexpr uint32_t kMaxFirstBlockSize = 64 * 1024 * 1024;

  // productType is recorded only: sources and destinations work alike.
  explicit CArchiveVirtualDiskFile(ProductType_t productType);
  // Closes what is still open.
  ~CArchiveVirtualDiskFile();
  CArchiveVirtualDiskFile(const CArchiveVirtualDiskFile&) = delete;
  CArchiveVirtualDiskFile& operator=(const CArchiveVirtualDiskFile&) = delete;

  // Names the mounted machine whose files Open reads; the mount path of
  // mountCtx (may be null) is copied.
  void SetVMInfo(IVMInfo* vmInfo, const std::string& vmName,
                 const std::string& vmGuid, MountCtx* mountCtx,
                 RestoreCtx* restoreCtx);
  // 0 selects kDefaultExtentSize; a size above kMaxExtentSize makes the
  // stream operations fail with EINVAL.
  void SetExtentSize(uint64_t extentSize);
  // Opens an image (regular file or block device) for reading.
  CQiError Open(const std::string& path, DiskType_t type);
  // Images carry their own size; the sizes are kept for the record.
  // Negative sizes are EINVAL.
  CQiError SetDiskSize(int64_t maxSize, int64_t currentSize);
  CQiError GetFirstBlock(CAutoMemory<char>& buffer, uint32_t blockSize,
                         Context_t& context);
  CQiError GetNextBlock(CAutoMemory<char>& buffer, uint64_t& offset,
                        std::vector<bool>& allocationMap, Context_t& context);
  // Creates a new image for writing in the format of destinationType.
  // firstBlock and flags are not used (the stream of GetNextBlock starts at
  // the first byte anyway).
  CQiError Create(const std::string& path, DiskType_t sourceType,
                  DiskType_t destinationType, CAutoMemory<char>& firstBlock,
                  uint64_t diskSize, uint32_t flags, Context_t& context);
  // allocationMap must hold one flag per extent of the buffer.
  CQiError WriteBlock(CAutoMemory<char>& buffer, uint64_t offset,
                      const std::vector<bool>& allocationMap,
                      Context_t& context);
  // Closes the image; closing twice, or with nothing open, is success.
  CQiError Close();

  // True when error is the end of the data stream (virtual-server 10002).
  static bool IsErrorEOF(const CQiError& error);

  // What a copy is asked to do.  The destination must not exist; its
  // virtual size is the source's, or minimumSize where that is larger.
  struct CopyRequest_t {
    std::string source;
    DiskType_t sourceType = DT_NONE;  // DT_NONE: recognised from the content
    // The format the source VM's own description states for the image, a
    // short name ("raw", "qcow2", ...); it wins over the content: an image
    // stated raw is read raw whatever header it seems to start with.
    std::string statedFormat;
    std::string destination;
    ImageFormat_t format = ImageFormat_t::kRaw;
    uint64_t minimumSize = 0;
    // Called after each block with the bytes done and the virtual size.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // After the copy, before the destination takes its name, the guest data
    // of both are compared (qemu-img compare); a difference fails the copy.
    bool verify = false;
  };
  struct CopyResult_t {
    std::string sourceFormat;  // FormatName of what was read ("VMDK", ...)
    uint64_t virtualSize = 0;  // of the destination
    uint64_t bytesRead = 0;    // guest bytes read
    uint64_t dataBytes = 0;    // of those, bytes the destination holds as data
    bool verified = false;     // compared with the source and found equal
  };
  // Copies a whole image into a new image of the requested format.
  static CQiError CopyImage(const CopyRequest_t& request, CopyResult_t& result);

  // The bytes the destination of request takes on its file system: what
  // `qemu-img measure` requires for qcow2 (the data and qcow2's tables; the
  // measure qemu gives for the other sparse formats and the data size of a
  // sparse raw file), the whole virtual size for a fixed VHD.  With bound,
  // a figure no copy exceeds instead, found without reading the source's
  // tables: its virtual size, fully allocated, with the tables of any
  // format; a room check that finds room for it need not measure.
  static CQiError Measure(const CopyRequest_t& request, uint64_t& bytes,
                          bool bound = false);

  // What an image is: its format's name and its guest-visible size.
  struct ImageFacts_t {
    std::string format;
    uint64_t virtualSize = 0;
  };
  static CQiError Inspect(const std::string& path, DiskType_t type,
                          ImageFacts_t& facts);

  // While one lives, each image's metadata is read and checked by qemu-img
  // once, though a run's checks, space measure and copy each ask; an image
  // file that changed since is checked again.  A job holds one for its run.
  class ZY_PLATFORM_API CheckOncePerRun {
   public:
    CheckOncePerRun();
    ~CheckOncePerRun();
    CheckOncePerRun(const CheckOncePerRun&) = delete;
    CheckOncePerRun& operator=(const CheckOncePerRun&) = delete;
  };

  // The format written for a destination DiskType_t (the table above).
  static ImageFormat_t FormatForDiskType(DiskType_t type);
  // "raw", "VMDK", "VHD", "VHD (fixed)", "VHDX", "qcow2".
  static const char* FormatName(ImageFormat_t format);
  // The format of a short name: raw, vmdk, vhd, vhd-fixed, vhdx, qcow2
  // (any case); false for other names.
  static bool FormatByShortName(const std::string& name, ImageFormat_t& format);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
