#include "zip/zip_interface.h"

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"
#include "zip/zip_handle_record.h"

namespace {

std::string Message(ZipResult code, uint32_t size) {
  char buffer[128];
  memset(buffer, '#', sizeof(buffer));
  ZipResultMessage(code, buffer, size);
  return std::string(buffer, strnlen(buffer, sizeof(buffer)));
}

TEST(ZipResultMessageTest, TableTextsAndTruncation) {
  const struct {
    ZipResult code;
    const char* text;
  } kCases[] = {
      {0, "Success"},
      {0x100, "Culdn't duplicate handle"},
      {0x200, "Couldn't create/open file"},
      {0x800, "Error reading file"},
      {0x30000, "Caller: not enough space allocated for memory zipfile"},
      {0x40000, "Caller: there was a previous error"},
      {0x5000000, "Zip-bug: an internal error during flation"},
      {0x900, "unknown zip result code"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.text, Message(c.code, 128)) << std::hex << c.code;
    EXPECT_EQ(strlen(c.text), ZipResultMessage(c.code, nullptr, 0));
  }
  char buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(7u, ZipResultMessage(0, buffer, 4));
  EXPECT_STREQ("Suc", buffer);
  buffer[0] = '#';
  EXPECT_EQ(7u, ZipResultMessage(0, buffer, 0));
  EXPECT_EQ('#', buffer[0]);
}

TEST(ZipResultMessageTest, CodeOneIsTheWritersLastResult) {
  ZipHandle zip = ZipCreate(nullptr, 64, kZipMemory);
  ASSERT_TRUE(zip);
  EXPECT_EQ(kZipOpenFailed, ZipAddEntry(zip, L"a.txt",
                                        L"Z:\\no\\such\\file.txt", 0,
                                        kZipFileName));
  EXPECT_EQ("Couldn't create/open file", Message(kZipLastResult, 128));
  EXPECT_EQ(kZipOk, ZipCloseWriter(zip));
  EXPECT_EQ("Success", Message(kZipLastResult, 128));
}

TEST(ZipHandleTest, WrongHandlesAreRefused) {
  EXPECT_EQ(kZipBadArguments, ZipAddEntry(nullptr, L"a", "x", 1, kZipMemory));
  EXPECT_EQ(kZipBadArguments, ZipCloseWriter(nullptr));
  const void* data = &data;
  uint32_t size = 5;
  EXPECT_EQ(kZipBadArguments, ZipGetMemory(nullptr, &data, &size));
  EXPECT_EQ(nullptr, data);
  EXPECT_EQ(0u, size);
  EXPECT_TRUE(IsZipWriterHandle(nullptr));

  // A reader's handle is neither used nor freed by the writer's calls.
  ZipHandleRecord reader = {kZipReaderHandleKind, nullptr};
  EXPECT_FALSE(IsZipWriterHandle(&reader));
  EXPECT_EQ(kZipWrongSide, ZipAddEntry(&reader, L"a", "x", 1, kZipMemory));
  EXPECT_EQ(kZipWrongSide, ZipGetMemory(&reader, &data, &size));
  EXPECT_EQ(kZipWrongSide, ZipCloseWriter(&reader));
  EXPECT_EQ(kZipReaderHandleKind, reader.kind);

  ZipHandle writer = ZipCreate(nullptr, 16, kZipMemory);
  ASSERT_TRUE(writer);
  EXPECT_TRUE(IsZipWriterHandle(writer));
  EXPECT_EQ(kZipWrongSide, ZipCloseReader(writer));
  EXPECT_EQ(kZipBadArguments, ZipCloseReader(nullptr));
  EXPECT_EQ(kZipOk, ZipCloseWriter(writer));
}

TEST(ZipCreateTest, RefusedTargets) {
  const struct {
    const void* target;
    uint32_t length;
    ZipSourceKind kind;
    ZipResult result;
  } kCases[] = {
      {nullptr, 0, kZipMemory, kZipMemorySize},
      {nullptr, 16, kZipFolder, kZipBadArguments},
      {nullptr, 16, 7, kZipBadArguments},
      {nullptr, 0, kZipHandle, kZipDuplicateFailed},
      // The current process's pseudo-handle: no archive can go there.
      {INVALID_HANDLE_VALUE, 0, kZipHandle, kZipDuplicateFailed},
      {L"Z:\\no\\such\\folder\\a.zip", 0, kZipFileName, kZipOpenFailed},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(nullptr, ZipCreate(c.target, c.length, c.kind)) << c.kind;
    EXPECT_EQ(c.result, zip::WriterLastResult()) << c.kind;
  }
  // A handle that is not a file, a pipe or a device.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(event);
  EXPECT_EQ(nullptr, ZipCreate(event, 0, kZipHandle));
  EXPECT_EQ(kZipDuplicateFailed, zip::WriterLastResult());
  CloseHandle(event);
}

TEST(ZipAddEntryTest, RefusedEntriesLeaveTheArchiveUsable) {
  ZipHandle zip = ZipCreate(nullptr, 1, kZipMemory);
  ASSERT_TRUE(zip);
  const std::wstring longest_file(259, L'n');
  const std::wstring longest_folder(258, L'f');
  const struct {
    std::wstring name;
    const void* source;
    uint32_t length;
    ZipSourceKind kind;
    ZipResult result;
  } kCases[] = {
      {L"", "x", 1, kZipMemory, kZipBadArguments},
      {L"a", "x", 1, 5, kZipBadArguments},
      {L"a", nullptr, 1, kZipMemory, kZipBadArguments},
      {L"a", "x", 0, kZipMemory, kZipBadArguments},
      {L"a", nullptr, 0, kZipHandle, kZipBadArguments},
      // What the entry record cannot hold.
      {longest_file + L"n", "x", 1, kZipMemory, kZipBadArguments},
      {longest_folder + L"f", nullptr, 0, kZipFolder, kZipBadArguments},
      {std::wstring(600, L'n'), "x", 1, kZipMemory, kZipBadArguments},
      {longest_file, "x", 1, kZipMemory, kZipOk},
      {longest_folder, nullptr, 0, kZipFolder, kZipOk},
      // Past 4 GiB: refused before a byte is read.
      {L"huge", "x", 0xFFFFFF00u, kZipMemory, kZipTooLarge},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.result,
              ZipAddEntry(zip, c.name.c_str(), c.source, c.length, c.kind))
        << c.name.size() << " " << c.kind;
  }
  EXPECT_EQ(kZipOk, ZipAddEntry(zip, L"b", "yz", 2, kZipMemory));
  const void* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(kZipOk, ZipGetMemory(zip, &data, &size));
  ASSERT_TRUE(data);
  // Three entries, and the end record says so.
  const uint8_t* end = static_cast<const uint8_t*>(data) + size - 22;
  EXPECT_EQ(0, memcmp(end, "PK\x05\x06", 4));
  EXPECT_EQ(3, end[10] | end[11] << 8);
  EXPECT_EQ(kZipEnded, ZipAddEntry(zip, L"c", "x", 1, kZipMemory));
  EXPECT_EQ(kZipOk, ZipCloseWriter(zip));
}

