// Builds the analytics (BI) records of a handled crash. The writer lives on
// the crash handling flow's stack and keeps only the crashing frame.

#ifndef QUILLAVERA_CRASH_REPORTER_CRASH_BI_WRITER_H_
#define QUILLAVERA_CRASH_REPORTER_CRASH_BI_WRITER_H_

#include <string>

// What the message holds when the analysis text cannot be read.
extern const wchar_t kDefaultAnalysisText[];

class CrashBiWriter {
 public:
  CrashBiWriter();

  // Picks the crash reason, the crash address, the crashing frame and the
  // crashing thread's stack out of the stack walker's text at
  // |analysis_path| and appends them to |message| and |crash_info|; sets the
  // page. The lines go in escaped for the JSON strings they stand in;
  // |process_info|, which follows the stack in |message|, is taken as it is
  // (escaped by the caller). Never fails: short or malformed lines give
  // shorter texts.
  void ParseAnalysisResult(std::wstring* message, std::wstring* crash_info,
                           const std::wstring& analysis_path,
                           const std::wstring& process_info);

  void GetCrashPage(std::wstring* page) const;

 private:
  std::wstring page_;
};

#endif  // QUILLAVERA_CRASH_REPORTER_CRASH_BI_WRITER_H_
