#include "upload/jov_upload_file_info.h"

#include <set>

#include "upload/text_helpers.h"

namespace valmora {

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string NormaliseExtension(const std::string& extension) {
  if (extension == "jpg" || extension == "jpe" || extension == "jfif" ||
      extension == "jfif-tbnl")
    return "jpeg";
  if (extension == "tif") return "tiff";
  if (extension == "bm") return "bmp";
  return extension;
}

std::string TypeOf(const std::string& extension, bool allow_package) {
  static const std::set<std::string> kAudio = {
      "mp3", "ogg", "wav", "wma", "flac", "ape", "m4a", "aac"};
  static const std::set<std::string> kText = {"txt", "lrc", "log"};
  static const std::set<std::string> kImage = {"jpg", "jpeg", "gif",
                                               "png", "bmp",  "tiff"};
  static const std::set<std::string> kPackage = {"zip"};
  if (kAudio.count(extension)) return "audio";
  if (kText.count(extension)) return "txt";
  if (kImage.count(extension)) return "image";
  if (allow_package && kPackage.count(extension)) return "package";
  return "other";
}

}  // namespace

JovUploadFileInfo::JovUploadFileInfo(const JovUploadParams& params,
                                     bool allow_package)
    : stream_(params.file_path), file_path_(params.file_path) {
  // Only the file part counts: a dot in a folder name is no extension.
  const size_t separator = file_path_.find_last_of(L"\\/");
  const size_t name_start =
      separator == std::wstring::npos ? 0 : separator + 1;
  const std::wstring file_name = file_path_.substr(name_start);
  const size_t dot = file_name.rfind(L'.');
  if (dot != std::wstring::npos) {
    extension_ = NormaliseExtension(
        LowerAscii(WideToUtf8(file_name.substr(dot + 1))));
  }
  name_ = WideToUtf8(file_name.substr(0, dot));
  type_ = TypeOf(extension_, allow_package);
}

jov_upload::IJovUploadStream* JovUploadFileInfo::GetStream() {
  return &stream_;
}

std::string JovUploadFileInfo::GetExtension() { return extension_; }

std::string JovUploadFileInfo::GetName() { return name_; }

std::string JovUploadFileInfo::GetType() { return type_; }

std::string JovUploadFileInfo::GetValue(int32_t id) {
  const auto found = values_.find(id);
  return found == values_.end() ? std::string() : found->second;
}

void JovUploadFileInfo::SetValue(int32_t id, const std::string& value) {
  values_[id] = value;
}

}  // namespace valmora
