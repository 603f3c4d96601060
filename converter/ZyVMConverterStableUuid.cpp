//===- ZyVMConverterStableUuid.cpp - The UUID of a VM that has none -------===//
//
// Destination disks are named after the source VM's identifier, and a
// description may come without one (a hand-written VMConfig.zyf, a Xen
// domain without a uuid line).  Such a VM is known by the name-based UUID
// of RFC 4122 section 4.3 (version 5, SHA-1) of its name in this
// converter's own namespace.
//
//===----------------------------------------------------------------------===//
#include "converter/ConverterFacts.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// The namespace of VM names.
constexpr uint8_t kVMNameNamespace[16] = {107, 129, 105, 55,  185, 231,
                                          66,  205, 157, 156, 126, 242,
                                          157, 101, 126, 83};

uint32_t Rotate(uint32_t value, int bits) {
  return (value << bits) | (value >> (32 - bits));
}

// SHA-1 (FIPS 180-4) of a message.
std::array<uint8_t, 20> Sha1(std::vector<uint8_t> message) {
  const uint64_t bits = uint64_t{message.size()} * 8;
  message.push_back(0x80);
  while (message.size() % 64 != 56) message.push_back(0);
  for (int shift = 56; shift >= 0; shift -= 8)
    message.push_back(static_cast<uint8_t>(bits >> shift));
  uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                   0xC3D2E1F0};
  for (size_t block = 0; block < message.size(); block += 64) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t{message[block + 4 * i]} << 24 |
             uint32_t{message[block + 4 * i + 1]} << 16 |
             uint32_t{message[block + 4 * i + 2]} << 8 |
             uint32_t{message[block + 4 * i + 3]};
    for (int i = 16; i < 80; ++i)
      w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      uint32_t f, k;
      if (i < 20) {
        f = (b & c) | (~b & d);
        k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d);
        k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
      }
      uint32_t next = Rotate(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = Rotate(b, 30);
      b = a;
      a = next;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
  }
  std::array<uint8_t, 20> digest{};
  for (int i = 0; i < 20; ++i)
    digest[i] = static_cast<uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

}  // namespace

std::string zy_converter::StableVMUuid(const std::string& vmName) {
  std::vector<uint8_t> message(kVMNameNamespace, kVMNameNamespace + 16);
  message.insert(message.end(), vmName.begin(), vmName.end());
  std::array<uint8_t, 20> hash = Sha1(std::move(message));
  hash[6] = static_cast<uint8_t>((hash[6] & 0x0F) | 0x50);  // version 5
  hash[8] = static_cast<uint8_t>((hash[8] & 0x3F) | 0x80);  // RFC 4122
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-"
                "%02x%02x%02x%02x%02x%02x",
                hash[0], hash[1], hash[2], hash[3], hash[4], hash[5], hash[6],
                hash[7], hash[8], hash[9], hash[10], hash[11], hash[12],
                hash[13], hash[14], hash[15]);
  return text;
}
