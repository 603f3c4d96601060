//===- ImageSniffer.cpp - An image's format from its first and last bytes -===//
#include "ImageSniffer.h"

#include "ImageBackend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstring>

namespace zydisk {
namespace {

constexpr std::size_t kHeadBytes = 1024;
constexpr std::size_t kSector = 512;
// The sectors of the largest image any format here could declare.
constexpr uint64_t kMaxSectors = ~0ull / 512;

// Magic numbers at the start of a file.  A row that is not readable is a
// format this system does not read, refused by its name; qemu's driver is
// still named, for the boot check.
struct Magic {
  std::size_t offset;
  const char* bytes;
  std::size_t length;
  bool readable;
  ImageFormat_t format;
  const char* name;
  const char* driver;
};
// clang-format off
constexpr Magic kMagics[] = {
  {0,  "QFI\xfb",                 4,  true,  ImageFormat_t::kQcow2, "qcow2",          "qcow2"},
  {0,  "KDMV",                    4,  true,  ImageFormat_t::kVmdk,  "VMDK",           "vmdk"},
  {0,  "# Disk DescriptorFile",   21, true,  ImageFormat_t::kVmdk,  "VMDK",           "vmdk"},
  {0,  "vhdxfile",                8,  true,  ImageFormat_t::kVhdx,  "VHDX",           "vhdx"},
  {0,  "conectix",                8,  true,  ImageFormat_t::kVhd,   "VHD",            "vpc"},
  {0,  "COWD",                    4,  false, ImageFormat_t::kRaw,   "VMware ESX COW", "vmdk"},
  {0,  "QED\0",                   4,  false, ImageFormat_t::kRaw,   "QED",            "qed"},
  {64, "\x7f\x10\xda\xbe",        4,  false, ImageFormat_t::kRaw,   "VDI",            "vdi"},
  {0,  "WithoutFreeSpace",        16, false, ImageFormat_t::kRaw,   "Parallels",      "parallels"},
  {0,  "WithouFreSpacExt",        16, false, ImageFormat_t::kRaw,   "Parallels",      "parallels"},
  {0,  "Bochs Virtual HD Image",  22, false, ImageFormat_t::kRaw,   "Bochs",          "bochs"},
  {0,  "LUKS\xba\xbe",            6,  false, ImageFormat_t::kRaw,   "LUKS",           "luks"},
  {0,  "#!/bin/sh\n#V2.0 Format", 22, false, ImageFormat_t::kRaw,   "cloop",          "cloop"},
};
// clang-format on
constexpr const Magic& kVhdFooter = kMagics[4];

// qcow (version 1) shares qcow2's magic number.
constexpr Magic kQcow1 = {0, "", 0, false, ImageFormat_t::kRaw, "qcow (version 1)", "qcow"};
// The incompatible feature bit of a qcow2 version 3 header that says the
// guest's data is in an external file.
constexpr std::size_t kQcow2IncompatibleAt = 72;
constexpr unsigned char kQcow2ExternalDataBit = 1u << 2;

uint32_t BigEndian32(const char* p) {
  auto b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

uint64_t BigEndian64(const char* p) {
  return uint64_t(BigEndian32(p)) << 32 | BigEndian32(p + 4);
}

uint32_t LittleEndian16(const char* p) {
  auto b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[1]) << 8 | b[0];
}

uint32_t LittleEndian32(const char* p) {
  auto b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0];
}

uint64_t LittleEndian64(const char* p) {
  return uint64_t(LittleEndian32(p + 4)) << 32 | LittleEndian32(p);
}

// Up to count bytes at offset; fewer at the file's end.
std::string Bytes(const ImageBytes& read, uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  bytes.resize(count == 0 ? 0 : read(offset, &bytes[0], count));
  return bytes;
}

// A name an image carries, as a message shows it: printable, not too long.
std::string Shown(const std::string& name) {
  std::string shown = name.substr(0, std::min(name.find('\0'), std::size_t{256}));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return shown;
}

void Refuse(SniffedImage& image, int error, const std::string& why) {
  image.sized = false;
  image.refusal = why;
  image.refusalError = error;
}

void RefuseBacking(SniffedImage& image, const std::string& name,
                   const char* field) {
  Refuse(image, EPERM, "refers to the backing file \"" + Shown(name) + "\" (" +
                           field + "); images with a backing file are not read");
}

// qcow2: the header, then its extensions up to the end of the first
// cluster.  Snapshots, bitmaps, encryption and features qemu may refuse
// are left to qemu-img info.
constexpr uint32_t kQcow2End = 0;
constexpr uint32_t kQcow2BackingFormat = 0xe2792aca;
constexpr uint32_t kQcow2FeatureNames = 0x6803f857;
constexpr uint32_t kQcow2DataFileName = 0x44415441;
// Dirty, compression type, extended L2 entries: the incompatible features
// that leave the header's facts as they are.
constexpr uint64_t kQcow2PlainFeatures = 1u << 0 | 1u << 3 | 1u << 4;
constexpr std::size_t kQcow2V3Header = 104;

void ReadQcow2(const ImageBytes& read, SniffedImage& image) {
  std::string h = Bytes(read, 0, kQcow2V3Header);
  if (h.size() < 72) return;
  uint32_t version = BigEndian32(&h[4]);
  uint64_t backingOffset = BigEndian64(&h[8]);
  uint32_t clusterBits = BigEndian32(&h[20]);
  if (backingOffset != 0)
    return RefuseBacking(
        image, Bytes(read, backingOffset, std::min(BigEndian32(&h[16]), 1023u)),
        "backing_file_offset");
  bool encrypted = BigEndian32(&h[32]) != 0;
  bool snapshots = BigEndian32(&h[60]) != 0;
  if (clusterBits < 9 || clusterBits > 21 || encrypted || snapshots) return;
  uint64_t at = 72;
  if (version == 3) {
    if (h.size() < kQcow2V3Header) return;
    if (BigEndian64(&h[72]) & ~kQcow2PlainFeatures) return;
    at = BigEndian32(&h[100]);
    if (at < kQcow2V3Header || at % 8 != 0) return;
  }
  std::string cluster = Bytes(read, 0, std::size_t{1} << clusterBits);
  for (;;) {
    if (at + 8 > cluster.size()) return;
    uint32_t type = BigEndian32(&cluster[at]);
    uint64_t length = BigEndian32(&cluster[at + 4]);
    at += 8;
    if (type == kQcow2End) break;
    if (length > cluster.size() - at) return;
    if (type == kQcow2DataFileName)
      return Refuse(image, EPERM,
                    "refers to the external data file \"" +
                        Shown(cluster.substr(at, length)) +
                        "\" (data-file); images with an external data file "
                        "are not read");
    if (type != kQcow2BackingFormat && type != kQcow2FeatureNames) return;
    at += (length + 7) / 8 * 8;
  }
  image.sized = true;
  image.virtualSize = BigEndian64(&h[24]) / kSector * kSector;
}

// VMDK: a sparse file's header and its embedded descriptor.  qemu takes
// a parent's name from the descriptor at the second sector whatever the
// header says, so both are searched.  A descriptor file, a header with no
// capacity (qemu then opens the extents its descriptor names), or a
// grain directory at the end are left to qemu-img info.
constexpr std::size_t kVmdkParentDescriptorAt = 512;
constexpr std::size_t kVmdkParentDescriptorBytes = 20 * 512;
constexpr std::size_t kMaxVmdkDescriptor = 64 * 1024;
constexpr uint64_t kVmdkDirectoryAtEnd = ~0ull;

// The quoted value after key = in a descriptor, or empty.
std::string DescriptorValue(const std::string& text, const char* key) {
  std::size_t at = text.find(key);
  if (at == std::string::npos) return std::string();
  at = text.find_first_not_of(" \t", at + std::strlen(key));
  if (at == std::string::npos || text[at] != '=') return std::string();
  at = text.find_first_not_of(" \t", at + 1);
  if (at == std::string::npos || text[at] != '"') return std::string();
  std::size_t close = text.find('"', at + 1);
  return close == std::string::npos ? std::string()
                                    : text.substr(at + 1, close - at - 1);
}

// The kinds of VMDK descriptor whose extents are all flat: no tables.
constexpr const char* kFlatVmdkKinds[] = {"monolithicFlat", "vmfs",
                                          "twoGbMaxExtentFlat"};

void ReadVmdk(const ImageBytes& read, SniffedImage& image) {
  std::string h = Bytes(read, 0, 80);
  if (h.compare(0, 21, "# Disk DescriptorFile") == 0) {
    std::string text = Bytes(read, 0, kMaxVmdkDescriptor);
    std::string kind = DescriptorValue(text, "createType");
    for (const char* flat : kFlatVmdkKinds) image.tables &= kind != flat;
    return;
  }
  if (h.size() < 80 || std::memcmp(h.data(), "KDMV", 4) != 0) return;
  uint64_t capacity = LittleEndian64(&h[12]);
  uint64_t descriptorAt = LittleEndian64(&h[28]);
  uint64_t descriptorSectors = LittleEndian64(&h[36]);
  std::string parentSide =
      Bytes(read, kVmdkParentDescriptorAt, kVmdkParentDescriptorBytes);
  std::string descriptor;
  if (descriptorSectors <= kMaxVmdkDescriptor / kSector &&
      descriptorAt <= ~0ull / kSector)
    descriptor = Bytes(read, descriptorAt * kSector,
                       static_cast<std::size_t>(descriptorSectors * kSector));
  for (const std::string* text : {&parentSide, &descriptor}) {
    std::size_t hint = text->find("parentFileNameHint");
    if (hint != std::string::npos)
      return RefuseBacking(image,
                           DescriptorValue(text->substr(hint),
                                           "parentFileNameHint"),
                           "parentFileNameHint");
  }
  std::string kind = DescriptorValue(descriptor.substr(0, descriptor.find('\0')),
                                     "createType");
  if (LittleEndian32(&h[4]) > 3 || capacity == 0 || descriptorAt == 0 ||
      capacity > kMaxSectors || LittleEndian64(&h[56]) == kVmdkDirectoryAtEnd ||
      (kind != "monolithicSparse" && kind != "streamOptimized"))
    return;
  image.sized = true;
  image.virtualSize = capacity * kSector;
}

// VHD: the footer (its copy at the start of a dynamic image, else the last
// sector, which makes the image fixed for qemu), and for a dynamic image
// the block table, each block of which must lie within the file.  The
// size follows qemu's rule: the geometry's, unless a known maker wrote the
// exact size or the geometry is the largest there is.
constexpr uint32_t kVhdFixed = 2, kVhdDynamic = 3, kVhdDifferencing = 4;
constexpr uint64_t kVhdLargestGeometry = 65535ull * 16 * 255;
constexpr uint64_t kVhdMaxSectors = 0xff000000ull;
constexpr uint64_t kMaxVhdTable = 16 << 20;
constexpr const char* kVhdExactSizeMakers[] = {"win ", "qem2", "d2v ", "CTXS",
                                               "tap"};

bool VhdChecksumHolds(std::string footer) {
  uint32_t stated = BigEndian32(&footer[64]);
  std::memset(&footer[64], 0, 4);
  uint32_t sum = 0;
  for (unsigned char c : footer) sum += c;
  return ~sum == stated;
}

uint64_t VhdSectors(const std::string& footer) {
  uint64_t sectors = uint64_t(BigEndian32(&footer[56]) >> 16) *
                     static_cast<unsigned char>(footer[58]) *
                     static_cast<unsigned char>(footer[59]);
  bool exact = false;
  for (const char* maker : kVhdExactSizeMakers)
    exact = exact || std::memcmp(&footer[28], maker, std::strlen(maker)) == 0;
  if (exact || sectors == kVhdLargestGeometry)
    sectors = BigEndian64(&footer[48]) / kSector;
  return sectors;
}

// The end of a dynamic image's last block, or 0 where qemu would refuse
// the header (left to qemu-img info).
uint64_t VhdDataEnd(const ImageBytes& read, uint64_t fileSize,
                    const std::string& footer, uint64_t sectors) {
  std::string dynamic = Bytes(read, BigEndian64(&footer[16]), 1024);
  if (dynamic.size() != 1024 || dynamic.compare(0, 8, "cxsparse") != 0)
    return 0;
  uint64_t tableAt = BigEndian64(&dynamic[16]);
  uint64_t entries = BigEndian32(&dynamic[28]);
  uint64_t blockSize = BigEndian32(&dynamic[32]);
  if (blockSize < kSector || (blockSize & (blockSize - 1)) != 0 ||
      entries * blockSize < sectors * kSector || entries * 4 > kMaxVhdTable ||
      tableAt > fileSize || entries * 4 > fileSize - tableAt)
    return 0;
  std::string table = Bytes(read, tableAt, entries * 4);
  if (table.size() != entries * 4) return 0;
  uint64_t bitmap = (blockSize / (8 * kSector) + kSector - 1) / kSector * kSector;
  uint64_t end = (tableAt + entries * 4 + kSector - 1) / kSector * kSector;
  for (std::size_t i = 0; i < table.size(); i += 4) {
    uint32_t block = BigEndian32(&table[i]);
    if (block != 0xffffffffu)
      end = std::max(end, uint64_t(block) * kSector + bitmap + blockSize);
  }
  return end;
}

void ReadVhd(const ImageBytes& read, uint64_t fileSize, SniffedImage& image) {
  std::string footer = Bytes(read, 0, kSector);
  uint32_t type = kVhdFixed;
  if (footer.size() == kSector && footer.compare(0, 8, "conectix") == 0)
    type = BigEndian32(&footer[60]);
  else if (fileSize >= kSector)
    footer = Bytes(read, fileSize - kSector, kSector);
  if (footer.size() != kSector || footer.compare(0, 8, "conectix") != 0 ||
      !VhdChecksumHolds(footer))
    return;
  if (type == kVhdDifferencing)
    return RefuseBacking(image, "its parent", "a differencing VHD");
  uint64_t sectors = VhdSectors(footer);
  if ((type != kVhdFixed && type != kVhdDynamic) || sectors > kVhdMaxSectors)
    return;
  if (type == kVhdDynamic) {
    uint64_t end = VhdDataEnd(read, fileSize, footer, sectors);
    if (end == 0) return;
    if (end > fileSize)
      return Refuse(image, EINVAL,
                    "is truncated: its block table points past the end of "
                    "the file");
  }
  image.sized = true;
  image.virtualSize = sectors * kSector;
}

// VHDX: the current header (the valid one of the two with the higher
// sequence number), the region table and the metadata it locates: the
// file parameters (a parent's flag), the virtual disk size and any parent
// locator.  A log to replay, a required region or item not known here, or
// a header qemu would question are left to qemu-img info.
constexpr uint64_t kVhdxHeaders[] = {64 << 10, 128 << 10};
constexpr std::size_t kVhdxHeaderBytes = 4096;
constexpr uint64_t kVhdxRegionsAt = 192 << 10;
constexpr std::size_t kVhdxTableBytes = 64 << 10;
constexpr std::size_t kVhdxMaxEntries = 2047;
constexpr uint32_t kVhdxHasParent = 1u << 1;
constexpr uint32_t kVhdxRequired = 1u << 2;  // of a metadata item
// GUIDs as the file holds them (the first three fields little-endian).
constexpr char kVhdxBatRegion[] = "\x66\x77\xc2\x2d\x23\xf6\x00\x42\x9d\x64\x11\x5e\x9b\xfd\x4a\x08";
constexpr char kVhdxMetadataRegion[] = "\x06\xa2\x7c\x8b\x90\x47\x9a\x4b\xb8\xfe\x57\x5f\x05\x0f\x88\x6e";
constexpr char kVhdxFileParameters[] = "\x37\x67\xa1\xca\x36\xfa\x43\x4d\xb3\xb6\x33\xf0\xaa\x44\xe7\x6b";
constexpr char kVhdxDiskSize[] = "\x24\x42\xa5\x2f\x1b\xcd\x76\x48\xb2\x11\x5d\xbe\xd8\x3b\xf4\xb8";
constexpr char kVhdxParentLocator[] = "\x2d\x5f\xd3\xa8\x0b\xb3\x4d\x45\xab\xf7\xd3\xd8\x48\x34\xab\x0c";
// Items qemu reads that say nothing of the size or of other files: the
// SCSI page 83 identity, the logical and the physical sector size.
constexpr const char* kVhdxOtherItems[] = {
    "\xab\x12\xca\xbe\xe6\xb2\x23\x45\x93\xef\xc3\x09\xe0\x00\xc7\x46",
    "\x1d\xbf\x41\x81\x6f\xa9\x09\x47\xba\x47\xf2\x33\xa8\xfa\xab\x5f",
    "\xc7\x48\xa3\xcd\x5d\x44\x71\x44\x9c\xc9\xe9\x88\x52\x51\xc5\x56",
};

bool IsGuid(const char* at, const char* guid) {
  return std::memcmp(at, guid, 16) == 0;
}

// CRC-32C (Castagnoli) of bytes, with the 4 bytes at checksumAt as zeros.
uint32_t Crc32c(const std::string& bytes, std::size_t checksumAt) {
  uint32_t crc = ~0u;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bool zeroed = i >= checksumAt && i < checksumAt + 4;
    crc ^= zeroed ? 0u : static_cast<unsigned char>(bytes[i]);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0x82f63b78u & (0u - (crc & 1)));
  }
  return ~crc;
}

