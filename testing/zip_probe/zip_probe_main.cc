// Makes zip archives with the zip interface, and collects crash data, as a
// driver on the Linux side asks, so that independent readers can check the
// archives. One request per line of standard input, fields separated by
// tabs, paths UTF-8; one JSON line per request on standard output.

#include <windows.h>

#include <stdio.h>

#include <iostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/string_split.h"
#include "base/win/scoped_handle.h"
#include "base/utf_string_conversions.h"
#include "quillavera_crash_reporter/crash_data_collection.h"
#include "testing/crash_common/json_line.h"
#include "testing/zip_probe/whole_file.h"
#include "zip/zip_interface.h"

namespace {

using crash_testing::JsonLine;
using zip_probe::ReadWholeFile;
using zip_probe::WriteWholeFile;

std::wstring Wide(const std::string& utf8) { return base::UTF8ToWide(utf8); }

// An anonymous pipe: the probe's end is a handle that is not a disk file,
// the other end is served by a thread.
struct PipeEnd {
  HANDLE ours = nullptr;
  std::thread peer;
};

// The archive goes into a pipe; a thread drains it into |path|.
void DrainPipeToFile(HANDLE read_end, std::wstring path) {
  std::string data;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(read_end, chunk, sizeof(chunk), &got, nullptr) && got)
    data.append(chunk, got);
  CloseHandle(read_end);
  WriteWholeFile(path, data.data(), data.size());
}

void FeedPipe(HANDLE write_end, std::string data) {
  DWORD written = 0;
  WriteFile(write_end, data.data(), static_cast<DWORD>(data.size()), &written,
            nullptr);
  CloseHandle(write_end);
}

class Probe {
 public:
  ~Probe() {
    if (zip_) ZipClose(zip_);
    FinishPipeTarget();
  }

  void Handle(const std::vector<std::string>& f) {
    const std::string& verb = f[0];
    JsonLine line(verb.c_str());
    if (verb == "create") {
      Create(f, &line);
    } else if (verb == "add") {
      line.Add("result", static_cast<uint64_t>(Add(f)));
    } else if (verb == "addmany") {
      AddMany(f, &line);
    } else if (verb == "folders") {
      const std::wstring relative = Wide(f[2]);
      line.Add("ok", ZipAddFolderContent(zip_, Wide(f[1]).c_str(),
                                         f[2] == "-" ? nullptr
                                                     : relative.c_str()));
    } else if (verb == "getmem") {
      GetMemory(f, &line);
    } else if (verb == "close") {
      line.Add("result", static_cast<uint64_t>(ZipClose(zip_)));
      zip_ = nullptr;
      FinishPipeTarget();
    } else if (verb == "hold") {
      Hold(f, &line);
    } else if (verb == "append") {
      // What the holder goes on writing, at the file's end.
      DWORD written = 0;
      line.Add("ok", !held_.empty() &&
                         SetFilePointer(held_.back().Get(), 0, nullptr,
                                        FILE_END) != INVALID_SET_FILE_POINTER &&
                         WriteFile(held_.back().Get(), f[1].data(),
                                   static_cast<DWORD>(f[1].size()), &written,
                                   nullptr) &&
                         written == f[1].size());
    } else if (verb == "release") {
      held_.clear();
    } else if (verb == "collect") {
      Collect(f, &line);
    } else {
      line.Add("error", std::string("unknown request"));
    }
    char message[256];
    ZipResultMessage(kZipLastResult, message, sizeof(message));
    line.Add("last_message", std::string(message));
    line.Print();
  }

