// Compares our deflate compressor with zlib and libdeflate at level 8 over
// a folder of corpus files (one row per file), each compressing from and to
// memory. Each figure is the median of RUNS rounds that run the three in
// turn. Prints a table with each row's speed and size over zlib-8's and a
// total over the whole corpus, then one "bench row=..." line per row for
// scripts.
//
//   deflate_benchmark.exe CORPUS_FOLDER [RUNS]

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "libdeflate.h"
#include "zip/deflate.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct MemoryIo {
  const Bytes* input;
  size_t pos;
  Bytes* output;
  size_t used;
};

uint32_t ReadMemory(void* context, uint8_t* buffer, uint32_t size) {
  auto* io = static_cast<MemoryIo*>(context);
  const size_t n = std::min<size_t>(size, io->input->size() - io->pos);
  memcpy(buffer, io->input->data() + io->pos, n);
  io->pos += n;
  return static_cast<uint32_t>(n);
}

bool WriteMemory(void* context, const uint8_t* data, uint32_t size) {
  auto* io = static_cast<MemoryIo*>(context);
  if (io->output->size() < io->used + size) io->output->resize((io->used + size) * 2);
  memcpy(io->output->data() + io->used, data, size);
  io->used += size;
  return true;
}

size_t CompressOurs(const Bytes& input, Bytes* output) {
  MemoryIo memory{&input, 0, output, 0};
  zip::DeflateIo io;
  io.context = &memory;
  io.read = ReadMemory;
  io.write = WriteMemory;
  uint8_t buffer[16384];
  uint16_t internal_attr = 0;
  uint16_t flags = 0;
  const zip::DeflateOutcome outcome =
      zip::DeflateEntry(io, buffer, sizeof(buffer), &internal_attr, &flags);
  if (outcome.status != zip::DeflateStatus::kOk) return 0;
  return memory.used;
}

size_t CompressZlib(const Bytes& input, Bytes* output) {
  z_stream z{};
  if (deflateInit2(&z, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  const size_t bound = deflateBound(&z, static_cast<uLong>(input.size()));
  if (output->size() < bound) output->resize(bound);
  z.next_in = const_cast<uint8_t*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = output->data();
  z.avail_out = static_cast<uInt>(output->size());
  const int rc = deflate(&z, Z_FINISH);
  const size_t size = z.total_out;
  deflateEnd(&z);
  return rc == Z_STREAM_END ? size : 0;
}

size_t CompressLibdeflate(const Bytes& input, Bytes* output) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(8);
  if (c == nullptr) return 0;
  const size_t bound = libdeflate_deflate_compress_bound(c, input.size());
  if (output->size() < bound) output->resize(bound);
  const size_t size = libdeflate_deflate_compress(c, input.data(), input.size(),
                                                  output->data(), output->size());
  libdeflate_free_compressor(c);
  return size;
}

bool InflatesTo(const Bytes& compressed, size_t size, const Bytes& expected) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  Bytes out(expected.size() + 1);
  z.next_in = const_cast<uint8_t*>(compressed.data());
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  const bool ok = rc == Z_STREAM_END && z.total_out == expected.size() &&
                  memcmp(out.data(), expected.data(), expected.size()) == 0;
  inflateEnd(&z);
  return ok;
}

using CompressFn = size_t (*)(const Bytes&, Bytes*);

constexpr int kCompressors = 3;
constexpr CompressFn kCompress[kCompressors] = {CompressOurs, CompressZlib,
                                                CompressLibdeflate};

