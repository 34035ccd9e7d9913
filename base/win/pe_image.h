// Reads the headers, sections, imports, delay imports, exports and base
// relocations of a 64-bit Windows image (PE32+), either as the loader laid
// it out in memory (PEImage) or as the bytes of the file (PEImageAsData).
//
// An image read from a file is input: every read is bounded by the length
// of the data, and a truncated or hostile image makes the walks return
// false (or the lookups null), never read past the end.

#ifndef BASE_WIN_PE_IMAGE_H_
#define BASE_WIN_PE_IMAGE_H_

#include <windows.h>

#include <cstddef>

namespace base {
namespace win {

class PEImage {
 public:
  // Each callback returns false to stop the walk, which then returns false.
  typedef bool (*EnumSectionsFunction)(const PEImage& image,
                                       PIMAGE_SECTION_HEADER header,
                                       PVOID section_start, DWORD section_size,
                                       PVOID cookie);
  typedef bool (*EnumExportsFunction)(const PEImage& image, DWORD ordinal,
                                      DWORD hint, LPCSTR name, PVOID function,
                                      LPCSTR forward, PVOID cookie);
  typedef bool (*EnumImportChunksFunction)(const PEImage& image, LPCSTR module,
                                           PIMAGE_THUNK_DATA name_table,
                                           PIMAGE_THUNK_DATA iat, PVOID cookie);
  typedef bool (*EnumImportsFunction)(const PEImage& image, LPCSTR module,
                                      DWORD ordinal, LPCSTR name, DWORD hint,
                                      PIMAGE_THUNK_DATA iat, PVOID cookie);
  typedef bool (*EnumDelayImportChunksFunction)(
      const PEImage& image, PIMAGE_DELAYLOAD_DESCRIPTOR delay_descriptor,
      LPCSTR module, PIMAGE_THUNK_DATA name_table, PIMAGE_THUNK_DATA iat,
      PIMAGE_THUNK_DATA bound_iat, PIMAGE_THUNK_DATA unload_iat, PVOID cookie);
  typedef bool (*EnumRelocsFunction)(const PEImage& image, WORD type,
                                     PVOID address, PVOID cookie);

  // A loaded module; its extent is taken from its own headers.
  explicit PEImage(HMODULE module);
  explicit PEImage(const void* module);
  virtual ~PEImage();

  void set_module(HMODULE module);
  HMODULE module() const { return module_; }
  size_t length() const { return length_; }

  // A PE32+ image: DOS and NT signatures, a 240-byte optional header with
  // magic 0x20B, all within the data.
  bool VerifyMagic() const;

  PIMAGE_NT_HEADERS GetNTHeaders() const;
  WORD GetNumSections() const;
  PIMAGE_SECTION_HEADER GetSectionHeader(UINT section) const;
  // Compares the first 8 bytes of |section_name| with each section's name.
  PIMAGE_SECTION_HEADER GetImageSectionHeaderByName(LPCSTR section_name) const;
  PIMAGE_SECTION_HEADER GetImageSectionFromAddr(PVOID address) const;
  DWORD GetImageDirectoryEntrySize(UINT directory) const;
  PVOID GetImageDirectoryEntryAddr(UINT directory) const;

  bool ImageAddrToOnDiskOffset(LPVOID address, DWORD* on_disk_offset) const;
  bool ImageRVAToOnDiskOffset(DWORD rva, DWORD* on_disk_offset) const;

  // |function_name| below 0x10000 is an ordinal.
  PDWORD GetExportEntry(LPCSTR function_name) const;
  // 0xFFFFFFFF for a forwarded export; null when not exported.
  FARPROC GetProcAddress(LPCSTR function_name) const;
  bool GetProcOrdinal(LPCSTR function_name, WORD* ordinal) const;

  bool EnumSections(EnumSectionsFunction callback, PVOID cookie) const;
  bool EnumExports(EnumExportsFunction callback, PVOID cookie) const;
  bool EnumImportChunks(EnumImportChunksFunction callback, PVOID cookie) const;
  bool EnumOneImportChunk(EnumImportsFunction callback, LPCSTR module_name,
                          PIMAGE_THUNK_DATA name_table, PIMAGE_THUNK_DATA iat,
                          PVOID cookie) const;
  bool EnumAllImports(EnumImportsFunction callback, PVOID cookie) const;
  bool EnumDelayImportChunks(EnumDelayImportChunksFunction callback,
                             PVOID cookie) const;
  bool EnumOneDelayImportChunk(EnumImportsFunction callback,
                               PIMAGE_DELAYLOAD_DESCRIPTOR delay_descriptor,
                               LPCSTR module_name,
                               PIMAGE_THUNK_DATA name_table,
                               PIMAGE_THUNK_DATA iat, PVOID cookie) const;
  bool EnumAllDelayImports(EnumImportsFunction callback, PVOID cookie) const;
  bool EnumRelocs(EnumRelocsFunction callback, PVOID cookie) const;

  // Where |rva| lies: module + rva here; null for 0 or outside the image.
  virtual PVOID RVAToAddr(DWORD rva) const;

 protected:
  // |length| bytes at |module|.
  PEImage(const void* module, size_t length);

  // |address| when |size| bytes from it lie within the image, else null.
  const void* Bounded(const void* address, size_t size) const;
  // |address| when a NUL ends a string there within the image.
  LPCSTR BoundedString(const void* address) const;
  // The array of |count| |size|-byte entries at |rva|, or null.
  const void* BoundedArray(DWORD rva, size_t count, size_t size) const;

 private:
  // The export directory and its extent, when there is a whole one.
  PIMAGE_EXPORT_DIRECTORY GetExports(DWORD* start, DWORD* size) const;
  // The index of |function_name| in the sorted name table.
  bool FindExportName(PIMAGE_EXPORT_DIRECTORY exports, LPCSTR function_name,
                      DWORD* index) const;
  // Walks a name table and its import address table; hint/name entries
  // are relative addresses when |rva_based|, else addresses as they stand.
  bool WalkThunks(EnumImportsFunction callback, LPCSTR module_name,
                  PIMAGE_THUNK_DATA name_table, PIMAGE_THUNK_DATA iat,
                  bool rva_based, PVOID cookie) const;
  PIMAGE_THUNK_DATA DelayField(PIMAGE_DELAYLOAD_DESCRIPTOR descriptor,
                               DWORD value) const;

  HMODULE module_;
  size_t length_;
};

// The same image as the plain bytes of its file.
class PEImageAsData : public PEImage {
 public:
  PEImageAsData(const void* data, size_t length);

  // Through the section table to a file offset; null when no section holds
  // it or the offset lies outside the data.
  PVOID RVAToAddr(DWORD rva) const override;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_PE_IMAGE_H_
