// The file of one upload with its description (name, extension, type) and
// the values the upload client keeps for it (token, bucket, object key,
// context).

#ifndef UPLOAD_JOV_UPLOAD_FILE_INFO_H_
#define UPLOAD_JOV_UPLOAD_FILE_INFO_H_

#include <stdint.h>

#include <map>
#include <string>

#include "upload/jov_file_stream.h"
#include "upload/jov_upload/jov_upload_interfaces.h"
#include "upload/jov_upload_params.h"

namespace valmora {

class JovUploadFileInfo : public jov_upload::IJovUploadInfo {
 public:
  // |allow_package| lets a zip be described as "package".
  JovUploadFileInfo(const JovUploadParams& params, bool allow_package);

  jov_upload::IJovUploadStream* GetStream() override;
  // Lower-case, without the dot; "" when the file name has no dot.
  std::string GetExtension() override;
  // The file name without its extension.
  std::string GetName() override;
  // "audio", "txt", "image", "package" or "other".
  std::string GetType() override;
  // "" for an id never set.
  std::string GetValue(int32_t id) override;
  void SetValue(int32_t id, const std::string& value) override;

 private:
  JovFileStream stream_;
  std::wstring file_path_;
  std::map<int32_t, std::string> values_;
  std::string extension_;
  std::string type_;
  std::string name_;
};

}  // namespace valmora

#endif  // UPLOAD_JOV_UPLOAD_FILE_INFO_H_
