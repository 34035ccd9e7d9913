#include "zip/zip_reader.h"

#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"
#include "zip/zip_handle_record.h"
#include "zip/zip_interface.h"

namespace {

// An archive made by our own writer in memory.
std::string WriteArchive(
    const std::vector<std::pair<std::wstring, std::string>>& files) {
  ZipHandle writer = ZipCreate(nullptr, 64, kZipMemory);
  EXPECT_TRUE(writer);
  for (const auto& file : files) {
    if (file.second == "/") {
      EXPECT_EQ(kZipOk, ZipAddEntry(writer, file.first.c_str(), nullptr, 0,
                                    kZipFolder));
    } else {
      EXPECT_EQ(kZipOk,
                ZipAddEntry(writer, file.first.c_str(), file.second.data(),
                            static_cast<uint32_t>(file.second.size()),
                            kZipMemory));
    }
  }
  const void* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(kZipOk, ZipGetMemory(writer, &data, &size));
  std::string archive(static_cast<const char*>(data), size);
  ZipCloseWriter(writer);
  return archive;
}

// A reader of |archive| in memory, extracting below |base|.
ZipHandle OpenInMemory(const std::string& archive, const std::wstring& base) {
  return ZipOpenReader(archive.data(), static_cast<uint32_t>(archive.size()),
                       kZipMemory, base.c_str());
}

std::string Noise(size_t size) {
  std::string text;
  uint32_t state = 12345;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text += (state >> 24) < 128 ? "log line " : std::string(1, char(state >> 16));
  }
  return text.substr(0, size);
}

// Reads entry |index| to memory |piece| bytes at a time.
ZipResult ReadToMemory(ZipHandle zip, int index, size_t piece,
                       std::string* out, int* more_calls) {
  std::vector<char> buffer(piece);
  *more_calls = 0;
  for (;;) {
    memset(buffer.data(), 0, piece);
    const ZipResult result = ZipUnzipItem(zip, index, buffer.data(),
                                          static_cast<uint32_t>(piece),
                                          kZipMemory);
    if (result != kZipMoreData) return result;
    ++*more_calls;
    // Pieces are whole until the last one.
    out->append(buffer.data(), piece);
  }
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data(GetFileSize(file, nullptr), '\0');
  DWORD got = 0;
  ReadFile(file, &data[0], static_cast<DWORD>(data.size()), &got, nullptr);
  CloseHandle(file);
  return data;
}

TEST(ZipReaderTest, ListsFindsAndReadsOurOwnArchive) {
  const std::string big = Noise(100000);
  const std::string archive = WriteArchive(
      {{L"logs", "/"}, {L"logs\\a.txt", "hello"}, {L"Data.BIN", big}});
  ZipHandle zip =
      ZipOpenReader(archive.data(), static_cast<uint32_t>(archive.size()),
                    kZipMemory, nullptr);
  ASSERT_TRUE(zip);
  EXPECT_TRUE(IsZipReaderHandle(zip));
  EXPECT_FALSE(IsZipWriterHandle(zip));

  ZipEntry whole;
  EXPECT_EQ(kZipOk, ZipGetItem(zip, -1, &whole));
  EXPECT_EQ(3, whole.index);
  EXPECT_STREQ("", whole.name);

  ZipEntryW entry;
  ASSERT_EQ(kZipOk, ZipGetItem(zip, 0, &entry));
  EXPECT_STREQ(L"logs/", entry.name);
  EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_EQ(kZipOk, ZipGetItem(zip, 1, &entry));
  EXPECT_STREQ(L"logs/a.txt", entry.name);
  EXPECT_EQ(5, entry.uncompressed_size);
  EXPECT_FALSE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(kZipBadArguments, ZipGetItem(zip, 3, &entry));
  EXPECT_EQ(kZipBadArguments, ZipGetItem(zip, -2, &entry));

  int index = 7;
  ZipEntry found;
  EXPECT_EQ(kZipNotFound, ZipFindItem(zip, L"data.bin", false, &index, &found));
  EXPECT_EQ(-1, index);
  EXPECT_EQ(kZipOk, ZipFindItem(zip, L"data.bin", true, &index, &found));
  EXPECT_EQ(2, index);
  EXPECT_STREQ("Data.BIN", found.name);
  EXPECT_EQ(100000, found.uncompressed_size);
  EXPECT_LT(found.compressed_size, found.uncompressed_size);
  EXPECT_EQ(kZipNotFound,
            ZipFindItem(zip, std::wstring(256, L'a').c_str(), true, &index,
                        &found));

  // A piece size that does not divide the entry: 0x600 per piece, then 0.
  std::string data;
  int more = 0;
  EXPECT_EQ(kZipOk, ReadToMemory(zip, 2, 4096, &data, &more));
  EXPECT_EQ(25, more);
  data.resize(big.size());
  EXPECT_TRUE(data == big);
  char message[64];
  ZipReaderResultMessage(kZipLastResult, message, sizeof(message));
  EXPECT_STREQ("Success", message);
  EXPECT_EQ(kZipOk, ZipCloseReader(zip));
}

