#include "quillavera_crash_reporter/app_params.h"

#include <stdio.h>

#include <exception>

#include "json/json.h"
#include "quillavera_crash_reporter/reporter_paths.h"
#include "upload/text_helpers.h"

namespace {

const char* const kAppParamKeys[] = {
    "appChannel", "appVersion", "appPlatform", "buildVersion",
    "patchVersion", "host",     "model",       "brand",
    "osVersion",  "startTime",  "GPU"};

// A scalar's text; "" for null, arrays and objects, which have none.
std::string ScalarText(const Json::Value& value) {
  if (value.isArray() || value.isObject()) return std::string();
  try {
    return value.asString();
  } catch (const std::exception&) {
    return std::string();
  }
}

// False when the text is no JSON object or breaks one of the parser's
// limits, which it reports by throwing.
bool ParseObject(const std::string& text, Json::Value* root) {
  try {
    Json::Reader reader;
    return reader.parse(text, *root, true) && root->isObject();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::wstring ReadAppParam() {
  const std::wstring dumps = GetDumpsFolder();
  // Unknown, it would name the drive's root.
  if (dumps.empty()) return std::wstring();
  const std::wstring path = dumps + L"\\appParam";
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return std::wstring();
  std::string bytes;
  bool whole = _fseeki64(file, 0, SEEK_END) == 0;
  const int64_t size = whole ? _ftelli64(file) : -1;
  whole = size >= 0 && size <= kMaxAppParamBytes &&
          _fseeki64(file, 0, SEEK_SET) == 0;
  if (whole) {
    bytes.resize(static_cast<size_t>(size));
    whole = bytes.empty() ||
            fread(&bytes[0], 1, bytes.size(), file) == bytes.size();
  }
  fclose(file);
  if (!whole) return std::wstring();
  std::wstring text(bytes.size(), L'\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    text[i] = static_cast<unsigned char>(bytes[i]);
  return text;
}

bool AnalyseAppParams(CrashInfoParams* parameters) {
  const std::string text = WideToUtf8(ReadAppParam());
  if (text.empty()) return false;
  parameters->clear();
  Json::Value root;
  if (!ParseObject(text, &root)) return false;
  const Json::Value& object = root;
  for (const char* key : kAppParamKeys) {
    const Json::Value& member = object[key];
    if (std::string(key) == "appPlatform") {
      (*parameters)[key] = ScalarText(member);
      continue;
    }
    if (!member.isString()) return false;
    (*parameters)[key] = member.asString();
  }
  return true;
}
