#include "zip/deflate.h"

#include <stdint.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/test_support/deflate_inputs.h"

namespace zip {
namespace {

constexpr uint32_t kOutSize = 16384;
constexpr uint8_t kCanary = 0xA5;
constexpr uint32_t kCanarySize = 256;

// Feeds the compressor from memory in reads of at most `chunk` bytes, and
// fails a chosen read.
struct Source {
  const Bytes* data = nullptr;
  size_t pos = 0;
  uint32_t chunk = 0xFFFFFFFFu;
  size_t fail_after = SIZE_MAX;  // a read starting at or past this fails
  int reads_after_failure = 0;
  bool failed = false;
};

// Collects output and fails the write numbered `fail_at` (0-based).
struct Sink {
  Bytes out;
  int writes = 0;
  int fail_at = -1;
  int writes_after_failure = 0;
  bool failed = false;
  const uint8_t* buffer = nullptr;
  bool buffered_write_too_big = false;
};

struct Io {
  Source source;
  Sink sink;
};

uint32_t ReadSource(void* context, uint8_t* buffer, uint32_t size) {
  Source& s = static_cast<Io*>(context)->source;
  if (s.failed) s.reads_after_failure++;
  if (s.pos >= s.fail_after) {
    s.failed = true;
    return kDeflateReadError;
  }
  const size_t left = s.data->size() - s.pos;
  const uint32_t n = static_cast<uint32_t>(
      std::min<size_t>({left, size, s.chunk, s.fail_after - s.pos}));
  if (n) memcpy(buffer, s.data->data() + s.pos, n);
  s.pos += n;
  return n;
}

bool WriteSink(void* context, const uint8_t* data, uint32_t size) {
  Sink& s = static_cast<Io*>(context)->sink;
  if (s.failed) s.writes_after_failure++;
  if (data == s.buffer && size > kOutSize) s.buffered_write_too_big = true;
  if (s.writes++ == s.fail_at) {
    s.failed = true;
    return false;
  }
  s.out.insert(s.out.end(), data, data + size);
  return true;
}

struct Compressed {
  DeflateOutcome outcome;
  Io io;
  uint16_t internal_attr = 0;
  uint16_t flags = 0;
  bool canary_intact = true;
};

Compressed Compress(const Bytes& input, uint32_t chunk = 0xFFFFFFFFu,
             std::function<void(Io&)> setup = nullptr, int level = 8,
             uint16_t internal_attr = 0) {
  Compressed run;
  run.io.source.data = &input;
  run.io.source.chunk = chunk;
  if (setup) setup(run.io);
  Bytes buffer(kOutSize + kCanarySize, kCanary);
  run.io.sink.buffer = buffer.data();
  run.internal_attr = internal_attr;
  DeflateIo io;
  io.context = &run.io;
  io.read = ReadSource;
  io.write = WriteSink;
  run.outcome = DeflateEntry(io, buffer.data(), kOutSize, &run.internal_attr,
                             &run.flags, level);
  run.canary_intact = std::all_of(buffer.begin() + kOutSize, buffer.end(),
                                  [](uint8_t b) { return b == kCanary; });
  return run;
}

// zlib's raw inflate is the oracle.
bool Inflate(const Bytes& compressed, Bytes* out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out->clear();
  z.next_in = const_cast<uint8_t*>(compressed.data());
  z.avail_in = static_cast<uInt>(compressed.size());
  uint8_t chunk[65536];
  int rc;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof(chunk);
    rc = inflate(&z, Z_NO_FLUSH);
    out->insert(out->end(), chunk, chunk + (sizeof(chunk) - z.avail_out));
  } while (rc == Z_OK);
  const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return whole;
}

void ExpectRoundTrip(const Bytes& input, const Compressed& run) {
  ASSERT_EQ(run.outcome.status, DeflateStatus::kOk)
      << (run.outcome.error_text ? run.outcome.error_text : "");
  EXPECT_EQ(run.outcome.error_text, nullptr);
  EXPECT_EQ(run.outcome.compressed_size, run.io.sink.out.size());
  EXPECT_EQ(run.outcome.input_size, input.size());
  EXPECT_TRUE(run.canary_intact);
  EXPECT_FALSE(run.io.sink.buffered_write_too_big);
  EXPECT_EQ(run.flags, 2) << "level 8 marks the entry's flags";
  Bytes back;
  ASSERT_TRUE(Inflate(run.io.sink.out, &back));
  EXPECT_TRUE(back == input) << "inflated " << back.size() << " of "
                             << input.size();
}

struct RoundTripCase {
  const char* name;
  std::function<Bytes()> make;
  uint32_t chunk;
};

TEST(DeflateTest, EveryStreamInflatesToItsInput) {
  const Bytes mixed = MixedBytes(3 << 20, 7);
  auto slice = [&mixed](size_t n) {
    return [&mixed, n] { return Bytes(mixed.begin(), mixed.begin() + n); };
  };
  const std::vector<RoundTripCase> cases = {
      {"empty", [] { return Bytes(); }, 0xFFFFFFFFu},
      {"one byte", [] { return Bytes{'q'}; }, 0xFFFFFFFFu},
      {"100 random", [] { return RandomBytes(100, 1); }, 0xFFFFFFFFu},
      {"run of 258", [] { return Bytes(258, 'a'); }, 0xFFFFFFFFu},
      {"run of 259", [] { return Bytes(259, 'a'); }, 0xFFFFFFFFu},
      {"32767", slice(32767), 0xFFFFFFFFu},
      {"32768", slice(32768), 0xFFFFFFFFu},
      {"32769", slice(32769), 0xFFFFFFFFu},
      {"65273", slice(65273), 0xFFFFFFFFu},
      {"65274", slice(65274), 0xFFFFFFFFu},
      {"65275", slice(65275), 0xFFFFFFFFu},
      // Input ending here is all read before the window slides, so the
      // last searches run past the usual lookahead bound.
      {"65400", slice(65400), 0xFFFFFFFFu},
      {"65500", slice(65500), 0xFFFFFFFFu},
      {"65535", slice(65535), 0xFFFFFFFFu},
      {"65536", slice(65536), 0xFFFFFFFFu},
      {"65537", slice(65537), 0xFFFFFFFFu},
      {"65275 in reads of 1000", slice(65275), 1000},
      {"random 200 KiB", [] { return RandomBytes(200 << 10, 3); }, 0xFFFFFFFFu},
      {"run of 1 MiB", [] { return Bytes(1 << 20, 0); }, 0xFFFFFFFFu},
      {"mixed 3 MiB", slice(mixed.size()), 0xFFFFFFFFu},
      {"mixed 3 MiB in reads of 777", slice(mixed.size()), 777},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes input = c.make();
    const Compressed run = Compress(input, c.chunk);
    ExpectRoundTrip(input, run);
  }
}

TEST(DeflateTest, ExactStreamsForTinyInputs) {
  // Empty input: one final fixed block holding only the end-of-block code.
  EXPECT_EQ(Compress(Bytes()).io.sink.out, (Bytes{0x03, 0x00}));

  // 100 random bytes cost more coded than stored: one final stored block.
  const Bytes random = RandomBytes(100, 1);
  Bytes stored = {0x01, 0x64, 0x00, 0x9B, 0xFF};
  stored.insert(stored.end(), random.begin(), random.end());
  EXPECT_EQ(Compress(random).io.sink.out, stored);
}

TEST(DeflateTest, TextGuessOnlyWhenAskedFor) {
  const std::string text = "a plain text log line\n";
  Bytes lines;
  for (int i = 0; i < 50; ++i) lines.insert(lines.end(), text.begin(), text.end());
  EXPECT_EQ(Compress(lines, 0xFFFFFFFFu, nullptr, 8, 0xFFFF).internal_attr, 1);
  EXPECT_EQ(Compress(RandomBytes(3000, 5), 0xFFFFFFFFu, nullptr, 8, 0xFFFF)
                .internal_attr, 0);
  EXPECT_EQ(Compress(lines).internal_attr, 0) << "a preset 0 stays binary";
}

// A minimal raw inflater that records the matches of a stream, written from
// the stream format, to see which matches the compressor chose.
class SymbolReader {
 public:
  struct Match {
    uint32_t length;
    uint32_t distance;
  };