// A VHDX structure: signature at its start, its CRC-32C at offset 4.
bool VhdxValid(const std::string& bytes, std::size_t length,
               const char* signature) {
  return bytes.size() == length &&
         bytes.compare(0, std::strlen(signature), signature) == 0 &&
         Crc32c(bytes, 4) == LittleEndian32(&bytes[4]);
}

// The offset of the metadata region, or 0 where qemu-img info answers.
uint64_t VhdxMetadataAt(const ImageBytes& read) {
  std::string current;
  uint64_t sequence = 0;
  for (uint64_t at : kVhdxHeaders) {
    std::string header = Bytes(read, at, kVhdxHeaderBytes);
    if (!VhdxValid(header, kVhdxHeaderBytes, "head")) continue;
    uint64_t number = LittleEndian64(&header[8]);
    if (!current.empty() && number == sequence) return 0;
    if (current.empty() || number > sequence) {
      current = header;
      sequence = number;
    }
  }
  if (current.empty() || current.find_first_not_of('\0', 48) < 64 ||
      LittleEndian16(&current[66]) != 1)
    return 0;
  std::string regions = Bytes(read, kVhdxRegionsAt, kVhdxTableBytes);
  if (!VhdxValid(regions, kVhdxTableBytes, "regi")) return 0;
  uint64_t count = LittleEndian32(&regions[8]), metadataAt = 0;
  if (count > kVhdxMaxEntries) return 0;
  for (std::size_t at = 16; at < 16 + count * 32; at += 32) {
    if (IsGuid(&regions[at], kVhdxMetadataRegion))
      metadataAt = LittleEndian64(&regions[at + 16]);
    else if (!IsGuid(&regions[at], kVhdxBatRegion) &&
             (LittleEndian32(&regions[at + 28]) & 1) != 0)
      return 0;
  }
  return metadataAt;
}

