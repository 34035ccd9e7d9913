#include "base/file_path.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

struct UnaryCase {
  const wchar_t* input;
  const wchar_t* expected;
};

struct BinaryCase {
  const wchar_t* first;
  const wchar_t* second;
  const wchar_t* expected;
};

TEST(FilePathTest, ConstructionCutsAtFirstNul) {
  const std::wstring with_nul(L"a\0b", 3);
  EXPECT_EQ(L"a", FilePath(with_nul).value());
  EXPECT_EQ(L"a\\x", FilePath(L"a").Append(std::wstring(L"x\0y", 3)).value());
}

TEST(FilePathTest, DirName) {
  const UnaryCase cases[] = {
      {L"", L"."},           {L"a", L"."},          {L"C:\\a", L"C:\\"},
      {L"C:\\", L"C:\\"},     {L"C:", L"C:"},        {L"C:a", L"C:"},
      {L"\\a", L"\\"},       {L"\\\\a", L"\\\\"},   {L"\\\\", L"\\\\"},
      {L"a\\b\\c", L"a\\b"}, {L"a\\b\\\\", L"a"},  {L"a/b/", L"a"},
      {L"///", L"/"},        {L"C:\\\\a", L"C:\\\\"}, {L"C:\\a\\b\\", L"C:\\a"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).DirName().value()) << c.input;
}

TEST(FilePathTest, BaseName) {
  const UnaryCase cases[] = {
      {L"", L""},           {L"C:", L""},         {L"C:\\a\\", L"a"},
      {L"a\\b", L"b"},      {L"\\", L"\\"},       {L"\\\\", L"\\\\"},
      {L"C:\\", L"\\"},     {L"a/b//", L"b"},     {L"C:a", L"a"},
      {L"///", L"/"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).BaseName().value()) << c.input;
}

TEST(FilePathTest, StripTrailingSeparators) {
  const UnaryCase cases[] = {
      {L"", L""},          {L"\\", L"\\"},       {L"\\\\", L"\\\\"},
      {L"\\\\\\", L"\\"},  {L"///", L"/"},       {L"a\\\\", L"a"},
      {L"C:\\", L"C:\\"},  {L"C:\\\\", L"C:\\\\"}, {L"C:\\\\\\", L"C:\\"},
      {L"C:\\a\\", L"C:\\a"}, {L"C:", L"C:"},
  };
  for (const UnaryCase& c : cases) {
    EXPECT_EQ(c.expected, FilePath(c.input).StripTrailingSeparators().value())
        << c.input;
  }
}

TEST(FilePathTest, Extension) {
  const UnaryCase cases[] = {
      {L"x.TAR.GZ", L".TAR.GZ"},  {L"x.abcde.gz", L".gz"},
      {L"x.abcd.gz", L".abcd.gz"}, {L"prefs.user.js", L".user.js"},
      {L"x.a.z", L".a.z"},        {L"x..gz", L".gz"},
      {L"x.tar.bz2", L".tar.bz2"}, {L"..", L""},
      {L".", L""},                {L"noext", L""},
      {L"a.b\\c", L""},           {L".bashrc", L".bashrc"},
      {L"a\\b.txt\\", L".txt"},   {L"x.jpg", L".jpg"},
      {L"x.b.gz.c", L".c"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).Extension()) << c.input;
}

TEST(FilePathTest, RemoveExtension) {
  const UnaryCase cases[] = {
      {L"a\\b.tar.gz", L"a\\b"}, {L"a.b\\c", L"a.b\\c"},
      {L"x.txt", L"x"},          {L"..", L".."},
      {L"noext", L"noext"},
  };
  for (const UnaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).RemoveExtension().value()) << c.input;
}