// Flips a byte in the data of the single entry "a" (stored, so the byte is
// the data itself): the CRC no longer matches.
TEST(ZipReaderTest, MemoryExtractionReportsABadCrc) {
  ScopedTempFolder temp(L"zip-crc");
  ASSERT_TRUE(temp.valid());
  std::string archive = WriteArchive({{L"a.zip", "abcdefgh"}});
  const size_t at = archive.find("abcdefgh");
  ASSERT_NE(std::string::npos, at);
  archive[at + 3] = 'X';
  ZipHandle zip =
      ZipOpenReader(archive.data(), static_cast<uint32_t>(archive.size()),
                    kZipMemory, nullptr);
  ASSERT_TRUE(zip);
  std::string data;
  int more = 0;
  EXPECT_EQ(kZipCorrupt, ReadToMemory(zip, 0, 3, &data, &more));
  EXPECT_EQ(3, more);
  const std::wstring folder = temp.path() + L"\\";
  ZipCloseReader(zip);
  zip = ZipOpenReader(archive.data(), static_cast<uint32_t>(archive.size()),
                      kZipMemory, folder.c_str());
  EXPECT_EQ(kZipWriteFailed, ZipUnzipItem(zip, 0, L"a.zip", 0, kZipFileName));
  ZipCloseReader(zip);
}

TEST(ZipReaderTest, ExtractsFilesAndFoldersOnlyBelowTheBaseFolder) {
  const std::string archive = WriteArchive(
      {{L"sub\\deeper", "/"}, {L"sub\\f.txt", "file data"}});
  // The base folder sits one level down in a fresh folder, so a file that
  // escapes it lands where the test can see it and is removed with the rest.
  ScopedTempFolder temp(L"zip-extract");
  ASSERT_TRUE(temp.valid());
  const std::wstring base = temp.Path(L"base") + L"\\";
  ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
  const std::wstring escaped = base + L"..\\up.txt";
  ZipHandle zip =
      ZipOpenReader(archive.data(), static_cast<uint32_t>(archive.size()),
                    kZipMemory, base.c_str());
  ASSERT_TRUE(zip);
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 0, L"ignored", 0, kZipFileName));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((base + L"sub\\deeper").c_str()));
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 1, L"x/y/out.txt", 0, kZipFileName));
  EXPECT_EQ("file data", ReadFileBytes(base + L"x\\y\\out.txt"));

  const wchar_t* kEscapes[] = {L"..\\up.txt", L"x/../../up.txt", L"/abs.txt",
                               L"\\abs.txt", L"C:up.txt", L"x\\..",
                               L""};
  for (const wchar_t* target : kEscapes) {
    EXPECT_EQ(kZipBadArguments, ZipUnzipItem(zip, 1, target, 0, kZipFileName))
        << target;
  }
  EXPECT_EQ("<missing>", ReadFileBytes(escaped));

  // To a handle: the bytes, and nothing for a folder entry.
  const std::wstring copy = base + L"copy.txt";
  HANDLE file = CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 0, file, 0, kZipHandle));
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 1, file, 0, kZipHandle));
  CloseHandle(file);
  EXPECT_EQ("file data", ReadFileBytes(copy));
  EXPECT_EQ(kZipOk, ZipCloseReader(zip));
}

