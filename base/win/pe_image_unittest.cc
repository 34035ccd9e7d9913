#include "base/win/pe_image.h"

#include <windows.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

std::vector<char> ReadOwnExecutable() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::vector<char> data;
  FILE* file = _wfopen(path, L"rb");
  if (!file) return data;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
    data.insert(data.end(), buffer, buffer + n);
  fclose(file);
  return data;
}

bool CollectImport(const PEImage&, LPCSTR module, DWORD ordinal, LPCSTR name,
                   DWORD, PIMAGE_THUNK_DATA, PVOID cookie) {
  static_cast<std::set<std::string>*>(cookie)->insert(
      std::string(module) + "!" + (name ? name : std::to_string(ordinal)));
  return true;
}

bool CountSection(const PEImage&, PIMAGE_SECTION_HEADER, PVOID, DWORD,
                  PVOID cookie) {
  ++*static_cast<int*>(cookie);
  return true;
}

bool CountExport(const PEImage&, DWORD, DWORD, LPCSTR, PVOID, LPCSTR,
                 PVOID cookie) {
  ++*static_cast<int*>(cookie);
  return true;
}

bool CountReloc(const PEImage&, WORD, PVOID, PVOID cookie) {
  ++*static_cast<int*>(cookie);
  return true;
}

bool StopAtFirstSection(const PEImage&, PIMAGE_SECTION_HEADER, PVOID, DWORD,
                        PVOID cookie) {
  ++*static_cast<int*>(cookie);
  return false;
}

// Every walk and lookup, for images that must not crash the reader.
struct WalkResults {
  bool sections, imports, delay_imports, exports, relocs;
};

WalkResults WalkEverything(const PEImage& image) {
  int count = 0;
  std::set<std::string> imports;
  WalkResults results;
  results.sections = image.EnumSections(&CountSection, &count);
  results.imports = image.EnumAllImports(&CollectImport, &imports);
  results.delay_imports = image.EnumAllDelayImports(&CollectImport, &imports);
  results.exports = image.EnumExports(&CountExport, &count);
  results.relocs = image.EnumRelocs(&CountReloc, &count);
  image.GetProcAddress("GetLastError");
  WORD ordinal;
  image.GetProcOrdinal("GetLastError", &ordinal);
  image.GetImageSectionHeaderByName(".text");
  DWORD offset;
  image.ImageRVAToOnDiskOffset(0x1000, &offset);
  return results;
}

TEST(PEImageTest, LoadedModules) {
  PEImage self(GetModuleHandleW(nullptr));
  ASSERT_TRUE(self.VerifyMagic());
  PIMAGE_SECTION_HEADER text = self.GetImageSectionHeaderByName(".text");
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(0, memcmp(text->Name, ".text", 6));
  // A name of 9 or more characters matches on its first 8.
  EXPECT_EQ(self.GetImageSectionHeaderByName(".textual"), nullptr);
  PIMAGE_SECTION_HEADER data = self.GetImageSectionHeaderByName(".data");
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(text, self.GetImageSectionFromAddr(self.RVAToAddr(
                      text->VirtualAddress + 4)));
  DWORD offset = 0;
  ASSERT_TRUE(self.ImageRVAToOnDiskOffset(text->VirtualAddress + 4, &offset));
  EXPECT_EQ(text->PointerToRawData + 4, offset);

  int stopped = 0;
  EXPECT_FALSE(self.EnumSections(&StopAtFirstSection, &stopped));
  EXPECT_EQ(1, stopped);
  std::set<std::string> imports;
  ASSERT_TRUE(self.EnumAllImports(&CollectImport, &imports));
  EXPECT_EQ(1u, imports.count("KERNEL32.dll!GetLastError"));

  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  PEImage k32(kernel32);
  ASSERT_TRUE(k32.VerifyMagic());
  EXPECT_EQ(reinterpret_cast<FARPROC>(::GetProcAddress(kernel32, "GetTickCount")),
            k32.GetProcAddress("GetTickCount"));
  EXPECT_EQ(nullptr, k32.GetProcAddress("NoSuchExportAnywhere"));
  WORD ordinal = 0;
  ASSERT_TRUE(k32.GetProcOrdinal("GetTickCount", &ordinal));
  EXPECT_EQ(k32.GetProcAddress("GetTickCount"),
            k32.GetProcAddress(reinterpret_cast<LPCSTR>(uintptr_t(ordinal))));
  // Wine's kernel32 forwards this one to ntdll.
  EXPECT_EQ(reinterpret_cast<FARPROC>(uintptr_t(0xFFFFFFFF)),
            k32.GetProcAddress("AcquireSRWLockExclusive"));
  int exports = 0;
  EXPECT_TRUE(k32.EnumExports(&CountExport, &exports));
  EXPECT_GT(exports, 1000);
}

