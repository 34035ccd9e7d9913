#include "upload/jov_upload_file_info.h"

#include <windows.h>

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace valmora {
namespace {

JovUploadParams ParamsFor(const std::wstring& path) {
  JovUploadParams params;
  params.file_path = path;
  return params;
}

TEST(JovUploadFileInfoTest, DescribesTheFileByItsName) {
  struct Case {
    const wchar_t* path;
    bool allow_package;
    const char* name;
    const char* extension;
    const char* type;
  } cases[] = {
      {L"C:\\d\\crash_data_1.ZIP", true, "crash_data_1", "zip", "package"},
      {L"C:\\d\\crash_data_1.zip", false, "crash_data_1", "zip", "other"},
      {L"C:\\d\\photo.JPG", true, "photo", "jpeg", "image"},
      {L"C:/d/scan.tif", true, "scan", "tiff", "image"},
      {L"pic.bm", true, "pic", "bmp", "image"},
      {L"C:\\d\\song.Flac", true, "song", "flac", "audio"},
      {L"C:\\d\\quillavera.log", true, "quillavera", "log", "txt"},
      {L"C:\\d\\README", true, "README", "", "other"},
      // A dot in a folder name is no extension.
      {L"C:\\v1.2\\README", true, "README", "", "other"},
      {L"C:\\v1.2/data\\archive.tar.zip", true, "archive.tar", "zip",
       "package"},
      {L"C:\\d\\Gr\u00fc\u00dfe.txt", true, "Gr\xC3\xBC\xC3\x9F" "e", "txt",
       "txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    JovUploadFileInfo info(ParamsFor(c.path), c.allow_package);
    EXPECT_EQ(c.name, info.GetName());
    EXPECT_EQ(c.extension, info.GetExtension());
    EXPECT_EQ(c.type, info.GetType());
  }
}

TEST(JovUploadFileInfoTest, ValuesAreKeptById) {
  JovUploadFileInfo info(ParamsFor(L"x.zip"), true);
  EXPECT_EQ("", info.GetValue(0));
  info.SetValue(0, "token");
  info.SetValue(4, "ctx");
  info.SetValue(4, "ctx2");
  EXPECT_EQ("token", info.GetValue(0));
  EXPECT_EQ("ctx2", info.GetValue(4));
  EXPECT_EQ("", info.GetValue(3));
}

TEST(JovFileStreamTest, ReadsSeeksAndReportsErrors) {
  ScopedTempFolder folder(L"jov_file_stream_test");
  ASSERT_TRUE(folder.valid());
  const std::wstring path = folder.Path(L"jov_file_stream_test.bin");
  ASSERT_EQ(10, base::WriteFile(base::FilePath(path), "0123456789", 10));

  JovFileStream stream(path);
  EXPECT_EQ(kJovStreamNotOpen, stream.Size());
  EXPECT_EQ(kJovStreamNotOpen, stream.Seek(0));
  ASSERT_EQ(0, stream.Open());
  EXPECT_EQ(10, stream.Size());
  EXPECT_EQ(4, stream.Seek(4));
  char buffer[16];
  EXPECT_EQ(3, stream.Read(buffer, 3));
  EXPECT_EQ("456", std::string(buffer, 3));
  EXPECT_EQ(3, stream.Read(buffer, sizeof(buffer)));
  EXPECT_EQ(0, stream.Read(buffer, sizeof(buffer)));
  EXPECT_EQ(-1, stream.Seek(-1));
  EXPECT_NE(0, stream.LastError());
  stream.Close();
  EXPECT_EQ(kJovStreamNotOpen, stream.Size());

  JovFileStream missing(path + L".gone");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, missing.Open());
}

}  // namespace
}  // namespace valmora