TEST(FilePathTest, InsertBeforeExtension) {
  const BinaryCase cases[] = {
      {L"a\\b.tar.gz", L" (1)", L"a\\b (1).tar.gz"},
      {L"a.txt", L"", L"a.txt"},
      {L"", L"x", L""},
      {L"..", L"x", L""},
      {L"a\\.", L"x", L""},
      {L"noext", L"_1", L"noext_1"},
  };
  for (const BinaryCase& c : cases) {
    EXPECT_EQ(c.expected,
              FilePath(c.first).InsertBeforeExtension(c.second).value())
        << c.first;
  }
  EXPECT_EQ(L"a (2).txt",
            FilePath(L"a.txt").InsertBeforeExtensionASCII(" (2)").value());
}

TEST(FilePathTest, AddAndReplaceExtension) {
  const BinaryCase add_cases[] = {
      {L"a", L"txt", L"a.txt"},  {L"a", L".txt", L"a.txt"},
      {L"a.", L"txt", L"a.txt"}, {L"a", L"", L"a"},
      {L"a", L".", L"a"},        {L"..", L"txt", L""},
      {L"a.b", L"c", L"a.b.c"},
  };
  for (const BinaryCase& c : add_cases)
    EXPECT_EQ(c.expected, FilePath(c.first).AddExtension(c.second).value());

  const BinaryCase replace_cases[] = {
      {L"a.txt", L"dmp", L"a.dmp"}, {L"a.txt", L".dmp", L"a.dmp"},
      {L"a.txt", L"", L"a"},        {L"a.tar.gz", L"zip", L"a.zip"},
      {L".", L"x", L""},            {L"a", L"x", L"a.x"},
  };
  for (const BinaryCase& c : replace_cases)
    EXPECT_EQ(c.expected, FilePath(c.first).ReplaceExtension(c.second).value());
}

TEST(FilePathTest, MatchesExtension) {
  EXPECT_TRUE(FilePath(L"a.DMP").MatchesExtension(L".dmp"));
  EXPECT_TRUE(FilePath(L"a.tar.gz").MatchesExtension(L".TAR.gz"));
  EXPECT_FALSE(FilePath(L"a.dmp").MatchesExtension(L"dmp"));
  EXPECT_FALSE(FilePath(L"a.dmp").MatchesExtension(L".dm"));
}

TEST(FilePathTest, Append) {
  const BinaryCase cases[] = {
      {L".", L"x", L"x"},         {L"C:", L"x", L"C:x"},
      {L"C:\\", L"x", L"C:\\x"},  {L"a\\", L"b", L"a\\b"},
      {L"a\\\\", L"b", L"a\\b"},  {L"a\\", L"", L"a"},
      {L"", L"b", L"b"},          {L"a", L"C:\\b", L"a\\C:\\b"},
      {L"\\", L"b", L"\\b"},      {L"a/", L"b", L"a\\b"},
  };
  for (const BinaryCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.first).Append(c.second).value()) << c.first;
  EXPECT_EQ(L"a\\b", FilePath(L"a").AppendASCII("b").value());
  EXPECT_EQ(L"a\\b", FilePath(L"a").Append(FilePath(L"b")).value());
}

TEST(FilePathTest, IsAbsolute) {
  EXPECT_FALSE(FilePath(L"\\a").IsAbsolute());
  EXPECT_FALSE(FilePath(L"C:a").IsAbsolute());
  EXPECT_FALSE(FilePath(L"C:").IsAbsolute());
  EXPECT_FALSE(FilePath(L"a").IsAbsolute());
  EXPECT_TRUE(FilePath(L"C:/a").IsAbsolute());
  EXPECT_TRUE(FilePath(L"c:\\").IsAbsolute());
  EXPECT_TRUE(FilePath(L"//a").IsAbsolute());
  EXPECT_TRUE(FilePath(L"\\\\server\\share").IsAbsolute());
}

TEST(FilePathTest, SeparatorHelpers) {
  EXPECT_TRUE(FilePath(L"a\\").EndsWithSeparator());
  EXPECT_TRUE(FilePath(L"a/").EndsWithSeparator());
  EXPECT_FALSE(FilePath(L"").EndsWithSeparator());
  EXPECT_EQ(L"a\\", FilePath(L"a").AsEndingWithSeparator().value());
  EXPECT_EQ(L"a/", FilePath(L"a/").AsEndingWithSeparator().value());
  EXPECT_EQ(L"", FilePath(L"").AsEndingWithSeparator().value());
  EXPECT_EQ(L"a\\b\\c", FilePath(L"a/b\\c").NormalizePathSeparators().value());
}

