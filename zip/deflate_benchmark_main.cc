// Compares our deflate compressor with zlib and libdeflate at level 8 over
// a folder of corpus files (one row per file), each compressing from and to
// memory. Prints a table, then one "bench ..." line per row for scripts.
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

struct Measure {
  size_t output_size = 0;
  double mbps = 0;
};

using CompressFn = size_t (*)(const Bytes&, Bytes*);

Measure Time(CompressFn compress, const Bytes& input, int runs, Bytes* output) {
  std::vector<double> seconds;
  Measure m;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    m.output_size = compress(input, output);
    const auto end = std::chrono::steady_clock::now();
    seconds.push_back(std::chrono::duration<double>(end - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  const double median = seconds[seconds.size() / 2];
  m.mbps = median > 0 ? input.size() / 1e6 / median : 0;
  return m;
}

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
    Measure ours, zlib8, libdeflate8;
  };
  std::vector<Row> rows;
  int failures = 0;
  printf("%-12s %12s | %12s %7s %8s | %12s %7s %8s | %12s %7s %8s\n", "row",
         "input", "ours", "ratio", "MB/s", "zlib-8", "ratio", "MB/s",
         "libdeflate-8", "ratio", "MB/s");
  for (const auto& path : files) {
    std::ifstream file(path, std::ios::binary);
    const Bytes input((std::istreambuf_iterator<char>(file)),
                      std::istreambuf_iterator<char>());
    Row row{path.stem().string(), input.size(), {}, {}, {}};
    Bytes output;
    row.ours = Time(CompressOurs, input, runs, &output);
    if (!InflatesTo(output, row.ours.output_size, input)) {
      fprintf(stderr, "row %s: our output does not inflate to the input\n",
              row.name.c_str());
      failures++;
    }
    row.zlib8 = Time(CompressZlib, input, runs, &output);
    row.libdeflate8 = Time(CompressLibdeflate, input, runs, &output);
    const double n = row.input ? static_cast<double>(row.input) : 1.0;
    printf("%-12s %12zu | %12zu %7.4f %8.1f | %12zu %7.4f %8.1f | %12zu %7.4f %8.1f\n",
           row.name.c_str(), row.input, row.ours.output_size,
           row.ours.output_size / n, row.ours.mbps, row.zlib8.output_size,
           row.zlib8.output_size / n, row.zlib8.mbps,
           row.libdeflate8.output_size, row.libdeflate8.output_size / n,
           row.libdeflate8.mbps);
    fflush(stdout);
    rows.push_back(row);
  }
  for (const Row& row : rows) {
    printf("bench row=%s input=%zu ours=%zu zlib8=%zu libdeflate8=%zu "
           "ours_mbps=%.1f zlib8_mbps=%.1f libdeflate8_mbps=%.1f\n",
           row.name.c_str(), row.input, row.ours.output_size,
           row.zlib8.output_size, row.libdeflate8.output_size, row.ours.mbps,
           row.zlib8.mbps, row.libdeflate8.mbps);
  }
  return failures ? 1 : 0;
}