  explicit SymbolReader(const Bytes& in) : in_(in) {}

  bool Read(Bytes* out, std::vector<Match>* matches) {
    bool last = false;
    while (!last) {
      last = Bits(1);
      const uint32_t type = Bits(2);
      if (type == 0) {
        bit_ = (bit_ + 7) & ~size_t{7};
        const uint32_t len = Bits(16);
        Bits(16);
        for (uint32_t i = 0; i < len; ++i) out->push_back(static_cast<uint8_t>(Bits(8)));
      } else if (type == 1) {
        std::vector<int> lengths(288 + 30);
        for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        for (int i = 288; i < 318; ++i) lengths[i] = 5;
        if (!Codes(Table(lengths, 0, 288), Table(lengths, 288, 30), out, matches)) return false;
      } else if (type == 2) {
        const uint32_t nlen = Bits(5) + 257, ndist = Bits(5) + 1, ncode = Bits(4) + 4;
        static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::vector<int> cl(19);
        for (uint32_t i = 0; i < ncode; ++i) cl[kOrder[i]] = Bits(3);
        const Huff clh = Table(cl, 0, 19);
        std::vector<int> lengths;
        while (lengths.size() < nlen + ndist) {
          const int sym = Decode(clh);
          if (sym < 16) {
            lengths.push_back(sym);
          } else if (sym == 16) {
            if (lengths.empty()) return false;
            lengths.insert(lengths.end(), 3 + Bits(2), lengths.back());
          } else {
            lengths.insert(lengths.end(), sym == 17 ? 3 + Bits(3) : 11 + Bits(7), 0);
          }
        }
        if (!Codes(Table(lengths, 0, nlen), Table(lengths, nlen, ndist), out, matches)) return false;
      } else {
        return false;
      }
      if (bit_ > in_.size() * 8) return false;
    }
    return true;
  }

