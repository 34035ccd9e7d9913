// Reads the stack walker's text (CR LF lines, one byte per character) and
// picks out the crash reason, the crash address, the crashing frame and the
// crashing thread's stack for the crash BI records.

#ifndef QUILLAVERA_CRASH_REPORTER_ANALYSIS_RESULT_PARSER_H_
#define QUILLAVERA_CRASH_REPORTER_ANALYSIS_RESULT_PARSER_H_

#include <string>

// What the message holds when the analysis text cannot be read.
extern const wchar_t kDefaultAnalysisText[];

class AnalysisResultParser {
 public:
  AnalysisResultParser() = default;
  AnalysisResultParser(const AnalysisResultParser&) = delete;
  AnalysisResultParser& operator=(const AnalysisResultParser&) = delete;

  // Appends what the text at |analysis_path| says to |message| and
  // |crash_info|; |process_info| follows the stack in |message|. Never
  // fails: short or malformed lines give shorter texts.
  void Parse(std::wstring* message, std::wstring* crash_info,
             const std::wstring& analysis_path,
             const std::wstring& process_info);

  // Whether the crashing frame was found, and its module part.
  bool found_page() const { return found_page_; }
  const std::wstring& page() const { return page_; }

 private:
  bool found_page_ = false;
  std::wstring page_;
};

#endif  // QUILLAVERA_CRASH_REPORTER_ANALYSIS_RESULT_PARSER_H_
