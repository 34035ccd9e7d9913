#include "quillavera_crash_reporter/crash_bi_writer.h"

CrashBiWriter::CrashBiWriter() {}

void CrashBiWriter::GetCrashPage(std::wstring* page) const { *page = page_; }