 private:
  struct Huff {
    std::vector<int> count, symbol;
  };

  uint32_t Bits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit_) {
      if (bit_ / 8 < in_.size()) v |= ((in_[bit_ / 8] >> (bit_ % 8)) & 1u) << i;
    }
    return v;
  }

  static Huff Table(const std::vector<int>& lengths, size_t from, size_t n) {
    Huff h{std::vector<int>(16), {}};
    for (size_t i = 0; i < n; ++i) h.count[lengths[from + i]]++;
    h.count[0] = 0;
    for (int len = 1; len < 16; ++len) {
      for (size_t i = 0; i < n; ++i) {
        if (lengths[from + i] == len) h.symbol.push_back(static_cast<int>(i));
      }
    }
    return h;
  }

  int Decode(const Huff& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      code |= static_cast<int>(Bits(1));
      const int count = h.count[len];
      if (code - count < first) return h.symbol[index + (code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

  bool Codes(const Huff& lit, const Huff& dist, Bytes* out, std::vector<Match>* matches) {
    static const uint16_t kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                          35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const uint16_t kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                           193, 257, 385, 513, 769, 1025, 1537, 2049, 3073,
                                           4097, 6145, 8193, 12289, 16385, 24577};
    for (;;) {
      const int sym = Decode(lit);
      if (sym < 0 || sym > 285) return false;
      if (sym < 256) {
        out->push_back(static_cast<uint8_t>(sym));
        continue;
      }
      if (sym == 256) return true;
      const uint32_t len = kLenBase[sym - 257] + Bits(kLenExtra[sym - 257]);
      const int dsym = Decode(dist);
      if (dsym < 0 || dsym > 29) return false;
      const uint32_t d = kDistBase[dsym] + Bits(dsym < 4 ? 0 : (dsym - 2) / 2);
      if (d > out->size()) return false;
      for (uint32_t i = 0; i < len; ++i) out->push_back((*out)[out->size() - d]);
      matches->push_back({len, d});
    }
  }

  const Bytes& in_;
  size_t bit_ = 0;
};

TEST(DeflateTest, ThreeByteMatchesFartherThan4096AreDropped) {
  const struct {
    uint32_t distance;
    bool used;
  } cases[] = {{4095, true}, {4096, true}, {4097, false}, {8000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.distance);
    const Bytes input = OneThreeByteRepeat(c.distance);
    const Compressed run = Compress(input);
    ExpectRoundTrip(input, run);
    Bytes decoded;
    std::vector<SymbolReader::Match> matches;
    ASSERT_TRUE(SymbolReader(run.io.sink.out).Read(&decoded, &matches));
    ASSERT_EQ(decoded, input) << "the test's reader agrees with zlib";
    if (c.used) {
      ASSERT_EQ(matches.size(), 1u);
      EXPECT_EQ(matches[0].length, 3u);
      EXPECT_EQ(matches[0].distance, c.distance);
    } else {
      EXPECT_TRUE(matches.empty());
    }
  }
}

TEST(DeflateTest, MatchesReachBackAcrossTheSlide) {
  // Past the first slides, a 20000-byte random block repeated is found at
  // its distance.
  Bytes input = RandomBytes(20000, 9);
  input.insert(input.end(), input.begin(), input.end());
  Bytes big = RandomBytes(70000, 10);
  big.insert(big.end(), input.begin(), input.end());
  const Compressed run = Compress(big);
  ExpectRoundTrip(big, run);
  Bytes decoded;
  std::vector<SymbolReader::Match> matches;
  ASSERT_TRUE(SymbolReader(run.io.sink.out).Read(&decoded, &matches));
  uint32_t longest_distance = 0;
  for (const auto& m : matches) longest_distance = std::max(longest_distance, m.distance);
  EXPECT_EQ(longest_distance, 20000u);
  EXPECT_LT(run.io.sink.out.size(), big.size() - 19000);
}

TEST(DeflateTest, FailedWriteStopsTheEntry) {
  const Bytes input = RandomBytes(4 << 20, 4);  // stored blocks: direct writes
  const Bytes text = MixedBytes(4 << 20, 5);    // coded blocks: buffered writes
  const struct {
    const char* name;
    const Bytes* input;
    int fail_at;
  } cases[] = {
      {"first write of stored data", &input, 0},
      {"a later write of stored data", &input, 7},
      {"first write of coded data", &text, 0},
      {"a later write of coded data", &text, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Compressed run = Compress(*c.input, 0xFFFFFFFFu,
                             [&c](Io& io) { io.sink.fail_at = c.fail_at; });
    EXPECT_EQ(run.outcome.status, DeflateStatus::kWriteError);
    EXPECT_EQ(run.io.sink.writes, c.fail_at + 1) << "nothing written after";
    EXPECT_EQ(run.outcome.compressed_size, run.io.sink.out.size());
    EXPECT_TRUE(run.canary_intact) << "wrote past the output buffer";
    EXPECT_LT(run.outcome.input_size, c.input->size()) << "kept compressing";
  }
}

TEST(DeflateTest, FailedReadFailsTheEntry) {
  const Bytes input = MixedBytes(1 << 20, 6);
  for (size_t fail_after : {size_t{0}, size_t{1000}, size_t{300000}}) {
    SCOPED_TRACE(fail_after);
    const Compressed run = Compress(input, 4096, [fail_after](Io& io) {
      io.source.fail_after = fail_after;
    });
    EXPECT_EQ(run.outcome.status, DeflateStatus::kReadError);
    EXPECT_EQ(run.outcome.input_size, fail_after);
    EXPECT_EQ(run.io.source.reads_after_failure, 0);
    EXPECT_TRUE(run.canary_intact);
  }
}

TEST(DeflateTest, FailedInternalCheckEndsTheEntryAtOnce) {
  // Only levels 1 to 8 exist for this compressor.
  for (int level : {0, 9}) {
    SCOPED_TRACE(level);
    const Compressed run = Compress(MixedBytes(100000, 8), 0xFFFFFFFFu, nullptr, level);
    EXPECT_EQ(run.outcome.status, DeflateStatus::kInternalError);
    ASSERT_NE(run.outcome.error_text, nullptr);
    EXPECT_STREQ(run.outcome.error_text, "bad pack level");
    EXPECT_EQ(run.io.sink.writes, 0);
    EXPECT_EQ(run.outcome.compressed_size, 0u);
  }
}

TEST(DeflateTest, FastLevelsInflateToo) {
  const Bytes input = MixedBytes(300000, 12);
  for (int level = 1; level <= 7; ++level) {
    SCOPED_TRACE(level);
    const Compressed run = Compress(input, 0xFFFFFFFFu, nullptr, level);
    ASSERT_EQ(run.outcome.status, DeflateStatus::kOk);
    Bytes back;
    ASSERT_TRUE(Inflate(run.io.sink.out, &back));
    EXPECT_TRUE(back == input);
    EXPECT_EQ(run.flags, level < 3 ? 4 : 0);
  }
}

}  // namespace
}  // namespace zip
