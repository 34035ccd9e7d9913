// The processor's identity and features, read from CPUID once at
// construction.

#ifndef BASE_SYS_INFO_CPU_H_
#define BASE_SYS_INFO_CPU_H_

#include <string>

namespace base {

class CPU {
 public:
  // Highest instruction-set level, ordered.
  enum IntelMicroArchitecture {
    PENTIUM,
    SSE,
    SSE2,
    SSE3,
    SSSE3,
    SSE41,
    SSE42,
    AVX,
    MAX_INTEL_MICRO_ARCHITECTURE
  };

  // The raw CPUID registers of the leaves the record reads, so that the
  // decoding can be checked without the processor it describes.
  struct Registers {
    int eax;
    int ebx;
    int ecx;
    int edx;
  };
  typedef void (*CpuidFunction)(int leaf, Registers* out);

  CPU();
  explicit CPU(CpuidFunction cpuid);

  const std::string& vendor_name() const { return cpu_vendor_; }
  int signature() const { return signature_; }
  int stepping() const { return stepping_; }
  int model() const { return model_; }
  int family() const { return family_; }
  int type() const { return type_; }
  int extended_model() const { return ext_model_; }
  int extended_family() const { return ext_family_; }
  bool has_mmx() const { return has_mmx_; }
  bool has_sse() const { return has_sse_; }
  bool has_sse2() const { return has_sse2_; }
  bool has_sse3() const { return has_sse3_; }
  bool has_ssse3() const { return has_ssse3_; }
  bool has_sse41() const { return has_sse41_; }
  bool has_sse42() const { return has_sse42_; }
  bool has_avx() const { return has_avx_; }
  bool has_non_stop_time_stamp_counter() const {
    return has_non_stop_time_stamp_counter_;
  }
  IntelMicroArchitecture GetIntelMicroArchitecture() const;
  const std::string& cpu_brand() const { return cpu_brand_; }

 private:
  void Initialize(CpuidFunction cpuid);

  int signature_ = 0;
  int type_ = 0;
  int family_ = 0;
  int model_ = 0;
  int stepping_ = 0;
  int ext_model_ = 0;
  int ext_family_ = 0;
  bool has_mmx_ = false;
  bool has_sse_ = false;
  bool has_sse2_ = false;
  bool has_sse3_ = false;
  bool has_ssse3_ = false;
  bool has_sse41_ = false;
  bool has_sse42_ = false;
  bool has_avx_ = false;
  bool has_non_stop_time_stamp_counter_ = false;
  std::string cpu_vendor_ = "unknown";
  std::string cpu_brand_;
};

}  // namespace base

#endif  // BASE_SYS_INFO_CPU_H_
