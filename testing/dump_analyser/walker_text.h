// The stand-in stack walker's text for one parsed minidump: the lines the
// reporter reads ("Crash reason:", "Crash address:", the crashed thread with
// its frames and "Found by" lines) and the loaded modules.

#ifndef TESTING_DUMP_ANALYSER_WALKER_TEXT_H_
#define TESTING_DUMP_ANALYSER_WALKER_TEXT_H_

#include <stdint.h>

#include <string>

#include "testing/dump_analyser/minidump_reader.h"

// The walker's name for an exception: "EXCEPTION_ACCESS_VIOLATION_WRITE"
// and the like, or the code in hexadecimal when it has none.
std::string CrashReasonName(uint32_t code,
                            const std::vector<uint64_t>& parameters);

std::string MakeWalkerText(const Minidump& dump);

#endif  // TESTING_DUMP_ANALYSER_WALKER_TEXT_H_
