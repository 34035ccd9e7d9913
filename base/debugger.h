// Debugger aids used by FATAL records and for diagnosis.

#ifndef BASE_DEBUGGER_H_
#define BASE_DEBUGGER_H_

#include <stdint.h>

namespace base {

bool BeingDebugged();

// Stops at a breakpoint trap. Without a debugger the process ends with the
// breakpoint exception (0x80000003). With debug UI suppressed it ends at once
// with exit code 1.
[[noreturn]] void BreakDebugger();

// Does nothing; passing a stack buffer keeps it alive so that it shows in
// dumps.
void Alias(const void* var);

// Polls for a debugger every 100 ms for |wait_seconds|; breaks in when one
// came and |silent| is false.
bool WaitForDebugger(int wait_seconds, bool silent);

// Starts the system's post-mortem debugger (AeDebug "Debugger") on |pid|.
bool SpawnDebuggerOnProcess(uint32_t process_id);

void SetSuppressDebugUI(bool suppress);
bool IsDebugUISuppressed();

}  // namespace base

#endif  // BASE_DEBUGGER_H_
