#include "base/sys_info.h"

#include <windows.h>
#include <intrin.h>

#include <map>
#include <string>

#include "base/file_util.h"
#include "base/sys_info_cpu.h"
#include "base/sys_info_windows_version.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(WindowsVersionTest, IndexFromNumbers) {
  const struct {
    int major;
    int minor;
    int build;
    Version expected;
  } cases[] = {
      {4, 0, 1381, VERSION_PRE_XP},  {5, 0, 2195, VERSION_PRE_XP},
      {5, 1, 2600, VERSION_XP},      {5, 2, 3790, VERSION_SERVER_2003},
      {5, 3, 0, VERSION_SERVER_2003}, {6, 0, 6002, VERSION_VISTA},
      {6, 1, 7601, VERSION_WIN7},    {6, 2, 9200, VERSION_WIN8},
      {6, 3, 9600, VERSION_WIN8_1},  {6, 4, 0, VERSION_WIN8_1},
      {10, 0, 21999, VERSION_WIN10}, {10, 0, 22000, VERSION_WIN11},
      {7, 0, 0, VERSION_WIN_LAST},   {11, 0, 0, VERSION_WIN_LAST},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, VersionFromNumbers(c.major, c.minor, c.build))
        << c.major << "." << c.minor << "." << c.build;
  }
}

TEST(WindowsVersionTest, ProcessWideFacts) {
  OSInfo* info = OSInfo::GetInstance();
  EXPECT_EQ(info, OSInfo::GetInstance());
  const OSInfo::VersionNumber number = info->version_number();
  EXPECT_EQ(VersionFromNumbers(number.major, number.minor, number.build),
            GetWindowsVersion());
  EXPECT_GE(GetWindowsVersion(), VERSION_VISTA);
  EXPECT_EQ(OSInfo::X64_ARCHITECTURE, info->architecture());
  EXPECT_EQ(OSInfo::WOW64_DISABLED,
            OSInfo::GetWOW64StatusForProcess(::GetCurrentProcess()));
  EXPECT_EQ(OSInfo::WOW64_UNKNOWN, OSInfo::GetWOW64StatusForProcess(nullptr));
  EXPECT_GE(info->processors(), 1);
  EXPECT_EQ(65536u, info->allocation_granularity());
}

// The processor's own brand string, read here from CPUID: the system's copy
// of it is what the model name must give (less padding).
std::string BrandFromCpuid() {
  int words[12] = {};
  for (int i = 0; i < 3; ++i)
    __cpuid(words + 4 * i, static_cast<int>(0x80000002u) + i);
  std::string brand(reinterpret_cast<const char*>(words), sizeof(words));
  brand.resize(brand.find('\0') == std::string::npos ? brand.size()
                                                     : brand.find('\0'));
  const size_t first = brand.find_first_not_of(' ');
  const size_t last = brand.find_last_not_of(' ');
  return first == std::string::npos ? std::string()
                                    : brand.substr(first, last - first + 1);
}

TEST(SysInfoTest, ModelNameIsTheProcessorsBrand) {
  const std::string brand = BrandFromCpuid();
  ASSERT_FALSE(brand.empty());
  std::string name = SysInfo::CPUModelName();
  name.erase(0, name.find_first_not_of(' '));
  name.erase(name.find_last_not_of(' ') + 1);
  EXPECT_EQ(brand, name);
}

TEST(SysInfoTest, Figures) {
  EXPECT_EQ(OSInfo::GetInstance()->processors(),
            SysInfo::NumberOfProcessors());
  EXPECT_GT(SysInfo::AmountOfPhysicalMemory(), 0);
  EXPECT_GT(SysInfo::AmountOfAvailablePhysicalMemory(), 0);
  EXPECT_LE(SysInfo::AmountOfAvailablePhysicalMemory(),
            SysInfo::AmountOfPhysicalMemory());
  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  EXPECT_GT(SysInfo::AmountOfFreeDiskSpace(temp), 0);
  EXPECT_EQ(-1, SysInfo::AmountOfFreeDiskSpace(temp.Append(L"no\\such")));
  EXPECT_EQ("Windows NT", SysInfo::OperatingSystemName());
  EXPECT_EQ("x86_64", SysInfo::OperatingSystemArchitecture());
  EXPECT_EQ(OSInfo::GetInstance()->allocation_granularity(),
            SysInfo::VMAllocationGranularity());

  int32_t major = -1, minor = -1, bugfix = -1;
  SysInfo::OperatingSystemVersionNumbers(&major, &minor, &bugfix);
  EXPECT_EQ(OSInfo::GetInstance()->version_number().major, major);
  EXPECT_EQ(OSInfo::GetInstance()->version_number().minor, minor);
  EXPECT_EQ(0, bugfix);
  EXPECT_EQ(0u, SysInfo::OperatingSystemVersion().find(
                    std::to_string(major) + "." + std::to_string(minor)));
}