struct Measure {
  size_t output_size = 0;
  double seconds = 0;  // the median run
  double mbps = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Times the three compressors in rounds, each compressor once per round and
// the first one turning with the round, so that a change in the machine's
// load reaches all three alike. One untimed round first warms the buffers.
void TimeRow(const Bytes& input, int runs, Measure* measures,
             Bytes* our_output) {
  std::vector<double> seconds[kCompressors];
  Bytes outputs[kCompressors];
  for (int round = -1; round < runs; ++round) {
    for (int k = 0; k < kCompressors; ++k) {
      const int c = (k + std::max(round, 0)) % kCompressors;
      const auto start = std::chrono::steady_clock::now();
      measures[c].output_size = kCompress[c](input, &outputs[c]);
      const auto end = std::chrono::steady_clock::now();
      if (round >= 0) {
        seconds[c].push_back(std::chrono::duration<double>(end - start).count());
      }
    }
  }
  for (int c = 0; c < kCompressors; ++c) {
    measures[c].seconds = Median(seconds[c]);
    measures[c].mbps =
        measures[c].seconds > 0 ? input.size() / 1e6 / measures[c].seconds : 0;
  }
  *our_output = std::move(outputs[0]);
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: deflate_benchmark CORPUS_FOLDER [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(5, atoi(argv[2])) : 5;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    // Dot-files are the corpus maker's own markers.
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    fprintf(stderr, "no corpus files in %s\n", argv[1]);
    return 2;
  }

  struct Row {
    std::string name;
    size_t input;
    Measure measures[kCompressors];  // ours, zlib-8, libdeflate-8
  };
  std::vector<Row> rows;
  int failures = 0;
  // "speed" and "size" are each compressor's figure over zlib-8's.
  printf("%-12s %10s | %10s %6s %6s %6s %8s | %10s %6s | %10s %6s %6s\n",
         "row", "input", "ours", "MB/s", "speed", "size", "crc32", "zlib-8",
         "MB/s", "libdeflate", "MB/s", "speed");
  const auto print_row = [](const Row& row, const char* crc) {
    const Measure& ours = row.measures[0];
    const Measure& zlib8 = row.measures[1];
    const Measure& libdeflate8 = row.measures[2];
    printf("%-12s %10zu | %10zu %6.1f %5.2fx %6.4f %8s | %10zu %6.1f | %10zu %6.1f %5.2fx\n",
           row.name.c_str(), row.input, ours.output_size, ours.mbps,
           Ratio(ours.mbps, zlib8.mbps),
           Ratio(static_cast<double>(ours.output_size),
                 static_cast<double>(zlib8.output_size)),
           crc, zlib8.output_size, zlib8.mbps, libdeflate8.output_size,
           libdeflate8.mbps, Ratio(libdeflate8.mbps, zlib8.mbps));
  };
  Row total{"total", 0, {}};
  for (const auto& path : files) {
    std::ifstream file(path, std::ios::binary);
    const Bytes input((std::istreambuf_iterator<char>(file)),
                      std::istreambuf_iterator<char>());
    Row row{path.stem().string(), input.size(), {}};
    Bytes ours;
    TimeRow(input, runs, row.measures, &ours);
    if (!InflatesTo(ours, row.measures[0].output_size, input)) {
      fprintf(stderr, "row %s: our output does not inflate to the input\n",
              row.name.c_str());
      failures++;
    }
    // The digest of our stream, to see that speed work changed no byte.
    char crc[16];
    snprintf(crc, sizeof(crc), "%08lx",
             crc32(0, ours.data(), static_cast<uInt>(row.measures[0].output_size)));
    print_row(row, crc);
    fflush(stdout);
    total.input += row.input;
    for (int c = 0; c < kCompressors; ++c) {
      total.measures[c].output_size += row.measures[c].output_size;
      total.measures[c].seconds += row.measures[c].seconds;
    }
    rows.push_back(row);
  }
  // The whole corpus: all bytes over the sum of the rows' median times.
  for (Measure& m : total.measures) m.mbps = Ratio(total.input / 1e6, m.seconds);
  print_row(total, "");
  for (const Row& row : rows) {
    const Measure* m = row.measures;
    printf("bench row=%s input=%zu ours=%zu zlib8=%zu libdeflate8=%zu "
           "ours_mbps=%.1f zlib8_mbps=%.1f libdeflate8_mbps=%.1f\n",
           row.name.c_str(), row.input, m[0].output_size, m[1].output_size,
           m[2].output_size, m[0].mbps, m[1].mbps, m[2].mbps);
  }
  return failures ? 1 : 0;
}
