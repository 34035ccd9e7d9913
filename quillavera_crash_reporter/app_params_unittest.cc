#include "quillavera_crash_reporter/app_params.h"

#include <string>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "testing/crash_common/temp_app_data.h"

namespace {

const char kValid[] =
    "// written by the client\n"
    "{\"appChannel\": \"stable\", \"appVersion\": \"3.2.1\",\n"
    " \"appPlatform\": \"win64\", \"buildVersion\": \"3201\",\n"
    " \"patchVersion\": \"7\", \"host\": \"127.0.0.1:8080\",\n"
    " \"model\": \"XPS\", \"brand\": \"Dell\", \"osVersion\": \"10.0\",\n"
    " \"startTime\": \"2026-12-10T09:00:00\", \"GPU\": \"Iris\",\n"
    " \"extra\": [1, 2]}\n";

const char* const kKeys[] = {"appChannel", "appVersion", "appPlatform",
                             "buildVersion", "patchVersion", "host",
                             "model", "brand", "osVersion", "startTime",
                             "GPU"};

CrashInfoParams ValidParams() {
  return {{"appChannel", "stable"},    {"appVersion", "3.2.1"},
          {"appPlatform", "win64"},    {"buildVersion", "3201"},
          {"patchVersion", "7"},       {"host", "127.0.0.1:8080"},
          {"model", "XPS"},            {"brand", "Dell"},
          {"osVersion", "10.0"},       {"startTime", "2026-12-10T09:00:00"},
          {"GPU", "Iris"}};
}

// The valid file with |key|'s member replaced by |json| (removed when
// |json| is null).
std::string WithMember(const std::string& key, const char* json) {
  std::string text = kValid;
  const std::string name = "\"" + key + "\": ";
  const size_t start = text.find(name);
  const size_t end = text.find_first_of(",}", text.find('"', start + name.size() + 1));
  if (json) return text.replace(start + name.size(), end - start - name.size(), json);
  return text.replace(start, end + 1 - start, "");
}

// The valid parameters up to, not including, |key|.
CrashInfoParams ParamsBefore(const std::string& key) {
  CrashInfoParams all = ValidParams(), before;
  for (const char* k : kKeys) {
    if (key == k) break;
    before[k] = all[k];
  }
  return before;
}

class AppParamsTest : public TempAppDataTest {
 protected:
  void SetUp() override {
    TempAppDataTest::SetUp();
    ASSERT_TRUE(base::CreateDirectory(base::FilePath(GetDumpsFolder())));
  }
  void Write(const std::string& bytes) {
    ASSERT_EQ(static_cast<int>(bytes.size()),
              base::WriteFile(base::FilePath(GetDumpsFolder() + L"\\appParam"),
                              bytes.data(), static_cast<int>(bytes.size())));
  }
};

TEST_F(AppParamsTest, TableOfFiles) {
  struct Case {
    std::string name;
    std::string file;
    bool ok;
    CrashInfoParams params;
  };
  std::vector<Case> cases = {
      {"valid", kValid, true, ValidParams()},
      {"empty", "", false, {{"stale", "kept"}}},
      {"not json", "appChannel=stable", false, {}},
      {"array root", "[\"stable\"]", false, {}},
      {"string root", "\"stable\"", false, {}},
      {"cut short", std::string(kValid, 40), false, {}},
      {"nul inside", std::string("{\"a\":\0}", 7), false, {}},
      {"deep nesting", std::string(5000, '[') + std::string(5000, ']'), false,
       {}},
      {"deep inside a member", WithMember("GPU", (std::string(3000, '[') +
                                                   std::string(3000, ']'))
                                                      .c_str()),
       false, {}},
  };
  for (const char* key : kKeys) {
    if (std::string(key) == "appPlatform") continue;
    cases.push_back({std::string(key) + " missing", WithMember(key, nullptr),
                     false, ParamsBefore(key)});
    cases.push_back({std::string(key) + " a number", WithMember(key, "42"),
                     false, ParamsBefore(key)});
    cases.push_back({std::string(key) + " null", WithMember(key, "null"),
                     false, ParamsBefore(key)});
    cases.push_back({std::string(key) + " an object",
                     WithMember(key, "{\"v\": \"1\"}"), false,
                     ParamsBefore(key)});
  }
  const struct {
    const char* name;
    const char* json;
    const char* value;
  } platforms[] = {
      {"number", "64", "64"},     {"negative", "-3", "-3"},
      {"real", "1.5", "1.5"},     {"true", "true", "true"},
      {"false", "false", "false"}, {"null", "null", ""},
      {"array", "[\"win\", 64]", ""}, {"object", "{\"os\": \"win\"}", ""},
      {"missing", nullptr, ""},
  };
  for (const auto& platform : platforms) {
    CrashInfoParams params = ValidParams();
    params["appPlatform"] = platform.value;
    cases.push_back({std::string("appPlatform ") + platform.name,
                     WithMember("appPlatform", platform.json), true, params});
  }
  // Each byte of the file stands for one character: 0x80-0xFF come out as
  // two-byte UTF-8.
  std::string high;
  for (int c = 0x80; c <= 0xff; ++c) high += static_cast<char>(c);
  CrashInfoParams high_params = ValidParams();
  std::string high_utf8;
  for (int c = 0x80; c <= 0xff; ++c) {
    high_utf8 += static_cast<char>(0xc0 | (c >> 6));
    high_utf8 += static_cast<char>(0x80 | (c & 0x3f));
  }
  high_params["model"] = high_utf8;
  cases.push_back({"bytes 0x80-0xFF", WithMember("model", ("\"" + high + "\"").c_str()),
                   true, high_params});
  // At the cap it is read; one byte more and it is not.
  std::string padded = kValid;
  padded.resize(static_cast<size_t>(kMaxAppParamBytes), ' ');
  cases.push_back({"exactly 1 MiB", padded, true, ValidParams()});
  cases.push_back({"1 MiB and a byte", padded + " ", false, {{"stale", "kept"}}});
  std::string big = kValid;
  big.resize(2 * 1024 * 1024, ' ');
  cases.push_back({"2 MiB", big, false, {{"stale", "kept"}}});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(c.file);
    CrashInfoParams params = {{"stale", "kept"}};
    EXPECT_EQ(c.ok, AnalyseAppParams(&params));
    EXPECT_EQ(c.params, params);
  }
}

TEST_F(AppParamsTest, MissingFileLeavesTheParametersAlone) {
  CrashInfoParams params = {{"stale", "kept"}};
  EXPECT_FALSE(AnalyseAppParams(&params));
  EXPECT_EQ((CrashInfoParams{{"stale", "kept"}}), params);
  EXPECT_EQ(L"", ReadAppParam());
}

TEST_F(AppParamsTest, ReadWidensEachByte) {
  Write(std::string("a\xe9\0z", 4));
  EXPECT_EQ(std::wstring(L"a\u00e9\0z", 4), ReadAppParam());
}

}  // namespace
