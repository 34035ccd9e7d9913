#include "base/profiler.h"

#include <string.h>
#include <windows.h>

#include <atomic>

// The image this code is linked into (the linker defines it).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace base {

namespace {

enum Instrumented { kNotYetKnown = 0, kYes = 1, kNo = 2 };
std::atomic<int> g_instrumented{kNotYetKnown};

const IMAGE_NT_HEADERS* NtHeaders(const void* image_base) {
  const BYTE* base = static_cast<const BYTE*>(image_base);
  const IMAGE_DOS_HEADER* dos = static_cast<const IMAGE_DOS_HEADER*>(image_base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  const IMAGE_NT_HEADERS* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

bool HasSection(const IMAGE_NT_HEADERS* nt, const char* name) {
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (strncmp(reinterpret_cast<const char*>(section->Name), name,
                IMAGE_SIZEOF_SHORT_NAME) == 0) {
      return true;
    }
  }
  return false;
}

const void* FindHook(const char* function_name) {
  if (!IsBinaryInstrumented()) return nullptr;
  return FindFunctionInImports(&__ImageBase, function_name);
}

}  // namespace

bool IsImageInstrumented(const void* image_base) {
  const IMAGE_NT_HEADERS* nt = NtHeaders(image_base);
  return nt && HasSection(nt, ".thunks") && HasSection(nt, ".syzygy");
}

bool IsBinaryInstrumented() {
  int state = g_instrumented.load();
  if (state == kNotYetKnown) {
    state = IsImageInstrumented(&__ImageBase) ? kYes : kNo;
    g_instrumented.store(state);
  }
  return state == kYes;
}

const void* FindFunctionInImports(const void* image_base,
                                  const char* function_name) {
  const IMAGE_NT_HEADERS* nt = NtHeaders(image_base);
  if (!nt) return nullptr;
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0 || imports.Size == 0) return nullptr;

  const BYTE* base = static_cast<const BYTE*>(image_base);
  for (const IMAGE_IMPORT_DESCRIPTOR* descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
               base + imports.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    if (descriptor->FirstThunk == 0) continue;
    // Once loaded, the address table holds the bound function addresses.
    const IMAGE_THUNK_DATA* first = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + descriptor->FirstThunk);
    if (first->u1.Function == 0) continue;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(first->u1.Function),
                            &module)) {
      continue;
    }
    if (FARPROC function = GetProcAddress(module, function_name))
      return reinterpret_cast<const void*>(function);
  }
  return nullptr;
}

const void* GetProfilerAddDynamicSymbolFunc() {
  return FindHook("AddDynamicSymbol");
}

const void* GetProfilerDynamicFunctionEntryHookFunc() {
  return FindHook("OnDynamicFunctionEntry");
}

const void* GetProfilerMoveDynamicSymbolFunc() {
  return FindHook("MoveDynamicSymbol");
}

const void* GetProfilerReturnAddrResolutionFunc() {
  return FindHook("ResolveReturnAddressLocation");
}

}  // namespace base
