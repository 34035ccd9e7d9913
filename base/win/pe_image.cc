#include "base/win/pe_image.h"

#include <cstdint>
#include <cstring>

namespace base {
namespace win {

namespace {

const size_t kImportDescriptorSize = sizeof(IMAGE_IMPORT_DESCRIPTOR);
const size_t kThunkSize = sizeof(IMAGE_THUNK_DATA64);

// The extent of a module the loader mapped, from its own headers.
size_t LoadedImageLength(const void* module) {
  if (!module) return 0;
  const IMAGE_DOS_HEADER* dos = static_cast<const IMAGE_DOS_HEADER*>(module);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0)
    return sizeof(IMAGE_DOS_HEADER);
  const IMAGE_NT_HEADERS64* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
      static_cast<const char*>(module) + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return sizeof(IMAGE_DOS_HEADER);
  return nt->OptionalHeader.SizeOfImage;
}

uintptr_t AsInt(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

PEImage::PEImage(HMODULE module)
    : module_(module), length_(LoadedImageLength(module)) {}

PEImage::PEImage(const void* module)
    : PEImage(reinterpret_cast<HMODULE>(const_cast<void*>(module))) {}

PEImage::PEImage(const void* module, size_t length)
    : module_(reinterpret_cast<HMODULE>(const_cast<void*>(module))),
      length_(module ? length : 0) {}

PEImage::~PEImage() {}

void PEImage::set_module(HMODULE module) {
  module_ = module;
  length_ = LoadedImageLength(module);
}

const void* PEImage::Bounded(const void* address, size_t size) const {
  const uintptr_t base = AsInt(module_);
  const uintptr_t at = AsInt(address);
  if (!module_ || !address || at < base) return nullptr;
  const uintptr_t offset = at - base;
  if (offset > length_ || size > length_ - offset) return nullptr;
  return address;
}

LPCSTR PEImage::BoundedString(const void* address) const {
  if (!Bounded(address, 1)) return nullptr;
  const size_t room = length_ - (AsInt(address) - AsInt(module_));
  return memchr(address, '\0', room) ? static_cast<LPCSTR>(address) : nullptr;
}

const void* PEImage::BoundedArray(DWORD rva, size_t count, size_t size) const {
  if (count > SIZE_MAX / size) return nullptr;
  const void* start = RVAToAddr(rva);
  if (count == 0) return start ? start : module_;
  return Bounded(start, count * size);
}

PIMAGE_NT_HEADERS PEImage::GetNTHeaders() const {
  const IMAGE_DOS_HEADER* dos = static_cast<const IMAGE_DOS_HEADER*>(
      Bounded(module_, sizeof(IMAGE_DOS_HEADER)));
  if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0)
    return nullptr;
  const char* nt = reinterpret_cast<const char*>(module_) + dos->e_lfanew;
  return static_cast<PIMAGE_NT_HEADERS>(
      const_cast<void*>(Bounded(nt, sizeof(IMAGE_NT_HEADERS64))));
}

bool PEImage::VerifyMagic() const {
  const IMAGE_NT_HEADERS64* nt = GetNTHeaders();
  return nt && nt->Signature == IMAGE_NT_SIGNATURE &&
         nt->FileHeader.SizeOfOptionalHeader ==
             sizeof(IMAGE_OPTIONAL_HEADER64) &&
         nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
}

WORD PEImage::GetNumSections() const {
  const IMAGE_NT_HEADERS64* nt = GetNTHeaders();
  return nt ? nt->FileHeader.NumberOfSections : 0;
}

PIMAGE_SECTION_HEADER PEImage::GetSectionHeader(UINT section) const {
  const IMAGE_NT_HEADERS64* nt = GetNTHeaders();
  if (!nt || section >= nt->FileHeader.NumberOfSections) return nullptr;
  const char* header = reinterpret_cast<const char*>(nt) +
                       offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                       nt->FileHeader.SizeOfOptionalHeader +
                       size_t(section) * sizeof(IMAGE_SECTION_HEADER);
  return static_cast<PIMAGE_SECTION_HEADER>(
      const_cast<void*>(Bounded(header, sizeof(IMAGE_SECTION_HEADER))));
}

PIMAGE_SECTION_HEADER PEImage::GetImageSectionHeaderByName(
    LPCSTR section_name) const {
  if (!section_name) return nullptr;
  for (UINT i = 0; i < GetNumSections(); ++i) {
    PIMAGE_SECTION_HEADER header = GetSectionHeader(i);
    if (!header) return nullptr;
    if (strncmp(reinterpret_cast<const char*>(header->Name), section_name,
                IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return header;
    }
  }
  return nullptr;
}

PIMAGE_SECTION_HEADER PEImage::GetImageSectionFromAddr(PVOID address) const {
  const uintptr_t target = AsInt(address);
  for (UINT i = 0; i < GetNumSections(); ++i) {
    PIMAGE_SECTION_HEADER header = GetSectionHeader(i);
    if (!header) return nullptr;
    // A section at address 0 starts at 0, not at the module.
    const uintptr_t start =
        header->VirtualAddress ? AsInt(module_) + header->VirtualAddress : 0;
    if (start <= target && target - start < header->Misc.VirtualSize)
      return header;
  }
  return nullptr;
}

DWORD PEImage::GetImageDirectoryEntrySize(UINT directory) const {
  if (!VerifyMagic() || directory >= IMAGE_NUMBEROF_DIRECTORY_ENTRIES) return 0;
  return GetNTHeaders()->OptionalHeader.DataDirectory[directory].Size;
}

PVOID PEImage::GetImageDirectoryEntryAddr(UINT directory) const {
  if (!VerifyMagic() || directory >= IMAGE_NUMBEROF_DIRECTORY_ENTRIES)
    return nullptr;
  return RVAToAddr(
      GetNTHeaders()->OptionalHeader.DataDirectory[directory].VirtualAddress);
}

bool PEImage::ImageAddrToOnDiskOffset(LPVOID address,
                                      DWORD* on_disk_offset) const {
  PIMAGE_SECTION_HEADER header = GetImageSectionFromAddr(address);
  if (!header || !on_disk_offset) return false;
  const uintptr_t start =
      header->VirtualAddress ? AsInt(module_) + header->VirtualAddress : 0;
  *on_disk_offset = static_cast<DWORD>(header->PointerToRawData +
                                       (AsInt(address) - start));
  return true;
}

bool PEImage::ImageRVAToOnDiskOffset(DWORD rva, DWORD* on_disk_offset) const {
  // The image address of |rva|, whatever the data's layout.
  return ImageAddrToOnDiskOffset(
      reinterpret_cast<LPVOID>(AsInt(module_) + rva), on_disk_offset);
}

PVOID PEImage::RVAToAddr(DWORD rva) const {
  if (rva == 0 || rva >= length_) return nullptr;
  return reinterpret_cast<char*>(module_) + rva;
}

// --- Exports ---------------------------------------------------------------

PIMAGE_EXPORT_DIRECTORY PEImage::GetExports(DWORD* start, DWORD* size) const {
  if (!VerifyMagic()) return nullptr;
  const IMAGE_DATA_DIRECTORY& directory =
      GetNTHeaders()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  *start = directory.VirtualAddress;
  *size = directory.Size;
  if (!directory.VirtualAddress || !directory.Size) return nullptr;
  return static_cast<PIMAGE_EXPORT_DIRECTORY>(const_cast<void*>(Bounded(
      RVAToAddr(directory.VirtualAddress), sizeof(IMAGE_EXPORT_DIRECTORY))));
}

bool PEImage::FindExportName(PIMAGE_EXPORT_DIRECTORY exports,
                             LPCSTR function_name, DWORD* index) const {
  const DWORD* names = static_cast<const DWORD*>(
      BoundedArray(exports->AddressOfNames, exports->NumberOfNames, 4));
  if (!names) return false;
  DWORD lower = 0;
  DWORD upper = exports->NumberOfNames;
  while (lower < upper) {
    const DWORD middle = lower + (upper - lower) / 2;
    LPCSTR name = BoundedString(RVAToAddr(names[middle]));
    if (!name) return false;
    const int order = strcmp(function_name, name);
    if (order == 0) {
      *index = middle;
      return true;
    }
    if (order < 0)
      upper = middle;
    else
      lower = middle + 1;
  }
  return false;
}

PDWORD PEImage::GetExportEntry(LPCSTR function_name) const {
  DWORD start, size;
  PIMAGE_EXPORT_DIRECTORY exports = GetExports(&start, &size);
  if (!exports) return nullptr;
  DWORD* functions = static_cast<DWORD*>(const_cast<void*>(BoundedArray(
      exports->AddressOfFunctions, exports->NumberOfFunctions, 4)));
  if (!functions) return nullptr;
  DWORD function_index;
  if (AsInt(function_name) < 0x10000) {
    function_index = static_cast<DWORD>(AsInt(function_name)) - exports->Base;
  } else {
    const WORD* ordinals = static_cast<const WORD*>(BoundedArray(
        exports->AddressOfNameOrdinals, exports->NumberOfNames, 2));
    DWORD index;
    if (!ordinals || !FindExportName(exports, function_name, &index))
      return nullptr;
    function_index = ordinals[index];
  }
  if (function_index >= exports->NumberOfFunctions) return nullptr;
  return &functions[function_index];
}

FARPROC PEImage::GetProcAddress(LPCSTR function_name) const {
  PDWORD entry = GetExportEntry(function_name);
  if (!entry) return nullptr;
  DWORD start, size;
  GetExports(&start, &size);
  if (*entry >= start && *entry - start < size)
    return reinterpret_cast<FARPROC>(static_cast<uintptr_t>(0xFFFFFFFF));
  return reinterpret_cast<FARPROC>(RVAToAddr(*entry));
}

bool PEImage::GetProcOrdinal(LPCSTR function_name, WORD* ordinal) const {
  if (!ordinal) return false;
  DWORD start, size;
  PIMAGE_EXPORT_DIRECTORY exports = GetExports(&start, &size);
  if (!exports) return false;
  if (AsInt(function_name) < 0x10000) {
    *ordinal = static_cast<WORD>(AsInt(function_name));
    return true;
  }
  const WORD* ordinals = static_cast<const WORD*>(
      BoundedArray(exports->AddressOfNameOrdinals, exports->NumberOfNames, 2));
  DWORD index;
  if (!ordinals || !FindExportName(exports, function_name, &index))
    return false;
  *ordinal = static_cast<WORD>(ordinals[index] + exports->Base);
  return true;
}

bool PEImage::EnumExports(EnumExportsFunction callback, PVOID cookie) const {
  DWORD start = 0, size = 0;
  PIMAGE_EXPORT_DIRECTORY exports = GetExports(&start, &size);
  if (!exports) return !VerifyMagic() ? false : !(start && size);
  const DWORD* functions = static_cast<const DWORD*>(
      BoundedArray(exports->AddressOfFunctions, exports->NumberOfFunctions, 4));
  const DWORD* names = static_cast<const DWORD*>(
      BoundedArray(exports->AddressOfNames, exports->NumberOfNames, 4));
  const WORD* ordinals = static_cast<const WORD*>(
      BoundedArray(exports->AddressOfNameOrdinals, exports->NumberOfNames, 2));
  if (!functions || !names || !ordinals) return false;

  for (DWORD i = 0; i < exports->NumberOfFunctions; ++i) {
    const DWORD function_rva = functions[i];
    if (!function_rva) continue;
    DWORD hint = 0;
    LPCSTR name = nullptr;
    for (DWORD j = 0; j < exports->NumberOfNames; ++j) {
      if (ordinals[j] != i) continue;
      hint = j;
      name = BoundedString(RVAToAddr(names[j]));
      if (!name) return false;
      break;
    }
    PVOID function = nullptr;
    LPCSTR forward = nullptr;
    if (function_rva >= start && function_rva - start < size) {
      forward = BoundedString(RVAToAddr(function_rva));
      if (!forward) return false;
    } else {
      function = RVAToAddr(function_rva);
    }
    if (!callback(*this, exports->Base + i, hint, name, function, forward,
                  cookie)) {
      return false;
    }
  }
  return true;
}

// --- Imports ---------------------------------------------------------------

bool PEImage::EnumImportChunks(EnumImportChunksFunction callback,
                               PVOID cookie) const {
  if (GetImageDirectoryEntrySize(IMAGE_DIRECTORY_ENTRY_IMPORT) <
      kImportDescriptorSize) {
    return VerifyMagic();
  }
  const char* table = static_cast<const char*>(
      GetImageDirectoryEntryAddr(IMAGE_DIRECTORY_ENTRY_IMPORT));
  if (!table) return false;
  for (size_t i = 0;; ++i) {
    const IMAGE_IMPORT_DESCRIPTOR* descriptor =
        static_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
            Bounded(table + i * kImportDescriptorSize, kImportDescriptorSize));
    if (!descriptor) return false;  // no terminating descriptor
    if (!descriptor->FirstThunk) return true;
    LPCSTR module_name = BoundedString(RVAToAddr(descriptor->Name));
    if (!module_name) return false;
    if (!callback(*this, module_name,
                  static_cast<PIMAGE_THUNK_DATA>(
                      RVAToAddr(descriptor->OriginalFirstThunk)),
                  static_cast<PIMAGE_THUNK_DATA>(
                      RVAToAddr(descriptor->FirstThunk)),
                  cookie)) {
      return false;
    }
  }
}

bool PEImage::EnumOneImportChunk(EnumImportsFunction callback,
                                 LPCSTR module_name,
                                 PIMAGE_THUNK_DATA name_table,
                                 PIMAGE_THUNK_DATA iat, PVOID cookie) const {
  return WalkThunks(callback, module_name, name_table, iat, true, cookie);
}

bool PEImage::WalkThunks(EnumImportsFunction callback, LPCSTR module_name,
                         PIMAGE_THUNK_DATA name_table, PIMAGE_THUNK_DATA iat,
                         bool rva_based, PVOID cookie) const {
  if (!name_table || !iat) return false;
  for (size_t i = 0;; ++i) {
    const IMAGE_THUNK_DATA64* entry = static_cast<const IMAGE_THUNK_DATA64*>(
        Bounded(name_table + i, kThunkSize));
    PIMAGE_THUNK_DATA slot = static_cast<PIMAGE_THUNK_DATA>(
        const_cast<void*>(Bounded(iat + i, kThunkSize)));
    if (!entry || !slot) return false;
    const ULONGLONG value = entry->u1.Ordinal;
    if (!value) return true;
    DWORD ordinal = 0;
    DWORD hint = 0;
    LPCSTR name = nullptr;
    if (IMAGE_SNAP_BY_ORDINAL64(value)) {
      ordinal = static_cast<DWORD>(IMAGE_ORDINAL64(value));
    } else {
      const void* at =
          rva_based ? RVAToAddr(static_cast<DWORD>(value))
                    : reinterpret_cast<void*>(static_cast<uintptr_t>(value));
      const IMAGE_IMPORT_BY_NAME* by_name =
          static_cast<const IMAGE_IMPORT_BY_NAME*>(Bounded(at, sizeof(WORD)));
      if (!by_name) return false;
      hint = by_name->Hint;
      name = BoundedString(by_name->Name);
      if (!name) return false;
    }
    if (!callback(*this, module_name, ordinal, name, hint, slot, cookie))
      return false;
  }
}

namespace {

struct ImportWalk {
  PEImage::EnumImportsFunction callback;
  PVOID cookie;
};

bool WalkOneImportChunk(const PEImage& image, LPCSTR module,
                        PIMAGE_THUNK_DATA name_table, PIMAGE_THUNK_DATA iat,
                        PVOID cookie) {
  ImportWalk* walk = static_cast<ImportWalk*>(cookie);
  return image.EnumOneImportChunk(walk->callback, module, name_table, iat,
                                  walk->cookie);
}

bool WalkOneDelayImportChunk(const PEImage& image,
                             PIMAGE_DELAYLOAD_DESCRIPTOR descriptor,
                             LPCSTR module, PIMAGE_THUNK_DATA name_table,
                             PIMAGE_THUNK_DATA iat, PIMAGE_THUNK_DATA,
                             PIMAGE_THUNK_DATA, PVOID cookie) {
  ImportWalk* walk = static_cast<ImportWalk*>(cookie);
  return image.EnumOneDelayImportChunk(walk->callback, descriptor, module,
                                       name_table, iat, walk->cookie);
}

}  // namespace

bool PEImage::EnumAllImports(EnumImportsFunction callback, PVOID cookie) const {
  ImportWalk walk = {callback, cookie};
  return EnumImportChunks(&WalkOneImportChunk, &walk);
}

PIMAGE_THUNK_DATA PEImage::DelayField(PIMAGE_DELAYLOAD_DESCRIPTOR descriptor,
                                      DWORD value) const {
  // Relative addresses when the descriptor says so; otherwise the value is
  // an address as it stands, used only when it lies within the image.
  void* address = descriptor->Attributes.RvaBased
                      ? RVAToAddr(value)
                      : reinterpret_cast<void*>(static_cast<uintptr_t>(value));
  return static_cast<PIMAGE_THUNK_DATA>(
      const_cast<void*>(Bounded(address, 1)));
}

bool PEImage::EnumDelayImportChunks(EnumDelayImportChunksFunction callback,
                                    PVOID cookie) const {
  const size_t descriptor_size = sizeof(IMAGE_DELAYLOAD_DESCRIPTOR);
  if (GetImageDirectoryEntrySize(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT) <
      descriptor_size) {
    return VerifyMagic();
  }
  const char* table = static_cast<const char*>(
      GetImageDirectoryEntryAddr(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT));
  if (!table) return false;
  for (size_t i = 0;; ++i) {
    PIMAGE_DELAYLOAD_DESCRIPTOR descriptor =
        static_cast<PIMAGE_DELAYLOAD_DESCRIPTOR>(const_cast<void*>(
            Bounded(table + i * descriptor_size, descriptor_size)));
    if (!descriptor) return false;
    if (!descriptor->ModuleHandleRVA) return true;
    LPCSTR module_name =
        BoundedString(DelayField(descriptor, descriptor->DllNameRVA));
    if (!module_name) return false;
    if (!callback(*this, descriptor, module_name,
                  DelayField(descriptor, descriptor->ImportNameTableRVA),
                  DelayField(descriptor, descriptor->ImportAddressTableRVA),
                  DelayField(descriptor, descriptor->BoundImportAddressTableRVA),
                  DelayField(descriptor, descriptor->UnloadInformationTableRVA),
                  cookie)) {
      return false;
    }
  }
}

bool PEImage::EnumOneDelayImportChunk(EnumImportsFunction callback,
                                      PIMAGE_DELAYLOAD_DESCRIPTOR descriptor,
                                      LPCSTR module_name,
                                      PIMAGE_THUNK_DATA name_table,
                                      PIMAGE_THUNK_DATA iat,
                                      PVOID cookie) const {
  if (!descriptor) return false;
  return WalkThunks(callback, module_name, name_table, iat,
                    descriptor->Attributes.RvaBased, cookie);
}

bool PEImage::EnumAllDelayImports(EnumImportsFunction callback,
                                  PVOID cookie) const {
  ImportWalk walk = {callback, cookie};
  return EnumDelayImportChunks(&WalkOneDelayImportChunk, &walk);
}

// --- Sections and relocations ----------------------------------------------

bool PEImage::EnumSections(EnumSectionsFunction callback, PVOID cookie) const {
  if (!GetNTHeaders()) return false;
  for (UINT i = 0; i < GetNumSections(); ++i) {
    PIMAGE_SECTION_HEADER header = GetSectionHeader(i);
    if (!header) return false;
    if (!callback(*this, header, RVAToAddr(header->VirtualAddress),
                  header->Misc.VirtualSize, cookie)) {
      return false;
    }
  }
  return true;
}

bool PEImage::EnumRelocs(EnumRelocsFunction callback, PVOID cookie) const {
  const DWORD size = GetImageDirectoryEntrySize(IMAGE_DIRECTORY_ENTRY_BASERELOC);
  const size_t block_header = sizeof(IMAGE_BASE_RELOCATION);
  if (size < block_header) return VerifyMagic();
  const char* table = static_cast<const char*>(
      GetImageDirectoryEntryAddr(IMAGE_DIRECTORY_ENTRY_BASERELOC));
  if (!table) return false;
  size_t consumed = 0;
  while (consumed + block_header <= size) {
    const IMAGE_BASE_RELOCATION* block =
        static_cast<const IMAGE_BASE_RELOCATION*>(
            Bounded(table + consumed, block_header));
    if (!block) return false;
    if (block->SizeOfBlock == 0) return true;
    if (block->SizeOfBlock < block_header) return false;
    const WORD* entries = static_cast<const WORD*>(Bounded(
        table + consumed + block_header, block->SizeOfBlock - block_header));
    if (!entries) return false;
    const size_t count = (block->SizeOfBlock - block_header) / sizeof(WORD);
    for (size_t i = 0; i < count; ++i) {
      const WORD type = entries[i] >> 12;
      PVOID address = RVAToAddr(block->VirtualAddress + (entries[i] & 0x0FFF));
      if (!callback(*this, type, address, cookie)) return false;
    }
    consumed += block->SizeOfBlock;
  }
  return true;
}

// --- PEImageAsData ---------------------------------------------------------

PEImageAsData::PEImageAsData(const void* data, size_t length)
    : PEImage(data, length) {}

PVOID PEImageAsData::RVAToAddr(DWORD rva) const {
  if (rva == 0) return nullptr;
  PIMAGE_SECTION_HEADER header = GetImageSectionFromAddr(
      reinterpret_cast<PVOID>(AsInt(module()) + rva));
  if (!header) return nullptr;
  // The part of a section past its raw data is zero-fill, not in the file.
  const uint64_t into = header->VirtualAddress
                            ? uint64_t(rva) - header->VirtualAddress
                            : uint64_t(uint32_t(AsInt(module()) + rva));
  if (into >= header->SizeOfRawData) return nullptr;
  const uint64_t offset = uint64_t(header->PointerToRawData) + into;
  if (offset == 0 || offset >= length()) return nullptr;
  return reinterpret_cast<char*>(module()) + offset;
}

}  // namespace win
}  // namespace base