TEST(PEImageTest, FileDataMatchesTheLoadedImage) {
  const std::vector<char> file = ReadOwnExecutable();
  ASSERT_GT(file.size(), 4096u);
  PEImageAsData image(file.data(), file.size());
  ASSERT_TRUE(image.VerifyMagic());
  PEImage loaded(GetModuleHandleW(nullptr));
  EXPECT_EQ(loaded.GetNumSections(), image.GetNumSections());

  std::set<std::string> from_file, from_memory;
  ASSERT_TRUE(image.EnumAllImports(&CollectImport, &from_file));
  ASSERT_TRUE(loaded.EnumAllImports(&CollectImport, &from_memory));
  EXPECT_EQ(from_memory, from_file);
  int relocs = 0;
  EXPECT_TRUE(image.EnumRelocs(&CountReloc, &relocs));
  EXPECT_GT(relocs, 0);

  // A 32-bit image is not ours to read.
  std::vector<char> pe32 = file;
  IMAGE_NT_HEADERS64* nt = reinterpret_cast<IMAGE_NT_HEADERS64*>(
      pe32.data() + reinterpret_cast<IMAGE_DOS_HEADER*>(pe32.data())->e_lfanew);
  nt->OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
  EXPECT_FALSE(PEImageAsData(pe32.data(), pe32.size()).VerifyMagic());
}

TEST(PEImageTest, TruncatedCopiesAreRefused) {
  const std::vector<char> file = ReadOwnExecutable();
  PEImageAsData whole(file.data(), file.size());
  ASSERT_TRUE(whole.VerifyMagic());
  const LONG nt_offset =
      reinterpret_cast<const IMAGE_DOS_HEADER*>(file.data())->e_lfanew;
  const DWORD import_rva = whole.GetNTHeaders()
                               ->OptionalHeader
                               .DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
                               .VirtualAddress;
  DWORD import_offset = 0;
  ASSERT_TRUE(whole.ImageRVAToOnDiskOffset(import_rva, &import_offset));

  std::vector<size_t> cuts = {0,
                              1,
                              63,
                              64,
                              size_t(nt_offset) + 4,
                              size_t(nt_offset) + 100,
                              size_t(nt_offset) + 263,
                              size_t(nt_offset) + 264 + 20,
                              import_offset,
                              import_offset + 30,
                              file.size() - 1};
  for (size_t cut = 512; cut < file.size(); cut += file.size() / 97 + 1)
    cuts.push_back(cut);
  for (size_t cut : cuts) {
    SCOPED_TRACE(cut);
    // A copy of exactly that length, so reading past it is reading past
    // the allocation.
    std::vector<char> copy(file.begin(), file.begin() + cut);
    PEImageAsData image(copy.empty() ? nullptr : copy.data(), copy.size());
    const WalkResults results = WalkEverything(image);
    if (cut < size_t(nt_offset) + sizeof(IMAGE_NT_HEADERS64)) {
      EXPECT_FALSE(image.VerifyMagic());
      EXPECT_FALSE(results.sections);
      EXPECT_FALSE(results.imports);
    }
    if (cut <= import_offset + 20) {
      EXPECT_FALSE(results.imports);
    }
  }
}

