// Answers one request per line of standard input with the base library's
// file, time and system-information calls, so that a driver on the Linux
// side can check the results against the host. Fields are separated by
// tabs; paths are UTF-8.

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_enumerator.h"
#include "base/file_path.h"
#include "base/file_util.h"
#include "base/platform_file.h"
#include "base/sys_info.h"
#include "base/sys_info_cpu.h"
#include "base/sys_info_windows_version.h"
#include "base/time.h"

namespace {

using base::FilePath;

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos)
      return fields;
    start = tab + 1;
  }
}

FilePath PathArg(const std::string& utf8) {
  return FilePath::FromUTF8Unsafe(utf8);
}

bool IsLocal(const std::string& zone) { return zone == "local"; }

std::string Explode(const std::vector<std::string>& f) {
  base::Time::Exploded e;
  base::Time::FromInternalValue(std::stoll(f[2])).Explode(IsLocal(f[1]), &e);
  std::ostringstream out;
  out << e.year << ' ' << e.month << ' ' << e.day_of_week << ' '
      << e.day_of_month << ' ' << e.hour << ' ' << e.minute << ' ' << e.second
      << ' ' << e.millisecond;
  return out.str();
}

std::string FromExploded(const std::vector<std::string>& f) {
  base::Time::Exploded e;
  e.year = std::stoi(f[2]);
  e.month = std::stoi(f[3]);
  e.day_of_week = std::stoi(f[4]);
  e.day_of_month = std::stoi(f[5]);
  e.hour = std::stoi(f[6]);
  e.minute = std::stoi(f[7]);
  e.second = std::stoi(f[8]);
  e.millisecond = std::stoi(f[9]);
  return std::to_string(
      base::Time::FromExploded(IsLocal(f[1]), e).ToInternalValue());
}

// Reads |from| whole, twice (by string and by one sized read) and writes
// each copy out.
std::string CopyThroughMemory(const std::vector<std::string>& f) {
  std::string contents;
  const bool read_ok = base::ReadFileToString(PathArg(f[1]), &contents);
  const int written = base::WriteFile(PathArg(f[2]), contents.data(),
                                      static_cast<int>(contents.size()));
  int64_t size = -1;
  base::GetFileSize(PathArg(f[1]), &size);
  std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 1));
  const int read = base::ReadFile(PathArg(f[1]), buffer.data(),
                                  static_cast<int>(size));
  const int written_again =
      base::WriteFile(PathArg(f[3]), buffer.data(), read < 0 ? 0 : read);
  std::ostringstream out;
  out << read_ok << ' ' << written << ' ' << size << ' ' << read << ' '
      << written_again;
  return out.str();
}

std::string Enumerate(const std::vector<std::string>& f) {
  const bool recursive = f[2] == "1";
  const int types = std::stoi(f[3]);
  std::wstring pattern;
  if (f.size() > 4)
    pattern = PathArg(f[4]).value();
  base::FileEnumerator enumerator(PathArg(f[1]), recursive, types, pattern);
  std::ostringstream out;
  // A walk that went through ".." would roam the host's whole file
  // system (Z: is its root): stop it at the first sign.
  const size_t kMaxEntries = 10000;
  size_t entries = 0;
  for (FilePath entry = enumerator.Next(); !entry.empty();
       entry = enumerator.Next()) {
    if (++entries > kMaxEntries ||
        entry.value().find(L"\\..\\") != std::wstring::npos) {
      out << "ESCAPED\t" << entry.AsUTF8Unsafe() << "\t0\n";
      break;
    }
    out << (enumerator.GetInfo().IsDirectory() ? 'D' : 'F') << '\t'
        << entry.AsUTF8Unsafe() << '\t' << enumerator.GetInfo().GetSize()
        << '\n';
  }
  out << "END";
  return out.str();
}

std::string OpenPlatformFile(const std::vector<std::string>& f) {
  bool created = true;
  base::PlatformFileError error = base::PLATFORM_FILE_OK;
  base::PlatformFile file = base::CreatePlatformFile(
      PathArg(f[1]), std::stoi(f[2]), &created, &error);
  const bool valid = file != base::kInvalidPlatformFileValue && file != nullptr;
  if (valid)
    base::ClosePlatformFile(file);
  std::ostringstream out;
  out << valid << ' ' << created << ' ' << error;
  return out.str();
}

