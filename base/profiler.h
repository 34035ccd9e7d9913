// Whether the program was rewritten by a binary instrumenter, and the hooks
// that the instrumenter's agent exports. An instrumented image carries both
// the sections ".thunks" and ".syzygy"; the agent is one of its imports.

#ifndef BASE_PROFILER_H_
#define BASE_PROFILER_H_

namespace base {

// Asked once; the answer is kept.
bool IsBinaryInstrumented();

// Whether the image loaded at |image_base| has both sections.
bool IsImageInstrumented(const void* image_base);

// The agent's hooks when the program is instrumented; null otherwise or when
// no import exports them.
const void* GetProfilerAddDynamicSymbolFunc();
const void* GetProfilerDynamicFunctionEntryHookFunc();
const void* GetProfilerMoveDynamicSymbolFunc();
const void* GetProfilerReturnAddrResolutionFunc();

// Walks the imports of the image at |image_base| and asks, for each imported
// module, the loaded module holding its first imported function for the
// export |function_name|. The first hit, or null.
const void* FindFunctionInImports(const void* image_base,
                                  const char* function_name);

}  // namespace base

#endif  // BASE_PROFILER_H_