// Patches one field of a copy of the executable and walks it.
void WalkPatched(const char* what,
                 const std::function<void(std::vector<char>*,
                                          IMAGE_NT_HEADERS64*)>& patch,
                 int expect_sections_ok) {
  SCOPED_TRACE(what);
  std::vector<char> copy = ReadOwnExecutable();
  IMAGE_NT_HEADERS64* nt = reinterpret_cast<IMAGE_NT_HEADERS64*>(
      copy.data() + reinterpret_cast<IMAGE_DOS_HEADER*>(copy.data())->e_lfanew);
  patch(&copy, nt);
  PEImageAsData image(copy.data(), copy.size());
  const WalkResults results = WalkEverything(image);
  // -1: the section walk reads garbage within the data, either way is fine.
  if (expect_sections_ok >= 0) {
    EXPECT_EQ(expect_sections_ok != 0, results.sections);
  }
}

TEST(PEImageTest, HostileHeadersAreRefused) {
  WalkPatched("e_lfanew far away", [](std::vector<char>* copy,
                                      IMAGE_NT_HEADERS64*) {
    reinterpret_cast<IMAGE_DOS_HEADER*>(copy->data())->e_lfanew = 0x7FFFFFF0;
  }, 0);
  WalkPatched("e_lfanew negative", [](std::vector<char>* copy,
                                      IMAGE_NT_HEADERS64*) {
    reinterpret_cast<IMAGE_DOS_HEADER*>(copy->data())->e_lfanew = -8;
  }, 0);
  WalkPatched("65535 sections", [](std::vector<char>*, IMAGE_NT_HEADERS64* nt) {
    nt->FileHeader.NumberOfSections = 0xFFFF;
  }, -1);
  WalkPatched("huge optional header", [](std::vector<char>*,
                                         IMAGE_NT_HEADERS64* nt) {
    nt->FileHeader.SizeOfOptionalHeader = 0xFFFF;
  }, -1);
  WalkPatched("import directory far away", [](std::vector<char>*,
                                              IMAGE_NT_HEADERS64* nt) {
    nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT]
        .VirtualAddress = 0xFFFFFFF0;
  }, 1);
  WalkPatched("export directory inside the headers", [](std::vector<char>*,
                                                        IMAGE_NT_HEADERS64* nt) {
    IMAGE_DATA_DIRECTORY& exports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    exports.VirtualAddress = 0x10;
    exports.Size = 0x7FFFFFFF;
  }, 1);
  WalkPatched("relocation block of size 4", [](std::vector<char>* copy,
                                               IMAGE_NT_HEADERS64* nt) {
    PEImageAsData image(copy->data(), copy->size());
    IMAGE_BASE_RELOCATION* block = static_cast<IMAGE_BASE_RELOCATION*>(
        image.GetImageDirectoryEntryAddr(IMAGE_DIRECTORY_ENTRY_BASERELOC));
    ASSERT_NE(nullptr, block);
    block->SizeOfBlock = 4;
    (void)nt;
  }, 1);
  WalkPatched("relocation block past the end", [](std::vector<char>* copy,
                                                  IMAGE_NT_HEADERS64*) {
    PEImageAsData image(copy->data(), copy->size());
    IMAGE_BASE_RELOCATION* block = static_cast<IMAGE_BASE_RELOCATION*>(
        image.GetImageDirectoryEntryAddr(IMAGE_DIRECTORY_ENTRY_BASERELOC));
    ASSERT_NE(nullptr, block);
    block->SizeOfBlock = 0xFFFFFFF0;
  }, 1);
  WalkPatched("section raw data past the end", [](std::vector<char>* copy,
                                                  IMAGE_NT_HEADERS64*) {
    PEImageAsData image(copy->data(), copy->size());
    for (UINT i = 0; i < image.GetNumSections(); ++i)
      image.GetSectionHeader(i)->PointerToRawData = 0xFFFFF000;
  }, 1);

  // The walks that met those report it.
  std::vector<char> copy = ReadOwnExecutable();
  PEImageAsData image(copy.data(), copy.size());
  static_cast<IMAGE_BASE_RELOCATION*>(
      image.GetImageDirectoryEntryAddr(IMAGE_DIRECTORY_ENTRY_BASERELOC))
      ->SizeOfBlock = 0xFFFFFFF0;
  int count = 0;
  EXPECT_FALSE(image.EnumRelocs(&CountReloc, &count));
}

}  // namespace
}  // namespace win
}  // namespace base