std::string WriteAtOffset(const std::vector<std::string>& f) {
  base::PlatformFile file = base::CreatePlatformFile(
      PathArg(f[1]),
      base::PLATFORM_FILE_OPEN_ALWAYS | base::PLATFORM_FILE_WRITE |
          (f[4] == "async" ? base::PLATFORM_FILE_ASYNC : 0),
      nullptr, nullptr);
  if (file == base::kInvalidPlatformFileValue)
    return "-1";
  const int written = base::WritePlatformFile(
      file, std::stoll(f[2]), f[3].data(), static_cast<int>(f[3].size()));
  base::ClosePlatformFile(file);
  return std::to_string(written);
}

// A handle held open without sharing between requests.
base::PlatformFile g_held_file = base::kInvalidPlatformFileValue;

std::string Hold(const std::vector<std::string>& f) {
  if (g_held_file != base::kInvalidPlatformFileValue)
    base::ClosePlatformFile(g_held_file);
  g_held_file = base::CreatePlatformFile(
      PathArg(f[1]),
      base::PLATFORM_FILE_OPEN | base::PLATFORM_FILE_READ |
          base::PLATFORM_FILE_EXCLUSIVE_READ |
          base::PLATFORM_FILE_EXCLUSIVE_WRITE,
      nullptr, nullptr);
  return std::to_string(g_held_file != base::kInvalidPlatformFileValue);
}

std::string Release() {
  const bool closed = base::ClosePlatformFile(g_held_file);
  g_held_file = base::kInvalidPlatformFileValue;
  return std::to_string(closed);
}

std::string CpuFacts() {
  base::CPU cpu;
  std::ostringstream out;
  out << base::SysInfo::NumberOfProcessors() << '\t' << cpu.vendor_name()
      << '\t' << cpu.cpu_brand() << '\t' << cpu.family() << '\t'
      << cpu.model() << '\t' << cpu.stepping() << '\t' << cpu.has_mmx()
      << cpu.has_sse() << cpu.has_sse2() << cpu.has_sse3() << cpu.has_ssse3()
      << cpu.has_sse41() << cpu.has_sse42() << cpu.has_avx() << '\t'
      << base::SysInfo::AmountOfPhysicalMemory() << '\t'
      << base::GetWindowsVersion() << '\t' << base::SysInfo::CPUModelName();
  return out.str();
}

std::string Answer(const std::vector<std::string>& f) {
  const std::string& command = f[0];
  if (command == "explode")
    return Explode(f);
  if (command == "fromexploded")
    return FromExploded(f);
  if (command == "now")
    return std::to_string(base::Time::Now().ToUnixEpochMs());
  if (command == "readstring") {
    std::string contents;
    const bool ok = base::ReadFileToString(PathArg(f[1]), &contents);
    return std::to_string(ok) + " " + std::to_string(contents.size());
  }
  if (command == "copy")
    return CopyThroughMemory(f);
  if (command == "enum")
    return Enumerate(f);
  if (command == "delete")
    return std::to_string(base::Delete(PathArg(f[1]), f[2] == "1"));
  if (command == "copyfile")
    return std::to_string(base::CopyFile(PathArg(f[1]), PathArg(f[2])));
  if (command == "copyfileunsafe")
    return std::to_string(base::CopyFileUnsafe(PathArg(f[1]), PathArg(f[2])));
  if (command == "move")
    return std::to_string(base::Move(PathArg(f[1]), PathArg(f[2])));
  if (command == "moveunsafe")
    return std::to_string(base::MoveUnsafe(PathArg(f[1]), PathArg(f[2])));
  if (command == "copyanddelete")
    return std::to_string(
        base::CopyAndDeleteDirectory(PathArg(f[1]), PathArg(f[2])));
  if (command == "copydir")
    return std::to_string(
        base::CopyDirectory(PathArg(f[1]), PathArg(f[2]), true));
  if (command == "createdir")
    return std::to_string(base::CreateDirectory(PathArg(f[1])));
  if (command == "pfopen")
    return OpenPlatformFile(f);
  if (command == "pfwrite")
    return WriteAtOffset(f);
  if (command == "hold")
    return Hold(f);
  if (command == "release")
    return Release();
  if (command == "cpu")
    return CpuFacts();
  return "unknown command";
}

}  // namespace

int main() {
  // Plain "\n" line ends for the driver.
  _setmode(_fileno(stdout), _O_BINARY);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    const std::string answer = Answer(SplitTabs(line));
    // One block per request, ended by a line of its own.
    fwrite(answer.data(), 1, answer.size(), stdout);
    fputs("\n.\n", stdout);
    fflush(stdout);
  }
  return 0;
}
