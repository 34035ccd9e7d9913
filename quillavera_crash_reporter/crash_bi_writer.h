// Builds the analytics (BI) records of a handled crash. The writer lives on
// the crash handling flow's stack and keeps only the crashing frame.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_BI_WRITER_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_BI_WRITER_H_

#include <string>

class CrashBiWriter {
 public:
  CrashBiWriter();

  // Appends what the stack walker's text at |analysis_path| says to
  // |message| and |crash_info| (AnalysisResultParser) and keeps the crashing
  // frame as the page.
  void ParseAnalysisResult(std::wstring* message, std::wstring* crash_info,
                           const std::wstring& analysis_path,
                           const std::wstring& process_info);

  void GetCrashPage(std::wstring* page) const;

 private:
  std::wstring page_;
};

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_BI_WRITER_H_
