#include "base/sys_info_cpu.h"

#include <intrin.h>
#include <string.h>

namespace base {

namespace {

void HardwareCpuid(int leaf, CPU::Registers* out) {
  int info[4];
  __cpuid(info, leaf);
  out->eax = info[0];
  out->ebx = info[1];
  out->ecx = info[2];
  out->edx = info[3];
}

bool Bit(int value, int bit) { return (value >> bit) & 1; }

}  // namespace

CPU::CPU() { Initialize(&HardwareCpuid); }

CPU::CPU(CpuidFunction cpuid) { Initialize(cpuid); }

void CPU::Initialize(CpuidFunction cpuid) {
  Registers regs;
  cpuid(0, &regs);
  const int num_ids = regs.eax;
  char vendor[13];
  memcpy(vendor, &regs.ebx, 4);
  memcpy(vendor + 4, &regs.edx, 4);
  memcpy(vendor + 8, &regs.ecx, 4);
  vendor[12] = '\0';
  cpu_vendor_ = vendor;

  if (num_ids > 0) {
    cpuid(1, &regs);
    signature_ = regs.eax;
    stepping_ = regs.eax & 0xf;
    model_ = ((regs.eax >> 4) & 0xf) + ((regs.eax >> 12) & 0xf0);
    family_ = (regs.eax >> 8) & 0xf;
    type_ = (regs.eax >> 12) & 0x3;
    ext_model_ = (regs.eax >> 16) & 0xf;
    ext_family_ = (regs.eax >> 20) & 0xff;
    has_mmx_ = Bit(regs.edx, 23);
    has_sse_ = Bit(regs.edx, 25);
    has_sse2_ = Bit(regs.edx, 26);
    has_sse3_ = Bit(regs.ecx, 0);
    has_ssse3_ = Bit(regs.ecx, 9);
    has_sse41_ = Bit(regs.ecx, 19);
    has_sse42_ = Bit(regs.ecx, 20);
    has_avx_ = Bit(regs.ecx, 28);
  }

  cpuid(static_cast<int>(0x80000000), &regs);
  const unsigned max_extended = static_cast<unsigned>(regs.eax);
  if (max_extended >= 0x80000004) {
    char brand[49];
    for (unsigned leaf = 0x80000002; leaf <= 0x80000004; ++leaf) {
      cpuid(static_cast<int>(leaf), &regs);
      memcpy(brand + (leaf - 0x80000002) * 16, &regs, sizeof(regs));
    }
    brand[48] = '\0';
    cpu_brand_ = brand;
  }
  if (max_extended >= 0x80000007) {
    cpuid(static_cast<int>(0x80000007), &regs);
    has_non_stop_time_stamp_counter_ = Bit(regs.edx, 8);
  }
}

CPU::IntelMicroArchitecture CPU::GetIntelMicroArchitecture() const {
  if (has_avx()) return AVX;
  if (has_sse42()) return SSE42;
  if (has_sse41()) return SSE41;
  if (has_ssse3()) return SSSE3;
  if (has_sse3()) return SSE3;
  if (has_sse2()) return SSE2;
  if (has_sse()) return SSE;
  return PENTIUM;
}

}  // namespace base