// Names marked UTF-8 (flag bit 11) read back as they went in, in every
// form: described, found, and extracted under their own names.
TEST(ZipReaderTest, ReadsUtf8NamesBack) {
  if (GetACP() != 1252) GTEST_SKIP() << "expects the code page 1252";
  const std::wstring chinese = L"\u4e2d\u6587.log";
  const std::wstring folder = L"\u6587\u4ef6\u5939";
  const std::string archive = WriteArchive({{chinese, "one"},
                                            {L"\u65e5\u672c.log", "two"},
                                            {L"caf\u00e9.log", "three"},
                                            {folder, "/"}});
  ScopedTempFolder temp(L"zip-utf8-names");
  ASSERT_TRUE(temp.valid());
  const std::wstring base = temp.path() + L"\\";
  ZipHandle zip = OpenInMemory(archive, base);
  ASSERT_TRUE(zip);
  ZipEntryW wide;
  ASSERT_EQ(kZipOk, ZipGetItem(zip, 0, &wide));
  EXPECT_EQ(chinese, wide.name);
  ASSERT_EQ(kZipOk, ZipGetItem(zip, 2, &wide));
  EXPECT_EQ(L"caf\u00e9.log", std::wstring(wide.name));
  // The ANSI form shows what the code page lacks as '?'.
  ZipEntry narrow;
  ASSERT_EQ(kZipOk, ZipGetItem(zip, 0, &narrow));
  EXPECT_STREQ("??.log", narrow.name);
  ASSERT_EQ(kZipOk, ZipGetItem(zip, 2, &narrow));
  EXPECT_STREQ("caf\xe9.log", narrow.name);

  int index = -1;
  EXPECT_EQ(kZipOk, ZipFindItem(zip, L"\u65e5\u672c.LOG", true, &index,
                                &wide));
  EXPECT_EQ(1, index);
  EXPECT_EQ(kZipOk, ZipFindItem(zip, L"CAF\u00e9.log", true, &index, &narrow));
  EXPECT_EQ(2, index);
  // Only ASCII letters fold; and the look-alike is another name.
  EXPECT_EQ(kZipNotFound, ZipFindItem(zip, L"CAF\u00c9.log", true, &index,
                                      &wide));
  EXPECT_EQ(kZipNotFound, ZipFindItem(zip, L"??.log", false, &index, &wide));

  ASSERT_EQ(kZipOk, ZipGetItem(zip, 0, &wide));
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 0, wide.name, 0, kZipFileName));
  EXPECT_EQ("one", ReadFileBytes(base + chinese));
  // The ANSI form of extraction takes a marked folder name as UTF-8 too.
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 3, L"ignored", 0, kZipFileName));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW((base + folder).c_str()));
  EXPECT_EQ(kZipOk, ZipCloseReader(zip));
}