// One entry's name as each of its two records stores it.
struct StoredEntryName {
  std::string local_name;
  uint16_t local_flags;
  std::string central_name;
  uint16_t central_flags;
};

uint16_t Read16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Read32(const uint8_t* p) {
  return Read16(p) | static_cast<uint32_t>(Read16(p + 2)) << 16;
}

// The names of an archive written to seekable memory (no descriptors):
// the local headers one after another, the central records from the end
// record.
std::vector<StoredEntryName> StoredNames(const uint8_t* data, uint32_t size) {
  std::vector<StoredEntryName> names;
  const uint8_t* end = data + size - 22;
  const uint16_t count = Read16(end + 10);
  const uint8_t* central = data + Read32(end + 16);
  const uint8_t* local = data;
  for (uint16_t i = 0; i < count; ++i) {
    StoredEntryName name;
    const uint16_t local_name_length = Read16(local + 26);
    name.local_flags = Read16(local + 6);
    name.local_name.assign(reinterpret_cast<const char*>(local) + 30,
                           local_name_length);
    local += 30 + local_name_length + Read16(local + 28) + Read32(local + 18);
    const uint16_t central_name_length = Read16(central + 28);
    name.central_flags = Read16(central + 8);
    name.central_name.assign(reinterpret_cast<const char*>(central) + 46,
                             central_name_length);
    central += 46 + central_name_length + Read16(central + 30) +
               Read16(central + 32);
    names.push_back(name);
  }
  return names;
}

