#include "crash_capture/handle_trace.h"

#include <cstring>

#include "base/logging.h"
#include "crash_capture/scoped_library.h"

namespace crash_capture {

namespace {

struct HandleOperationListHeader {
  uint32_t size_of_header;
  uint32_t size_of_entry;
  uint32_t number_of_entries;
  uint32_t reserved;
};
static_assert(sizeof(HandleOperationListHeader) == 16, "stream layout");

using EnumerateResourceFunction = ULONG(NTAPI*)(
    HANDLE, ULONG, ULONG, AVRF_RESOURCE_ENUMERATE_CALLBACK, PVOID);

ULONG NTAPI CollectOperation(PVOID resource, PVOID context, PULONG level) {
  auto* operations = static_cast<std::vector<AVRF_HANDLE_OPERATION>*>(context);
  operations->push_back(*static_cast<const AVRF_HANDLE_OPERATION*>(resource));
  *level = 0;
  return 0;  // Go on with the next record.
}

bool ReadExceptionCode(HANDLE process, uint64_t exception_pointers,
                       DWORD* code) {
  EXCEPTION_POINTERS pointers;
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(exception_pointers),
                         &pointers, sizeof(pointers), &read) ||
      read != sizeof(pointers)) {
    return false;
  }
  // The code is the record's first field.
  return ReadProcessMemory(process, pointers.ExceptionRecord, code,
                           sizeof(*code), &read) &&
         read == sizeof(*code);
}

}  // namespace

std::vector<uint8_t> BuildHandleOperationList(
    const std::vector<AVRF_HANDLE_OPERATION>& operations) {
  const AVRF_HANDLE_OPERATION* bad_reference = nullptr;
  for (const AVRF_HANDLE_OPERATION& operation : operations) {
    if (operation.OperationType == kHandleOperationBadRef)
      bad_reference = &operation;
  }
  if (!bad_reference) return {};

  std::vector<const AVRF_HANDLE_OPERATION*> kept;
  for (const AVRF_HANDLE_OPERATION& operation : operations) {
    if (operation.Handle == bad_reference->Handle) kept.push_back(&operation);
  }
  const HandleOperationListHeader header = {
      sizeof(HandleOperationListHeader), sizeof(AVRF_HANDLE_OPERATION),
      static_cast<uint32_t>(kept.size()), 0};
  std::vector<uint8_t> list(sizeof(header) +
                            kept.size() * sizeof(AVRF_HANDLE_OPERATION));
  memcpy(list.data(), &header, sizeof(header));
  uint8_t* entry = list.data() + sizeof(header);
  for (const AVRF_HANDLE_OPERATION* operation : kept) {
    memcpy(entry, operation, sizeof(*operation));
    entry += sizeof(*operation);
  }
  return list;
}

std::vector<uint8_t> CollectHandleTrace(HANDLE process,
                                        uint64_t exception_pointers) {
  DWORD code = 0;
  if (!ReadExceptionCode(process, exception_pointers, &code)) {
    LOG(WARNING) << "Cannot read the exception code; no handle trace";
    return {};
  }
  if (code != kStatusInvalidHandle) return {};

  ScopedLibrary verifier(L"verifier.dll");
  auto enumerate = verifier.GetFunction<EnumerateResourceFunction>(
      "VerifierEnumerateResource");
  if (!enumerate) return {};

  std::vector<AVRF_HANDLE_OPERATION> operations;
  if (enumerate(process, 0, AvrfResourceHandleTrace, CollectOperation,
                &operations) != 0) {
    return {};
  }
  return BuildHandleOperationList(operations);
}

}  // namespace crash_capture
