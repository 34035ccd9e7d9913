#include "base/file_enumerator.h"

#include <set>
#include <string>

#include "base/file_util.h"
#include "gtest/gtest.h"
#include "testing/test_support/scoped_temp_folder.h"

namespace base {
namespace {

class FileEnumeratorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.valid());
    ASSERT_TRUE(CreateDirectory(dir().Append(L"sub\\deeper")));
    Write(L"one.dmp", "12345");
    Write(L"two.txt", "1");
    Write(L"sub\\three.dmp", "123");
    Write(L"sub\\deeper\\four.txt", "");
  }
  // A walk must leave no handle open, or this fails.
  void TearDown() override { EXPECT_TRUE(Delete(dir(), true)); }

  FilePath dir() const { return FilePath(folder_.path()); }

  void Write(const wchar_t* name, const std::string& data) {
    ASSERT_EQ(static_cast<int>(data.size()),
              WriteFile(dir().Append(name), data.data(),
                        static_cast<int>(data.size())));
  }

  // Names relative to the root. A walk that climbs through ".." would
  // leave the root and roam the host's file system: stop at the first
  // such entry.
  std::set<std::wstring> Walk(bool recursive, int types,
                              const std::wstring& pattern = L"") {
    FileEnumerator walk(dir(), recursive, types, pattern);
    std::set<std::wstring> names;
    for (FilePath entry = walk.Next(); !entry.empty(); entry = walk.Next()) {
      const std::wstring rest = entry.value().substr(dir().value().size() + 1);
      if (rest.find(L"..\\") != std::wstring::npos || names.size() > 100) {
        ADD_FAILURE() << "walked out of the root: " << entry.AsUTF8Unsafe();
        break;
      }
      names.insert(rest);
    }
    return names;
  }

  ScopedTempFolder folder_{L"file_enumerator_test"};
};

TEST_F(FileEnumeratorTest, TypesAndDepth) {
  typedef std::set<std::wstring> Names;
  EXPECT_EQ((Names{L"one.dmp", L"two.txt", L"sub"}),
            Walk(false, FileEnumerator::FILES | FileEnumerator::DIRECTORIES));
  EXPECT_EQ((Names{L"sub", L"sub\\deeper"}),
            Walk(true, FileEnumerator::DIRECTORIES));
  EXPECT_EQ((Names{L"one.dmp", L"two.txt", L"sub\\three.dmp",
                   L"sub\\deeper\\four.txt"}),
            Walk(true, FileEnumerator::FILES));
  EXPECT_EQ((Names{L"one.dmp"}), Walk(false, FileEnumerator::FILES, L"*.dmp"));
  EXPECT_EQ((Names{L"one.dmp", L"two.txt", L"sub", L".."}),
            Walk(false, FileEnumerator::FILES | FileEnumerator::DIRECTORIES |
                            FileEnumerator::INCLUDE_DOT_DOT));
}

TEST_F(FileEnumeratorTest, DotDotIsListedButNeverEntered) {
  typedef std::set<std::wstring> Names;
  EXPECT_EQ((Names{L"..", L"one.dmp", L"two.txt", L"sub", L"sub\\..",
                   L"sub\\three.dmp", L"sub\\deeper", L"sub\\deeper\\..",
                   L"sub\\deeper\\four.txt"}),
            Walk(true, FileEnumerator::FILES | FileEnumerator::DIRECTORIES |
                           FileEnumerator::INCLUDE_DOT_DOT));
}

TEST_F(FileEnumeratorTest, InfoOfTheCurrentEntry) {
  FileEnumerator walk(dir(), false, FileEnumerator::FILES, L"one.dmp");
  EXPECT_EQ(0, walk.GetInfo().GetSize());  // nothing found yet
  EXPECT_TRUE(walk.GetInfo().GetName().empty());
  const FilePath entry = walk.Next();
  EXPECT_EQ(dir().Append(L"one.dmp").value(), entry.value());
  const FileEnumerator::FileInfo info = walk.GetInfo();
  EXPECT_EQ(L"one.dmp", info.GetName().value());
  EXPECT_EQ(5, info.GetSize());
  EXPECT_FALSE(info.IsDirectory());
  PlatformFileInfo facts;
  ASSERT_TRUE(GetFileInfo(entry, &facts));
  EXPECT_EQ(facts.last_modified, info.GetLastModifiedTime());
  EXPECT_TRUE(walk.Next().empty());
  EXPECT_TRUE(walk.Next().empty());
  EXPECT_TRUE(walk.GetInfo().GetName().empty());
}

TEST(FileEnumeratorMissingRootTest, FindsNothing) {
  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  FileEnumerator walk(temp.Append(L"no_such_folder_here"), true,
                      FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  EXPECT_TRUE(walk.Next().empty());
}

}  // namespace
}  // namespace base