// Names the ANSI code page (1252 here) holds exactly keep their form; any
// other is UTF-8 with flag bit 11 in both records, so that "中文.log" and
// "日本.log" stay two names, and "Ŝimon.log" does not become "Simon.log".
TEST(ZipAddEntryTest, NamesTheCodePageLacksAreStoredAsUtf8) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects the code page 1252";
  const struct {
    const wchar_t* name;
    ZipSourceKind kind;
    const char* stored;
    bool utf8;
  } kCases[] = {
      {L"\u4e2d\u6587.log", kZipMemory, "\xe4\xb8\xad\xe6\x96\x87.log", true},
      {L"\u65e5\u672c.log", kZipMemory, "\xe6\x97\xa5\xe6\x9c\xac.log", true},
      {L"\u015cimon.log", kZipMemory, "\xc5\x9cimon.log", true},
      {L"Simon.log", kZipMemory, "Simon.log", false},
      {L"caf\u00e9.log", kZipMemory, "caf\xe9.log", false},
      {L"logs\\\u65e5\u672c\\a.gz", kZipMemory,
       "logs/\xe6\x97\xa5\xe6\x9c\xac/a.gz", true},
      {L"\u6587\u4ef6\u5939", kZipFolder,
       "\xe6\x96\x87\xe4\xbb\xb6\xe5\xa4\xb9/", true},
  };
  ZipHandle zip = ZipCreate(nullptr, 64, kZipMemory);
  ASSERT_TRUE(zip);
  for (const auto& c : kCases) {
    EXPECT_EQ(kZipOk, ZipAddEntry(zip, c.name, "data", 4, c.kind)) << c.stored;
  }
  // A lone surrogate has no faithful form: refused, the archive usable.
  EXPECT_EQ(kZipBadArguments, ZipAddEntry(zip, L"\xd800.log", "x", 1,
                                          kZipMemory));
  const void* data = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(kZipOk, ZipGetMemory(zip, &data, &size));
  const std::vector<StoredEntryName> names =
      StoredNames(static_cast<const uint8_t*>(data), size);
  ASSERT_EQ(sizeof(kCases) / sizeof(kCases[0]), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    const uint16_t flag = kCases[i].utf8 ? 0x800 : 0;
    EXPECT_EQ(kCases[i].stored, names[i].local_name);
    EXPECT_EQ(kCases[i].stored, names[i].central_name);
    EXPECT_EQ(flag, names[i].local_flags & 0x800) << kCases[i].stored;
    EXPECT_EQ(flag, names[i].central_flags & 0x800) << kCases[i].stored;
  }
  EXPECT_EQ(kZipOk, ZipCloseWriter(zip));
}

TEST(ZipGetMemoryTest, FileArchiveGivesItsLengthOnly) {
  ScopedTempFolder folder(L"zip_get_memory");
  ASSERT_TRUE(folder.valid());
  const std::wstring path = folder.Path(L"zip_get_memory.zip");
  ZipHandle zip = ZipCreate(path.c_str(), 0, kZipFileName);
  ASSERT_TRUE(zip);
  const void* data = &data;
  uint32_t size = 0;
  EXPECT_EQ(kZipNotMemory, ZipGetMemory(zip, &data, &size));
  EXPECT_EQ(nullptr, data);
  // Only the end record of an archive without entries.
  EXPECT_EQ(22u, size);
  EXPECT_EQ(kZipOk, ZipCloseWriter(zip));
}

}  // namespace
