// Runs the reporter's dump analysis and parsing the way the crash handling
// flow does, for the whole-program tests:
//   analyse_dump_probe <dump> <result text> [process information]
// prints "analyse=<result>", "analyse_ms=<time the analysis took>" and, when
// the analyser ran, the parsed "message=", "crash_info=" and "page=" lines
// in UTF-8. A dump of "-" skips the analysis: the result text is parsed as
// it stands (or is missing).

#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include <string>

#include "base/utf_string_conversions.h"
#include "quillavera_crash_reporter/crash_bi_writer.h"
#include "quillavera_crash_reporter/dump_analysis.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: analyse_dump_probe <dump> <result> [info]\n");
    return 2;
  }
  const ULONGLONG started = GetTickCount64();
  const bool parse_only = wcscmp(argv[1], L"-") == 0;
  int result = parse_only ? 0 : AnalyseDump(argv[1], argv[2]);
  printf("analyse=%d\nanalyse_ms=%llu\n", result,
         static_cast<unsigned long long>(GetTickCount64() - started));
  if (result != 0) return 0;

  CrashBiWriter writer;
  std::wstring message, crash_info, page;
  writer.ParseAnalysisResult(&message, &crash_info, argv[2],
                             argc > 3 ? argv[3] : L"");
  writer.GetCrashPage(&page);
  printf("message=%s\n", base::WideToUTF8(message).c_str());
  printf("crash_info=%s\n", base::WideToUTF8(crash_info).c_str());
  printf("page=%s\n", base::WideToUTF8(page).c_str());
  return 0;
}
