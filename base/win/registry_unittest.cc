#include "base/win/registry.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testing/test_support/run_and_capture.h"

namespace base {
namespace win {
namespace {

const wchar_t kRoot[] = L"Software\\QuillaveraRegistryTest";

// Runs the system's own reg.exe, the oracle for what the registry holds.
test_support::CapturedRun RunReg(const std::wstring& arguments) {
  return test_support::RunAndCapture(L"reg.exe " + arguments, true);
}

std::wstring KeyPath(const wchar_t* sub) {
  return std::wstring(L"HKCU\\") + kRoot + L"\\" + sub;
}

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
};

TEST_F(RegistryTest, ReadsWhatRegExeWrote) {
  const std::wstring key = KeyPath(L"FromReg");
  struct Add {
    const wchar_t* arguments;
  } adds[] = {
      {L"/v text /t REG_SZ /d \"plain text\" /f"},
      {L"/v expand /t REG_EXPAND_SZ /d \"%QV_REG_TEST%\\tail\" /f"},
      {L"/v number /t REG_DWORD /d 305419896 /f"},
      {L"/v list /t REG_MULTI_SZ /d \"alpha\\0beta\" /f"},
      {L"/v eight /t REG_BINARY /d 0102030405060708 /f"},
      {L"/v four /t REG_BINARY /d 78563412 /f"},
  };
  for (const Add& add : adds) {
    const test_support::CapturedRun added = RunReg(L"add " + key + L" " + add.arguments);
    ASSERT_EQ(0u, added.exit_code) << added.output;
  }
  SetEnvironmentVariableW(L"QV_REG_TEST", L"C:\\expanded");

  RegKey reg(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\FromReg").c_str(),
             KEY_READ);
  ASSERT_TRUE(reg.Valid());
  EXPECT_EQ(6u, reg.GetValueCount());
  std::wstring text;
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"text", &text));
  EXPECT_EQ(L"plain text", text);
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"expand", &text));
  EXPECT_EQ(L"C:\\expanded\\tail", text);
  DWORD number = 0;
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValueDW(L"number", &number));
  EXPECT_EQ(305419896u, number);
  std::vector<std::wstring> list;
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValues(L"list", &list));
  EXPECT_EQ((std::vector<std::wstring>{L"alpha", L"beta"}), list);
  int64_t eight = 0;
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadInt64(L"eight", &eight));
  EXPECT_EQ(0x0807060504030201ll, eight);
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValueDW(L"four", &number));
  EXPECT_EQ(0x12345678u, number);

  // Wrong types and sizes.
  EXPECT_EQ(ERROR_CANTREAD, reg.ReadValueDW(L"eight", &number));
  EXPECT_EQ(ERROR_CANTREAD, reg.ReadValue(L"number", &text));
  EXPECT_EQ(ERROR_CANTREAD, reg.ReadValues(L"text", &list));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.ReadValue(L"missing", &text));
  EXPECT_FALSE(reg.HasValue(L"missing"));
  EXPECT_TRUE(reg.HasValue(L"text"));
}

TEST_F(RegistryTest, RegExeReadsWhatWeWrote) {
  RegKey reg(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\FromUs").c_str(),
             KEY_ALL_ACCESS);
  ASSERT_TRUE(reg.Valid());
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"text", L"written here"));
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"number", DWORD(0xCAFE)));
  const int64_t wide = 0x1122334455667788ll;
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"wide", &wide, 8, REG_QWORD));
  DWORD number = 0;
  EXPECT_EQ(ERROR_CANTREAD, reg.ReadValueDW(L"wide", &number));

  const test_support::CapturedRun query = RunReg(L"query " + KeyPath(L"FromUs"));
  ASSERT_EQ(0u, query.exit_code) << query.output;
  EXPECT_NE(std::string::npos,
            query.output.find("    text    REG_SZ    written here"))
      << query.output;
  EXPECT_NE(std::string::npos,
            query.output.find("    number    REG_DWORD    0xcafe"))
      << query.output;
  EXPECT_NE(std::string::npos, query.output.find("    wide    REG_QWORD"))
      << query.output;
}