void ReadVhdx(const ImageBytes& read, SniffedImage& image) {
  uint64_t metadataAt = VhdxMetadataAt(read);
  if (metadataAt == 0) return;
  std::string table = Bytes(read, metadataAt, kVhdxTableBytes);
  if (table.size() != kVhdxTableBytes ||
      table.compare(0, 8, "metadata") != 0)
    return;
  std::size_t count = LittleEndian16(&table[10]);
  if (count > kVhdxMaxEntries) return;
  std::string parameters, size;
  for (std::size_t at = 32; at < 32 + count * 32; at += 32) {
    const char* id = &table[at];
    std::string item = Bytes(read, metadataAt + LittleEndian32(&table[at + 16]), 8);
    if (IsGuid(id, kVhdxParentLocator))
      return RefuseBacking(image, "its parent", "a differencing VHDX");
    if (IsGuid(id, kVhdxFileParameters))
      parameters = item;
    else if (IsGuid(id, kVhdxDiskSize))
      size = item;
    else if ((LittleEndian32(&table[at + 24]) & kVhdxRequired) &&
             std::none_of(std::begin(kVhdxOtherItems), std::end(kVhdxOtherItems),
                          [&](const char* other) { return IsGuid(id, other); }))
      return;
  }
  if (parameters.size() != 8 || size.size() != 8) return;
  if (LittleEndian32(&parameters[4]) & kVhdxHasParent)
    return RefuseBacking(image, "its parent", "a differencing VHDX");
  image.sized = true;
  image.virtualSize = LittleEndian64(&size[0]) / kSector * kSector;
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "another kind of file";
}

}  // namespace