// What one reader extracts in all stays within its limit, whatever the
// kind: the entry that would pass it is refused before anything of it is
// written, and smaller ones still fit.
TEST(ZipReaderTest, BoundsWhatIsExtractedInAll) {
  const std::string piece(1000, 'z');
  const std::string archive =
      WriteArchive({{L"a.txt", piece}, {L"b.txt", piece}, {L"c.txt", piece},
                    {L"small.txt", std::string(400, 's')}});
  ScopedTempFolder temp(L"zip-extraction-limit");
  ASSERT_TRUE(temp.valid());
  const std::wstring base = temp.path() + L"\\";
  ZipHandle zip = OpenInMemory(archive, base);
  ASSERT_TRUE(zip);
  ASSERT_EQ(kZipOk, ZipSetExtractionLimit(zip, 2500));
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 0, L"a.txt", 0, kZipFileName));
  std::string data;
  int more = 0;
  EXPECT_EQ(kZipOk, ReadToMemory(zip, 1, 300, &data, &more));
  // 2000 taken: a third 1000 would pass 2500, in any kind.
  EXPECT_EQ(kZipExtractionLimit,
            ZipUnzipItem(zip, 2, L"c.txt", 0, kZipFileName));
  EXPECT_EQ("<missing>", ReadFileBytes(base + L"c.txt"));
  char buffer[16];
  EXPECT_EQ(kZipExtractionLimit,
            ZipUnzipItem(zip, 2, buffer, sizeof(buffer), kZipMemory));
  const std::wstring handle_target = base + L"by_handle.txt";
  HANDLE file = CreateFileW(handle_target.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(kZipExtractionLimit, ZipUnzipItem(zip, 2, file, 0, kZipHandle));
  CloseHandle(file);
  EXPECT_EQ("", ReadFileBytes(handle_target));
  char message[96];
  ZipReaderResultMessage(kZipLastResult, message, sizeof(message));
  EXPECT_STREQ("Caller: unzipping would pass the limit on what is extracted",
               message);
  EXPECT_EQ(kZipOk, ZipUnzipItem(zip, 3, L"small.txt", 0, kZipFileName));
  EXPECT_EQ(std::string(400, 's'), ReadFileBytes(base + L"small.txt"));
  // Now 2400: the same small entry once more would pass it.
  EXPECT_EQ(kZipExtractionLimit,
            ZipUnzipItem(zip, 3, L"again.txt", 0, kZipFileName));
  EXPECT_EQ(kZipOk, ZipCloseReader(zip));

  EXPECT_EQ(kZipBadArguments, ZipSetExtractionLimit(nullptr, 1));
  ZipHandle writer = ZipCreate(nullptr, 16, kZipMemory);
  EXPECT_EQ(kZipWrongSide, ZipSetExtractionLimit(writer, 1));
  ZipCloseWriter(writer);
}

TEST(ZipReaderTest, RefusesWrongHandlesAndSources) {
  ZipHandle writer = ZipCreate(nullptr, 16, kZipMemory);
  ZipEntry entry;
  EXPECT_EQ(kZipWrongSide, ZipGetItem(writer, 0, &entry));
  EXPECT_EQ(kZipWrongSide, ZipCloseReader(writer));
  EXPECT_EQ(kZipBadArguments, ZipGetItem(nullptr, 0, &entry));
  EXPECT_TRUE(IsZipReaderHandle(nullptr));
  EXPECT_FALSE(IsZipReaderHandle(writer));
  ZipCloseWriter(writer);

  EXPECT_EQ(nullptr, ZipOpenReader(L"Z:\\no\\such.zip", 0, kZipFileName,
                                   nullptr));
  EXPECT_EQ(kZipOpenFailed, zip::ReaderLastResult());
  EXPECT_EQ(nullptr, ZipOpenReader("PK\5\6", 4, kZipMemory, nullptr));
  EXPECT_EQ(kZipCorrupt, zip::ReaderLastResult());
  const std::string no_end(5000, 'x');
  EXPECT_EQ(nullptr, ZipOpenReader(no_end.data(), 5000, kZipMemory, nullptr));
  EXPECT_EQ(kZipCorrupt, zip::ReaderLastResult());
  EXPECT_EQ(nullptr, ZipOpenReader(no_end.data(), 5000, kZipFolder, nullptr));
  EXPECT_EQ(kZipBadArguments, zip::ReaderLastResult());
  HANDLE read_end = nullptr, write_end = nullptr;
  CreatePipe(&read_end, &write_end, nullptr, 0);
  EXPECT_EQ(nullptr, ZipOpenReader(read_end, 0, kZipHandle, nullptr));
  EXPECT_EQ(kZipSeekUnseekable, zip::ReaderLastResult());
  CloseHandle(read_end);
  CloseHandle(write_end);
}

}  // namespace
