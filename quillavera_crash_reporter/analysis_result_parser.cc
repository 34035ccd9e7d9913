// Reads the stack walker's text (CR LF lines, one byte per character) into
// the crash BI record texts.

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "quillavera_crash_reporter/bi_records.h"
#include "quillavera_crash_reporter/crash_bi_writer.h"

const wchar_t kDefaultAnalysisText[] =
    L"Crash reason : UNKNOWN, Crash address : 0x0\", "
    L"\"stackTrace\":\"Thread 0 (crashed)\\n 0 UNKNOWN + 0x0\\n\","
    L"\"page\":\"UNKNOWN";

namespace {

// The analysis text as lines, each byte widened to one character (as a wide
// stream under the default locale reads it). False when it cannot be opened.
bool ReadAnalysisLines(const std::wstring& path,
                       std::vector<std::wstring>* lines) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  std::wstring line;
  bool pending = false;
  int c;
  while ((c = fgetc(file)) != EOF) {
    if (c == '\n') {
      lines->push_back(line);
      line.clear();
      pending = false;
      continue;
    }
    line.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    pending = true;
  }
  if (pending) lines->push_back(line);
  fclose(file);
  return true;
}

bool Contains(const std::wstring& text, const wchar_t* part) {
  return text.find(part) != std::wstring::npos;
}

// The line without its CR. A line without one is kept whole: what ends it is
// then a real character.
std::wstring WithoutCr(const std::wstring& line) {
  if (!line.empty() && line.back() == L'\r') {
    return line.substr(0, line.size() - 1);
  }
  return line;
}

// The same, escaped for the JSON string it goes into.
std::wstring Piece(const std::wstring& line) {
  return JsonEscape(WithoutCr(line));
}

// The frame's module part: from 4 past the first " 0  " (3 when there is
// none), (position of the last " + ") - 6 characters long, or to the end
// when that is longer. So " 0  abcdef.dll + 0x1f" gives "abcdef.d".
std::wstring PageOf(const std::wstring& frame) {
  size_t start = frame.find(L" 0  ") + 4;  // npos + 4 is 3
  if (start > frame.size()) return std::wstring();
  size_t length = frame.rfind(L" + ") - 6;  // wraps to "the rest" when short
  return frame.substr(start, length);
}

class AnalysisReader {
 public:
  explicit AnalysisReader(std::vector<std::wstring> lines)
      : lines_(std::move(lines)), next_(0) {}
  bool Next(std::wstring* line) {
    if (next_ >= lines_.size()) return false;
    *line = lines_[next_++];
    return true;
  }

 private:
  std::vector<std::wstring> lines_;
  size_t next_;
};

}  // namespace

void CrashBiWriter::ParseAnalysisResult(std::wstring* message,
                                        std::wstring* crash_info,
                                        const std::wstring& analysis_path,
                                        const std::wstring& process_info) {
  std::vector<std::wstring> lines;
  if (!ReadAnalysisLines(analysis_path, &lines)) {
    ::OutputDebugStringW(L"crash bi read error: cannot open analyse file.\n");
    message->append(kDefaultAnalysisText);
    return;
  }

  AnalysisReader reader(std::move(lines));
  bool reason_seen = false;
  bool address_seen = false;
  bool stack_done = false;
  std::wstring line;
  while (reader.Next(&line)) {
    if (!reason_seen && Contains(line, L"Crash reason:")) {
      message->append(Piece(line) + L",");
      crash_info->append(Piece(line) + L",");
      reason_seen = true;
      continue;
    }
    if (!address_seen && Contains(line, L"Crash address:")) {
      message->append(Piece(line) + L"\", ");
      address_seen = true;
      continue;
    }
    if (stack_done) break;
    if (!Contains(line, L"(crashed)")) continue;

    const std::wstring thread = Piece(line);
    crash_info->append(thread + L",");
    std::wstring frame;
    if (reader.Next(&frame)) {
      page_ = PageOf(WithoutCr(frame));
      frame = Piece(frame);
      message->append(L"\"page\": \"" + JsonEscape(page_) + L"\", ");
      crash_info->append(frame + L",");
    }
    message->append(L"\"stackTrace\": \"" + thread + L"\\n " + frame + L"\\n ");
    std::wstring more;
    while (reader.Next(&more) && !Contains(more, L"Found by")) {
      message->append(Piece(more) + L",");
    }
    stack_done = true;
    if (!process_info.empty()) message->append(L"\\n " + process_info);
  }
}
