#include "testing/test_support/deflate_inputs.h"

#include <string.h>

#include <random>
#include <set>

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(rng());
  return b;
}

Bytes MixedBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  static const char* kWords[] = {
      "INFO",  "WARNING",         "renderer", "pipe",
      "dump",  "0x7ffe2a10",      "client",   "registered",
      "crash", "quillavera.elog", "{\"pid\":"};
  Bytes b;
  b.reserve(n);
  while (b.size() < n) {
    switch (rng() % 4) {
      case 0:
        for (int w = 0; w < 12; ++w) {
          const char* word = kWords[rng() % 11];
          b.insert(b.end(), word, word + strlen(word));
          b.push_back(' ');
        }
        b.push_back('\n');
        break;
      case 1: {
        const uint32_t v = rng() % 4096;
        for (int i = 0; i < 64; ++i)
          b.push_back(static_cast<uint8_t>(v + i * 3));
        break;
      }
      case 2:
        b.insert(b.end(), 50 + rng() % 600, static_cast<uint8_t>(rng()));
        break;
      default:
        for (int i = 0; i < 200; ++i) b.push_back(static_cast<uint8_t>(rng()));
    }
  }
  b.resize(n);
  return b;
}

Bytes OneThreeByteRepeat(uint32_t distance) {
  std::mt19937 rng(11);
  std::set<uint32_t> seen;
  Bytes b = {'x', 'y'};
  const auto fits = [&](uint8_t c) {
    const size_t n = b.size();
    return !seen.count((b[n - 2] << 16) | (b[n - 1] << 8) | c);
  };
  const auto add = [&](uint8_t c) {
    const size_t n = b.size();
    seen.insert((b[n - 2] << 16) | (b[n - 1] << 8) | c);
    b.push_back(c);
  };
  const Bytes probe = {0, 1, 2};
  while (b.size() < 100) {
    const uint8_t c = static_cast<uint8_t>('a' + rng() % 24);
    if (fits(c)) add(c);
  }
  for (uint8_t c : probe) b.push_back(c);
  while (b.size() < 100 + distance) {
    const uint8_t c = static_cast<uint8_t>('a' + rng() % 24);
    if (fits(c)) add(c);
  }
  for (uint8_t c : probe) b.push_back(c);
  for (int i = 0; i < 300;) {
    const uint8_t c = static_cast<uint8_t>('a' + rng() % 24);
    if (fits(c)) add(c), ++i;
  }
  return b;
}
