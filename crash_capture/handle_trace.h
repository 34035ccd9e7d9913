// The handle-operation list of an invalid-handle crash, as the application
// verifier recorded it, for the dump's handle-operation stream.
#ifndef CRASH_CAPTURE_HANDLE_TRACE_H_
#define CRASH_CAPTURE_HANDLE_TRACE_H_

#include <windows.h>
// After windows.h, which it needs.
#include <avrfsdk.h>

#include <cstdint>
#include <vector>

namespace crash_capture {

static_assert(sizeof(AVRF_HANDLE_OPERATION) == 288, "verifier record layout");

constexpr DWORD kStatusInvalidHandle = 0xC0000008;
constexpr ULONG kHandleOperationBadRef = 3;

// The operations on the handle of the last bad-reference operation, behind
// the stream's 16-byte header; empty when there was no bad reference.
std::vector<uint8_t> BuildHandleOperationList(
    const std::vector<AVRF_HANDLE_OPERATION>& operations);

// The list for the exception at |exception_pointers| (an address in
// |process|). Empty when the crash is not an invalid-handle one, or when the
// verifier is not there or cannot tell: the dump is written without it.
std::vector<uint8_t> CollectHandleTrace(HANDLE process,
                                        uint64_t exception_pointers);

}  // namespace crash_capture

#endif  // CRASH_CAPTURE_HANDLE_TRACE_H_