 private:
  // create file <path> | handle <path> <bytes before> | pipe <path>
  // | memory <length> <own|alloc>
  void Create(const std::vector<std::string>& f, JsonLine* line) {
    const std::string& kind = f[1];
    if (kind == "file") {
      zip_ = ZipCreate(Wide(f[2]).c_str(), 0, kZipFileName);
    } else if (kind == "handle") {
      HANDLE file = CreateFileW(Wide(f[2]).c_str(),
                                GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      const std::string before(std::stoul(f[3]), 'x');
      DWORD written = 0;
      WriteFile(file, before.data(), static_cast<DWORD>(before.size()),
                &written, nullptr);
      zip_ = ZipCreate(file, 0, kZipHandle);
      CloseHandle(file);
    } else if (kind == "pipe") {
      HANDLE read_end = nullptr;
      HANDLE write_end = nullptr;
      CreatePipe(&read_end, &write_end, nullptr, 0);
      pipe_target_ = std::thread(DrainPipeToFile, read_end, Wide(f[2]));
      zip_ = ZipCreate(write_end, 0, kZipHandle);
      CloseHandle(write_end);
    } else if (kind == "memory") {
      const uint32_t length = std::stoul(f[2]);
      if (f[3] == "own") {
        own_memory_.assign(length, 0);
        zip_ = ZipCreate(own_memory_.data(), length, kZipMemory);
      } else {
        zip_ = ZipCreate(nullptr, length, kZipMemory);
      }
    } else {
      zip_ = ZipCreate(f.size() > 2 ? f[2].c_str() : nullptr, 0,
                       std::stoul(kind));
    }
    line->Add("ok", zip_ != nullptr);
  }

  // add file <name> <path> | handle <name> <path> <read|write>
  // | memory <name> <path> | memlen <name> <length> | pipe <name> <path>
  // <length> | folder <name> | kind <name> <kind>
  ZipResult Add(const std::vector<std::string>& f) {
    const std::string& kind = f[1];
    const std::wstring name = Wide(f[2]);
    if (kind == "file") {
      return ZipAddEntry(zip_, name.c_str(), Wide(f[3]).c_str(), 0,
                         kZipFileName);
    }
    if (kind == "handle") {
      const DWORD access = f[4] == "write" ? GENERIC_WRITE : GENERIC_READ;
      HANDLE file = CreateFileW(Wide(f[3]).c_str(), access,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      const ZipResult result =
          ZipAddEntry(zip_, name.c_str(), file, 0, kZipHandle);
      CloseHandle(file);
      return result;
    }
    if (kind == "memory") {
      const std::string data = ReadWholeFile(Wide(f[3]));
      return ZipAddEntry(zip_, name.c_str(), data.data(),
                         static_cast<uint32_t>(data.size()), kZipMemory);
    }
    if (kind == "memlen") {
      // Refused before a byte is read, or the probe reads out of bounds.
      static const char one_byte = 0;
      return ZipAddEntry(zip_, name.c_str(), &one_byte, std::stoul(f[3]),
                         kZipMemory);
    }
    if (kind == "pipe") {
      HANDLE read_end = nullptr;
      HANDLE write_end = nullptr;
      CreatePipe(&read_end, &write_end, nullptr, 0);
      std::thread feeder(FeedPipe, write_end, ReadWholeFile(Wide(f[3])));
      const ZipResult result = ZipAddEntry(zip_, name.c_str(), read_end,
                                           std::stoul(f[4]), kZipHandle);
      // Drains what the writer left, so that the feeder ends.
      char chunk[4096];
      DWORD got = 0;
      while (ReadFile(read_end, chunk, sizeof(chunk), &got, nullptr) && got) {
      }
      feeder.join();
      CloseHandle(read_end);
      return result;
    }
    if (kind == "folder")
      return ZipAddEntry(zip_, name.c_str(), nullptr, 0, kZipFolder);
    return ZipAddEntry(zip_, name.c_str(), nullptr, 0, std::stoul(f[3]));
  }

  // hold <path> [access] [share]: opens an existing file the way another
  // process holds it, until "release". Access and share are letters of
  // "rwd" (read, write, delete), "-" for no sharing; by default "w" and
  // "rw", as a client holds its log.
  void Hold(const std::vector<std::string>& f, JsonLine* line) {
    const std::string access = f.size() > 2 ? f[2] : "w";
    const std::string share = f.size() > 3 ? f[3] : "rw";
    DWORD access_mask = 0;
    DWORD share_mask = 0;
    for (char letter : access) {
      if (letter == 'r') access_mask |= GENERIC_READ;
      if (letter == 'w') access_mask |= GENERIC_WRITE;
      if (letter == 'd') access_mask |= DELETE;
    }
    for (char letter : share) {
      if (letter == 'r') share_mask |= FILE_SHARE_READ;
      if (letter == 'w') share_mask |= FILE_SHARE_WRITE;
      if (letter == 'd') share_mask |= FILE_SHARE_DELETE;
    }
    base::win::ScopedHandle file(CreateFileW(
        Wide(f[1]).c_str(), access_mask, share_mask, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    line->Add("ok", file.IsValid());
    if (file.IsValid()) held_.push_back(std::move(file));
  }

  // addmany <count>: folder entries "d<i>" until one fails.
  void AddMany(const std::vector<std::string>& f, JsonLine* line) {
    const unsigned long count = std::stoul(f[1]);
    unsigned long added = 0;
    ZipResult result = kZipOk;
    for (; added < count; ++added) {
      const std::wstring name = L"d" + std::to_wstring(added);
      result = ZipAddEntry(zip_, name.c_str(), nullptr, 0, kZipFolder);
      if (result != kZipOk) break;
    }
    line->Add("added", static_cast<uint64_t>(added));
    line->Add("result", static_cast<uint64_t>(result));
  }

  // getmem <path to save the archive>
  void GetMemory(const std::vector<std::string>& f, JsonLine* line) {
    const void* data = nullptr;
    uint32_t size = 0;
    const ZipResult result = ZipGetMemory(zip_, &data, &size);
    line->Add("result", static_cast<uint64_t>(result));
    line->Add("size", static_cast<uint64_t>(size));
    line->Add("data", data != nullptr);
    if (data) WriteWholeFile(Wide(f[1]), data, size);
  }

  // collect <zip> <hours> <file|folder|required>:<path>...
  void Collect(const std::vector<std::string>& f, JsonLine* line) {
    CrashZipFileList list;
    for (size_t i = 3; i < f.size(); ++i) {
      const std::string::size_type colon = f[i].find(':');
      const std::wstring path = Wide(f[i].substr(colon + 1));
      if (f[i].compare(0, colon, "folder") == 0) {
        list.AddFolder(path);
      } else if (f[i].compare(0, colon, "required") == 0) {
        list.AddRequiredFile(path);
      } else {
        list.AddFile(path);
      }
    }
    bool holds_required = false;
    line->Add("ok", CollectFilesIntoZip(list, Wide(f[1]), std::stoul(f[2]),
                                        &holds_required));
    line->Add("holds_required", holds_required);
  }

  void FinishPipeTarget() {
    if (pipe_target_.joinable()) pipe_target_.join();
  }

  ZipHandle zip_ = nullptr;
  std::vector<char> own_memory_;
  std::thread pipe_target_;
  std::vector<base::win::ScopedHandle> held_;
};

}  // namespace

int main() {
  Probe probe;
  std::string line;
  while (std::getline(std::cin, line)) {
    std::vector<std::string> fields;
    base::SplitString(line, '\t', &fields);
    if (!fields.empty()) probe.Handle(fields);
  }
  return 0;
}