SniffedImage SniffImage(const char* head, std::size_t headLength,
                        const char* tail, std::size_t tailLength) {
  const Magic* found = nullptr;
  for (const Magic& magic : kMagics)
    if (magic.offset + magic.length <= headLength &&
        std::memcmp(head + magic.offset, magic.bytes, magic.length) == 0) {
      found = &magic;
      break;
    }
  if (!found && tailLength == kSector &&
      std::memcmp(tail, kVhdFooter.bytes, kVhdFooter.length) == 0)
    found = &kVhdFooter;
  SniffedImage image;
  if (found && found->format == ImageFormat_t::kQcow2) {
    uint32_t version = headLength >= 8 ? BigEndian32(head + 4) : 0;
    if (version != 2 && version != 3) found = &kQcow1;
    image.externalDataFile =
        version == 3 && headLength > kQcow2IncompatibleAt + 7 &&
        (static_cast<unsigned char>(head[kQcow2IncompatibleAt + 7]) &
         kQcow2ExternalDataBit) != 0;
  }
  if (!found) return image;
  image.format = found->format;
  image.readable = found->readable;
  image.name = found->name;
  image.driver = found->driver;
  return image;
}

void ReadImageHeaders(const ImageBytes& read, uint64_t fileSize,
                      SniffedImage& image) {
  if (!image.readable) return;
  switch (image.format) {
    case ImageFormat_t::kQcow2: return ReadQcow2(read, image);
    case ImageFormat_t::kVmdk: return ReadVmdk(read, image);
    case ImageFormat_t::kVhd:
    case ImageFormat_t::kVhdFixed: return ReadVhd(read, fileSize, image);
    case ImageFormat_t::kVhdx: return ReadVhdx(read, image);
    default: return;  // raw has no header
  }
}