TEST_F(RegistryTest, StringsWithoutTerminatorOrWithAnEarlyOne) {
  RegKey reg(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Raw").c_str(),
             KEY_ALL_ACCESS);
  ASSERT_TRUE(reg.Valid());
  // The byte counts leave the NUL out, as another program may.
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"bare", L"abc", 6, REG_SZ));
  ASSERT_EQ(ERROR_SUCCESS,
            reg.WriteValue(L"early", L"ab\0garbage", 20, REG_SZ));
  // An odd byte count: half a unit at the end, and no terminator that Wine
  // would add either.
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"odd", L"abc", 5, REG_SZ));
  // Nearly the read buffer's 1024 units. (Windows would also hand back
  // 1024 units without a terminator; Wine asks for room to add one.)
  const std::wstring full(1023, L'x');
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"full", full.data(), 2046, REG_SZ));
  const std::wstring over(1025, L'y');
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"over", over.data(), 2050, REG_SZ));
  ASSERT_EQ(ERROR_SUCCESS,
            reg.WriteValue(L"expand", L"%QV_REG_TEST%", 26, REG_EXPAND_SZ));
  SetEnvironmentVariableW(L"QV_REG_TEST", L"value");
  // A list whose last string has no terminator at all.
  ASSERT_EQ(ERROR_SUCCESS, reg.WriteValue(L"list", L"a\0bc", 8, REG_MULTI_SZ));

  std::wstring text;
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"bare", &text));
  EXPECT_EQ(L"abc", text);
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"early", &text));
  EXPECT_EQ(L"ab", text);
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"odd", &text));
  EXPECT_EQ(L"ab", text);
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"full", &text));
  EXPECT_EQ(full, text);
  EXPECT_EQ(ERROR_MORE_DATA, reg.ReadValue(L"over", &text));
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValue(L"expand", &text));
  EXPECT_EQ(L"value", text);
  std::vector<std::wstring> list;
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValues(L"list", &list));
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"bc"}), list);

  // An expansion longer than 1024 units.
  SetEnvironmentVariableW(L"QV_REG_TEST", std::wstring(1500, L'z').c_str());
  EXPECT_EQ(ERROR_MORE_DATA, reg.ReadValue(L"expand", &text));
}

// The list is read in two queries: its size, then its units. A second
// query that fails must say so, not hand back the half-read buffer. A value
// of an odd byte count (written so by another program) makes it fail every
// time: the buffer holds whole units only, a byte short of the value, just
// as when the value grew between the queries.
TEST_F(RegistryTest, ListWhoseSecondQueryFailsIsAnError) {
  RegKey reg(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Lists").c_str(),
             KEY_ALL_ACCESS);
  ASSERT_TRUE(reg.Valid());
  ASSERT_EQ(ERROR_SUCCESS,
            reg.WriteValue(L"odd", L"ab\0cd\0\0", 13, REG_MULTI_SZ));
  std::vector<std::wstring> list = {L"stale"};
  EXPECT_EQ(ERROR_MORE_DATA, reg.ReadValues(L"odd", &list));
  EXPECT_TRUE(list.empty());

  // Nothing to read is the first query's answer, passed on.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.ReadValues(L"missing", &list));
  ASSERT_EQ(ERROR_SUCCESS,
            reg.WriteValue(L"even", L"ab\0cd\0\0", 14, REG_MULTI_SZ));
  ASSERT_EQ(ERROR_SUCCESS, reg.ReadValues(L"even", &list));
  EXPECT_EQ((std::vector<std::wstring>{L"ab", L"cd"}), list);
}

