#include "zip/crc32.h"

namespace zip {
namespace {

struct Crc32Table {
  uint32_t entries[256];
  Crc32Table() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit)
        value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
      entries[i] = value;
    }
  }
};

const Crc32Table& Table() {
  static const Crc32Table table;
  return table;
}

}  // namespace

uint32_t UpdateCrc32(uint32_t crc, const uint8_t* data, size_t size) {
  const uint32_t* table = Table().entries;
  crc = ~crc;
  for (size_t i = 0; i < size; ++i)
    crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace zip