CQiError CheckRegularFile(const std::string& path, const std::string& role,
                          bool devices) {
  struct stat facts;
  if (stat(path.c_str(), &facts) != 0)
    return ZY_DISK_ERROR(errno, "open of " + path);
  if (S_ISREG(facts.st_mode) || (devices && S_ISBLK(facts.st_mode)))
    return CQiError::Success();
  if (S_ISDIR(facts.st_mode))
    return ZY_DISK_ERROR(EISDIR, "open of " + path);
  return ZY_DISK_FAULT(EINVAL, path + " is not a regular file but " +
                                   KindOf(facts.st_mode) + " (" + role + ")");
}

CQiError SniffImageFile(const std::string& path, SniffedImage& image) {
  CQiError error = CheckRegularFile(path, "an image", true);
  if (error.IsError()) return error;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ZY_DISK_ERROR(errno, "open of " + path);
  char head[kHeadBytes] = {};
  char tail[kSector] = {};
  std::size_t headLength = 0, tailLength = 0;
  struct stat facts {};
  error = ReadAt(fd, path, head, sizeof head, 0, headLength);
  if (!error.IsError() && fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) &&
      static_cast<uint64_t>(facts.st_size) >= kSector)
    error = ReadAt(fd, path, tail, sizeof tail, facts.st_size - kSector,
                   tailLength);
  if (!error.IsError()) image = SniffImage(head, headLength, tail, tailLength);
  // A block device's headers are left to qemu-img info.
  if (!error.IsError() && S_ISREG(facts.st_mode) && !image.externalDataFile)
    ReadImageHeaders(
        [&](uint64_t offset, char* into, std::size_t count) {
          std::size_t got = 0;
          if (ReadAt(fd, path, into, count, offset, got).IsError()) return std::size_t{0};
          return got;
        },
        static_cast<uint64_t>(facts.st_size), image);
  close(fd);
  if (error.IsError()) return error;
  if (!image.readable)
    return ZY_DISK_FAULT(EINVAL, path + " is a " + image.name +
                                     " image, a format not read here");
  if (image.externalDataFile)
    return ZY_DISK_FAULT(EPERM, path + " refers to an external data file "
                                       "(data-file); images with an external "
                                       "data file are not read");
  if (!image.refusal.empty())
    return ZY_DISK_FAULT(image.refusalError, path + " " + image.refusal);
  return CQiError::Success();
}

}  // namespace zydisk