TEST_F(RegistryTest, IteratorsWalkLastToFirst) {
  const std::wstring root = std::wstring(kRoot) + L"\\Walk";
  RegKey reg(HKEY_CURRENT_USER, root.c_str(), KEY_ALL_ACCESS);
  ASSERT_TRUE(reg.Valid());
  for (const wchar_t* name : {L"one", L"two", L"three"}) {
    RegKey sub(reg.Handle(), name, KEY_ALL_ACCESS);
    ASSERT_TRUE(sub.Valid());
  }
  EXPECT_EQ(3u, reg.GetSubKeyCount());
  std::vector<std::wstring> keys;
  for (RegistryKeyIterator it(HKEY_CURRENT_USER, root.c_str()); it.Valid(); ++it)
    keys.push_back(it.Name());
  ASSERT_EQ(3u, keys.size());

  // A value bigger than the iterator's first buffer, and a long name.
  const std::wstring big(700, L'b');
  const std::wstring long_name(300, L'n');
  reg.WriteValue(L"small", L"s");
  reg.WriteValue(long_name.c_str(), big.c_str());
  std::map<std::wstring, std::wstring> values;
  for (RegistryValueIterator it(HKEY_CURRENT_USER, root.c_str()); it.Valid();
       ++it) {
    values[it.Name()] = it.Value();
    EXPECT_EQ(DWORD(REG_SZ), it.Type());
    EXPECT_EQ((wcslen(it.Value()) + 1) * 2, it.ValueSize());
  }
  EXPECT_EQ((std::map<std::wstring, std::wstring>{{long_name, big},
                                                  {L"small", L"s"}}),
            values);
  // The name buffer holds 256 units: the long name does not fit.
  std::vector<LONG> results;
  std::vector<std::wstring> names;
  for (int index = 0; index < 2; ++index) {
    std::wstring name;
    results.push_back(reg.GetValueNameAt(index, &name));
    if (results.back() == ERROR_SUCCESS) names.push_back(name);
  }
  EXPECT_EQ(std::vector<std::wstring>{L"small"}, names);
  EXPECT_EQ(1, std::count(results.begin(), results.end(), ERROR_MORE_DATA));

  RegistryKeyIterator missing(HKEY_CURRENT_USER, L"Software\\NoSuchQvKey");
  EXPECT_FALSE(missing.Valid());
  EXPECT_STREQ(L"", missing.Name());
}

TEST_F(RegistryTest, WatchingAndOwnership) {
  RegKey empty(nullptr, L"anything", KEY_READ);
  EXPECT_FALSE(empty.Valid());

  RegKey reg(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Watch").c_str(),
             KEY_ALL_ACCESS);
  ASSERT_TRUE(reg.Valid());
  EXPECT_FALSE(reg.HasChanged());
  ASSERT_EQ(ERROR_SUCCESS, reg.StartWatching());
  EXPECT_FALSE(reg.HasChanged());
  RegKey other(HKEY_CURRENT_USER, (std::wstring(kRoot) + L"\\Watch").c_str(),
               KEY_ALL_ACCESS);
  other.WriteValue(L"changed", DWORD(1));
  EXPECT_TRUE(reg.HasChanged());
  EXPECT_EQ(ERROR_SUCCESS, reg.StopWatching());
  EXPECT_EQ(ERROR_INVALID_HANDLE, reg.StopWatching());

  HKEY taken = reg.Take();
  EXPECT_FALSE(reg.Valid());
  RegKey adopted(taken);
  DWORD value = 0;
  EXPECT_EQ(ERROR_SUCCESS, adopted.ReadValueDW(L"changed", &value));
  EXPECT_EQ(1u, value);
  EXPECT_EQ(ERROR_SUCCESS, adopted.OpenKey(L"", KEY_READ));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, adopted.OpenKey(L"missing", KEY_READ));
  EXPECT_FALSE(adopted.Valid());
}

}  // namespace
}  // namespace win
}  // namespace base
