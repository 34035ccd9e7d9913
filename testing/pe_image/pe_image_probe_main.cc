// Prints what the PE walker reads from an image file, one fact a line:
//   magic <0|1>
//   section <name> <virtual address> <file offset>
//   import <module> <hint> <name>      (or "#<ordinal>" for the name)
//   export <ordinal> <name or -> <forward or ->
//   relocs <count>
//   walks <sections> <imports> <exports> <relocs>   (1 when a walk finished)
// The image is read as file data, never loaded.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/win/pe_image.h"

namespace {

bool PrintSection(const base::win::PEImage&, PIMAGE_SECTION_HEADER header,
                  PVOID, DWORD, PVOID) {
  char name[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
  memcpy(name, header->Name, IMAGE_SIZEOF_SHORT_NAME);
  printf("section %s %lx %lx\n", name, header->VirtualAddress,
         header->PointerToRawData);
  return true;
}

bool PrintImport(const base::win::PEImage&, LPCSTR module, DWORD ordinal,
                 LPCSTR name, DWORD hint, PIMAGE_THUNK_DATA, PVOID) {
  if (name)
    printf("import %s %lu %s\n", module, hint, name);
  else
    printf("import %s 0 #%lu\n", module, ordinal);
  return true;
}

bool PrintExport(const base::win::PEImage&, DWORD ordinal, DWORD, LPCSTR name,
                 PVOID, LPCSTR forward, PVOID) {
  printf("export %lu %s %s\n", ordinal, name ? name : "-",
         forward ? forward : "-");
  return true;
}

bool CountReloc(const base::win::PEImage&, WORD, PVOID, PVOID cookie) {
  ++*static_cast<int*>(cookie);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  FILE* file = _wfopen(argv[1], L"rb");
  if (!file) return 3;
  std::vector<char> data;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
    data.insert(data.end(), buffer, buffer + n);
  fclose(file);

  base::win::PEImageAsData image(data.data(), data.size());
  printf("magic %d\n", image.VerifyMagic() ? 1 : 0);
  const bool sections = image.EnumSections(&PrintSection, nullptr);
  const bool imports = image.EnumAllImports(&PrintImport, nullptr);
  const bool exports = image.EnumExports(&PrintExport, nullptr);
  int relocs = 0;
  const bool relocated = image.EnumRelocs(&CountReloc, &relocs);
  printf("relocs %d\n", relocs);
  printf("walks %d %d %d %d\n", sections, imports, exports, relocated);
  return 0;
}