TEST(FilePathTest, GetComponents) {
  struct Case {
    const wchar_t* path;
    std::vector<std::wstring> expected;
  };
  const Case cases[] = {
      {L"", {}},
      {L"C:\\a\\b", {L"C:", L"\\", L"a", L"b"}},
      {L"a\\b", {L"a", L"b"}},
      {L"\\\\server\\share", {L"\\\\", L"server", L"share"}},
      {L"C:", {L"C:"}},
      {L"a\\..\\b", {L"a", L"..", L"b"}},
      {L"\\", {L"\\"}},
  };
  for (const Case& c : cases) {
    std::vector<std::wstring> components;
    FilePath(c.path).GetComponents(&components);
    EXPECT_EQ(c.expected, components) << c.path;
  }
}

TEST(FilePathTest, ReferencesParent) {
  const struct {
    const wchar_t* path;
    bool expected;
  } cases[] = {
      {L"..", true},        {L"a\\..\\b", true},  {L"a\\ ..\\b", true},
      {L"a\\...\\b", true}, {L"a\\.. \\b", true}, {L"a\\..b", false},
      {L"a..b\\c", false},  {L"a\\.\\b", false},  {L"C:\\a\\b", false},
      {L"a/../b", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.path).ReferencesParent()) << c.path;
}

TEST(FilePathTest, AppendRelativePathAndIsParent) {
  FilePath out(L"X:");
  EXPECT_TRUE(FilePath(L"c:\\a").AppendRelativePath(FilePath(L"C:\\a\\b\\c"),
                                                     &out));
  EXPECT_EQ(L"X:b\\c", out.value());
  EXPECT_TRUE(FilePath(L"C:\\a").IsParent(FilePath(L"C:\\a\\b")));
  EXPECT_FALSE(FilePath(L"C:\\a").IsParent(FilePath(L"C:\\a")));
  EXPECT_FALSE(FilePath(L"C:\\A").IsParent(FilePath(L"C:\\a\\b")));
  EXPECT_FALSE(FilePath(L"").IsParent(FilePath(L"a")));
  EXPECT_FALSE(FilePath(L"C:\\a").IsParent(FilePath(L"D:\\a\\b")));
  EXPECT_TRUE(FilePath(L"\\Device\\HarddiskVolume1")
                  .IsParent(FilePath(L"\\Device\\HarddiskVolume1\\x")));
}

TEST(FilePathTest, EqualityAndCaseInsensitiveCompare) {
  EXPECT_TRUE(FilePath(L"c:\\a") == FilePath(L"C:\\a"));
  EXPECT_TRUE(FilePath(L"C:\\A") != FilePath(L"C:\\a"));
  EXPECT_TRUE(FilePath(L"a") != FilePath(L"A"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"C:\\A", L"c:\\a"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"a", L"ab"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"ab", L"A"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"a", L"B"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"b", L"A"));
  // Non-ASCII letters are upper-cased too.
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"\u00e9", L"\u00c9"));
}

TEST(FilePathTest, AssignmentToItself) {
  FilePath path(L"C:\\a");
  FilePath& alias = path;
  path = alias;
  EXPECT_EQ(L"C:\\a", path.value());
}

TEST(FilePathTest, TextConversions) {
  const FilePath path(L"C:\\\u00e9t\u00e9");
  EXPECT_EQ("C:\\\xc3\xa9t\xc3\xa9", path.AsUTF8Unsafe());
  EXPECT_EQ(path.value(),
            FilePath::FromUTF8Unsafe("C:\\\xc3\xa9t\xc3\xa9").value());
  EXPECT_EQ("", path.MaybeAsASCII());
  EXPECT_EQ("C:\\a", FilePath(L"C:\\a").MaybeAsASCII());
}

}  // namespace
}  // namespace base
