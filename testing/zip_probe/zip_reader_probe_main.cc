// Reads zip archives with the zip reader as a driver on the Linux side
// asks, so that archives made by other tools (and hostile ones) can be
// checked against what went into them. One request per line of standard
// input, fields separated by tabs, paths UTF-8; one JSON line per request
// on standard output.

#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "base/string_split.h"
#include "base/utf_string_conversions.h"
#include "testing/crash_common/json_line.h"
#include "testing/zip_probe/whole_file.h"
#include "zip/zip_interface.h"
#include "zip/zip_result.h"

namespace {

using crash_testing::JsonLine;
using zip_probe::ReadWholeFile;

std::wstring Wide(const std::string& utf8) { return base::UTF8ToWide(utf8); }

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

// Opens <archive> as <file|handle|memory>; the memory stays in |bytes|.
ZipHandle Open(const std::string& how, const std::string& archive,
               const std::wstring& base, std::string* bytes) {
  const std::wstring path = Wide(archive);
  const wchar_t* folder = base.empty() ? nullptr : base.c_str();
  if (how == "memory") {
    *bytes = ReadWholeFile(path);
    return ZipOpenReader(bytes->data(), static_cast<uint32_t>(bytes->size()),
                         kZipMemory, folder);
  }
  if (how == "handle") {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ZipHandle zip = ZipOpenReader(file, 0, kZipHandle, folder);
    CloseHandle(file);
    return zip;
  }
  return ZipOpenReader(path.c_str(), 0, kZipFileName, folder);
}

void AddEntry(const ZipEntryW& entry, JsonLine* line) {
  line->Add("index", static_cast<uint64_t>(static_cast<uint32_t>(entry.index)));
  line->Add("name", std::wstring(entry.name));
  line->Add("attributes", static_cast<uint64_t>(entry.attributes));
  line->Add("compressed", static_cast<uint64_t>(entry.compressed_size));
  line->Add("size", static_cast<uint64_t>(entry.uncompressed_size));
  FILETIME utc;
  LocalFileTimeToFileTime(&entry.modification_time, &utc);
  line->Add("modified", Ticks(utc));
  LocalFileTimeToFileTime(&entry.access_time, &utc);
  line->Add("accessed", Ticks(utc));
  LocalFileTimeToFileTime(&entry.creation_time, &utc);
  line->Add("created", Ticks(utc));
}

// list <file|handle|memory> <archive>: every entry, as a JSON array.
void List(ZipHandle zip, JsonLine* line) {
  ZipEntryW whole;
  ZipGetItem(zip, -1, &whole);
  std::string entries = "[";
  for (int i = 0; i < whole.index; ++i) {
    ZipEntryW entry;
    JsonLine item("entry");
    item.Add("result", static_cast<uint64_t>(ZipGetItem(zip, i, &entry)));
    AddEntry(entry, &item);
    if (i) entries += ", ";
    entries += item.Text();
  }
  line->AddRaw("entries", entries + "]");
}

// read <how> <archive> <index> <piece> <out>: memory extraction in pieces.
void ReadToMemory(ZipHandle zip, const std::vector<std::string>& f,
                  JsonLine* line) {
  const int index = std::stoi(f[3]);
  std::vector<char> buffer(std::stoul(f[4]));
  std::string data;
  uint64_t more = 0;
  ZipResult result;
  for (;;) {
    // Zeroed, so a short last piece is found by what the entry's size says.
    std::fill(buffer.begin(), buffer.end(), 0);
    result = ZipUnzipItem(zip, index, buffer.data(),
                          static_cast<uint32_t>(buffer.size()), kZipMemory);
    if (result != kZipMoreData) break;
    ++more;
    data.append(buffer.data(), buffer.size());
  }
  ZipEntryW entry = {};
  ZipGetItem(zip, index, &entry);
  if (entry.uncompressed_size >= 0 &&
      data.size() > static_cast<size_t>(entry.uncompressed_size)) {
    data.resize(entry.uncompressed_size);
  }
  FILE* out = _wfopen(Wide(f[5]).c_str(), L"wb");
  if (out) {
    fwrite(data.data(), 1, data.size(), out);
    fclose(out);
  }
  line->Add("result", static_cast<uint64_t>(result));
  line->Add("more", more);
}

// extract <how> <archive> <base> <index|all> [target] [utf8]: to files.
// With "all", each entry is extracted under its own name.
void Extract(ZipHandle zip, const std::vector<std::string>& f,
             JsonLine* line) {
  const bool utf8 = f.size() > 6 && f[6] == "utf8";
  auto unzip = utf8 ? ZipUnzipItemUtf8 : ZipUnzipItem;
  if (f[4] != "all") {
    const std::wstring target = Wide(f.size() > 5 ? f[5] : "");
    line->Add("result", static_cast<uint64_t>(unzip(
                            zip, std::stoi(f[4]), target.c_str(), 0,
                            kZipFileName)));
    return;
  }
  ZipEntryW whole;
  ZipGetItem(zip, -1, &whole);
  std::string results = "[";
  for (int i = 0; i < whole.index; ++i) {
    ZipEntryW entry = {};
    ZipResult result = ZipGetItem(zip, i, &entry);
    if (result == kZipOk)
      result = unzip(zip, i, entry.name, 0, kZipFileName);
    results += (i ? ", " : "") + std::to_string(result);
  }
  line->AddRaw("results", results + "]");
}

void Handle(const std::vector<std::string>& f) {
  const std::string& verb = f[0];
  JsonLine line(verb.c_str());
  std::string bytes;
  const std::wstring base = verb == "extract" ? Wide(f[3]) : L"";
  ZipHandle zip = f.size() > 2 ? Open(f[1], f[2], base, &bytes) : nullptr;
  line.Add("open", static_cast<uint64_t>(zip::ReaderLastResult()));
  if (zip) {
    if (verb == "list") {
      List(zip, &line);
    } else if (verb == "find") {
      int index = 0;
      ZipEntryW entry = {};
      line.Add("result", static_cast<uint64_t>(ZipFindItem(
                             zip, Wide(f[3]).c_str(), f[4] == "1", &index,
                             &entry)));
      line.Add("index", static_cast<uint64_t>(static_cast<uint32_t>(index)));
    } else if (verb == "read") {
      ReadToMemory(zip, f, &line);
    } else if (verb == "extract") {
      Extract(zip, f, &line);
    } else {
      line.Add("error", std::string("unknown request"));
    }
  }
  char message[256];
  ZipReaderResultMessage(kZipLastResult, message, sizeof(message));
  line.Add("last_message", std::string(message));
  if (zip) ZipCloseReader(zip);
  line.Print();
}

}  // namespace

int main() {
  std::string text;
  while (std::getline(std::cin, text)) {
    std::vector<std::string> fields;
    base::SplitString(text, '\t', &fields);
    if (!fields.empty()) Handle(fields);
  }
  return 0;
}
