// Measures the single-byte cryptor against memcpy on one large buffer and
// prints one line:
//   bench row=cryptor input=<bytes> cryptor_mbps=<x> memcpy_mbps=<x>
// Each figure is the median of several runs, in millions of bytes per
// second. Run an optimised build.

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "qzcrypto/cryptor.h"
#include "qzcrypto/format_constants.h"

namespace {

const size_t kInputBytes = 64u << 20;
const int kRuns = 7;

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

template <typename Work>
double MedianMbps(Work work) {
  std::vector<double> rates;
  for (int run = 0; run < kRuns; ++run) {
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    rates.push_back(kInputBytes / 1e6 / Seconds(start, end));
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

}  // namespace

int main() {
  std::vector<uint8_t> in(kInputBytes);
  std::vector<uint8_t> out(kInputBytes);
  uint32_t state = 12345;
  for (uint8_t& byte : in) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  std::unique_ptr<qzcrypto::ICryptoProvider> cryptor =
      qzcrypto::CreateCryptor(qzcrypto::kSingleByteCryptorType);
  cryptor->SetKey(qzcrypto::kProductKeyMaterial, qzcrypto::kProductKeyLength);
  // Touches every page once before anything is timed.
  memcpy(out.data(), in.data(), kInputBytes);
  cryptor->Encrypt(in.data(), out.data(), kInputBytes);

  const double memcpy_mbps =
      MedianMbps([&] { memcpy(out.data(), in.data(), kInputBytes); });
  const double cryptor_mbps =
      MedianMbps([&] { cryptor->Encrypt(in.data(), out.data(), kInputBytes); });
  // Keeps the work from being optimised away.
  if (out[kInputBytes / 2] == 0 && out[0] == 0) fputs("", stderr);
  printf("bench row=cryptor input=%zu cryptor_mbps=%.0f memcpy_mbps=%.0f\n",
         kInputBytes, cryptor_mbps, memcpy_mbps);
  return 0;
}