TEST(SysInfoTest, OperatingSystemVersionText) {
  EXPECT_EQ("6.1 SP1", SysInfo::FormatOperatingSystemVersion(6, 1, 1, 0));
  EXPECT_EQ("6.1 SP2.3", SysInfo::FormatOperatingSystemVersion(6, 1, 2, 3));
  EXPECT_EQ("10.0", SysInfo::FormatOperatingSystemVersion(10, 0, 0, 4));
}

// A made-up processor: leaves answered from a table, zeros elsewhere.
std::map<unsigned, CPU::Registers>* g_leaves;

void TableCpuid(int leaf, CPU::Registers* out) {
  auto found = g_leaves->find(static_cast<unsigned>(leaf));
  *out = found == g_leaves->end() ? CPU::Registers{0, 0, 0, 0} : found->second;
}

int Text4(const char* text) {
  int value;
  memcpy(&value, text, 4);
  return value;
}

TEST(CpuTest, DecodesTheCpuidLeaves) {
  std::map<unsigned, CPU::Registers> leaves;
  g_leaves = &leaves;
  leaves[0] = {13, Text4("Genu"), Text4("ntel"), Text4("ineI")};
  // Stepping 5, model 14, family 6, type 1, extended model 9, family 0.
  leaves[1] = {0x000916E5, 0, (1 << 0) | (1 << 9) | (1 << 19),
               (1 << 23) | (1 << 25) | (1 << 26)};
  leaves[0x80000000] = {static_cast<int>(0x80000008), 0, 0, 0};
  const char brand[] = "  Made-up CPU @ 3.00GHz with a long brand text!!";
  static_assert(sizeof(brand) == 49, "48 bytes and a NUL");
  for (unsigned i = 0; i < 3; ++i) {
    CPU::Registers regs;
    memcpy(&regs, brand + i * 16, 16);
    leaves[0x80000002 + i] = regs;
  }
  leaves[0x80000007] = {0, 0, 0, 1 << 8};

  CPU cpu(&TableCpuid);
  EXPECT_EQ("GenuineIntel", cpu.vendor_name());
  EXPECT_EQ(0x000916E5, cpu.signature());
  EXPECT_EQ(5, cpu.stepping());
  EXPECT_EQ(14 + (9 << 4), cpu.model());
  EXPECT_EQ(6, cpu.family());
  EXPECT_EQ(1, cpu.type());
  EXPECT_EQ(9, cpu.extended_model());
  EXPECT_EQ(0, cpu.extended_family());
  EXPECT_TRUE(cpu.has_mmx());
  EXPECT_TRUE(cpu.has_sse());
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_TRUE(cpu.has_sse3());
  EXPECT_TRUE(cpu.has_ssse3());
  EXPECT_TRUE(cpu.has_sse41());
  EXPECT_FALSE(cpu.has_sse42());
  EXPECT_FALSE(cpu.has_avx());
  EXPECT_EQ(CPU::SSE41, cpu.GetIntelMicroArchitecture());
  EXPECT_EQ(brand, cpu.cpu_brand());
  EXPECT_TRUE(cpu.has_non_stop_time_stamp_counter());

  // Without leaf 0x80000004 there is no brand; without 0x80000007 no
  // time-stamp-counter flag; without leaf 1 no features.
  leaves[0].eax = 0;
  leaves[0x80000000].eax = static_cast<int>(0x80000003);
  CPU older(&TableCpuid);
  EXPECT_EQ("", older.cpu_brand());
  EXPECT_FALSE(older.has_non_stop_time_stamp_counter());
  EXPECT_FALSE(older.has_sse());
  EXPECT_EQ(0, older.family());
  EXPECT_EQ(CPU::PENTIUM, older.GetIntelMicroArchitecture());

  leaves[0] = {1, Text4("Auth"), Text4("cAMD"), Text4("enti")};
  leaves[1].ecx = 1 << 28;
  CPU avx(&TableCpuid);
  EXPECT_EQ("AuthenticAMD", avx.vendor_name());
  EXPECT_EQ(CPU::AVX, avx.GetIntelMicroArchitecture());
}

TEST(CpuTest, ThisProcessor) {
  CPU cpu;
  EXPECT_NE("unknown", cpu.vendor_name());
  EXPECT_EQ(12u, cpu.vendor_name().size());
  EXPECT_TRUE(cpu.has_sse2());  // every x64 processor has it
}

}  // namespace
}  // namespace base
