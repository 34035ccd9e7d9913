#include "quillavera_crash_reporter/crash_bi_writer.h"

#include "quillavera_crash_reporter/analysis_result_parser.h"

CrashBiWriter::CrashBiWriter() {}

void CrashBiWriter::ParseAnalysisResult(std::wstring* message,
                                        std::wstring* crash_info,
                                        const std::wstring& analysis_path,
                                        const std::wstring& process_info) {
  AnalysisResultParser parser;
  parser.Parse(message, crash_info, analysis_path, process_info);
  if (parser.found_page()) page_ = parser.page();
}

void CrashBiWriter::GetCrashPage(std::wstring* page) const { *page = page_; }
