// Has the external stack walker "dump_analyser.exe" (beside the reporter)
// turn a dump into an analysis text.

#ifndef QUILLAVERA_CRASH_REPORTER_DUMP_ANALYSIS_H_
#define QUILLAVERA_CRASH_REPORTER_DUMP_ANALYSIS_H_

#include <string>

enum AnalyseDumpResult {
  ANALYSE_DUMP_STARTED = 0,
  ANALYSE_DUMP_NO_MODULE_FOLDER = 1,
  ANALYSE_DUMP_NO_ANALYSER = 2,
  ANALYSE_DUMP_NO_DUMP = 3,
  // Any other value: GetLastError of the failed start.
};

// Runs `cmd /c dump_analyser.exe -c "<dump>" > "<result>"` hidden in the
// module folder and waits, at most 5 s, until the walker is done: until it
// signals "DumpAnalyserEventHandler" and cmd has finished writing the text.
int AnalyseDump(const std::wstring& dump_path, const std::wstring& result_path);

// The running executable's folder; "" when unknown.
std::wstring GetModuleFolder();

#endif  // QUILLAVERA_CRASH_REPORTER_DUMP_ANALYSIS_H_
