#include "quillavera_crash_reporter/analysis_result_parser.h"

#include <windows.h>

#include <stdio.h>

#include <memory>
#include <string>

#include "quillavera_crash_reporter/json_escape.h"

const wchar_t kDefaultAnalysisText[] =
    L"Crash reason : UNKNOWN, Crash address : 0x0\", "
    L"\"stackTrace\":\"Thread 0 (crashed)\\n 0 UNKNOWN + 0x0\\n\","
    L"\"page\":\"UNKNOWN";

namespace {

// A stack walker gone wrong must not make the reporter hold its whole output:
// a line is cut at this many characters (the rest of it is skipped), and
// nothing past this many bytes of the text is read.
const size_t kMaxLineLength = 64 * 1024;
const size_t kMaxTextBytes = 16 * 1024 * 1024;

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

// Reads the analysis text one line at a time, each byte widened to one
// character (as a wide stream under the default locale reads it).
class AnalysisLineReader {
 public:
  explicit AnalysisLineReader(FILE* file) : file_(file) {}

  // False at the end of the text or of what may be read.
  bool Next(std::wstring* line) {
    line->clear();
    int c = ReadByte();
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = ReadByte()) {
      if (line->size() < kMaxLineLength)
        line->push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return true;
  }

 private:
  int ReadByte() {
    if (bytes_read_ >= kMaxTextBytes) return EOF;
    ++bytes_read_;
    return fgetc(file_);
  }

  FILE* const file_;
  size_t bytes_read_ = 0;
};

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

}  // namespace

void AnalysisResultParser::Parse(std::wstring* message,
                                 std::wstring* crash_info,
                                 const std::wstring& analysis_path,
                                 const std::wstring& process_info) {
  std::unique_ptr<FILE, FileCloser> file(_wfopen(analysis_path.c_str(), L"rb"));
  if (!file) {
    ::OutputDebugStringW(L"crash bi read error: cannot open analyse file.\n");
    message->append(kDefaultAnalysisText);
    return;
  }

  AnalysisLineReader reader(file.get());
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
      found_page_ = true;
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
