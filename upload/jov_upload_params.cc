#include "upload/jov_upload_params.h"

int32_t FillJovUploadParams(const std::wstring& path,
                            const jov_upload::StringMap& information,
                            JovUploadParams* params) {
  params->file_path = path;
  const struct {
    const char* key;
    std::string* field;
  } fields[] = {
      {"bucket", &params->bucket},   {"token", &params->token},
      {"objectKey", &params->object_key}, {"context", &params->context},
      {"host", &params->host},       {"cookie", &params->cookie},
      {"encryptParam", &params->encrypt_param},
  };
  int32_t found = 0;
  for (const auto& field : fields) {
    const auto entry = information.find(field.key);
    if (entry == information.end()) continue;
    *field.field = entry->second;
    ++found;
  }
  return found;
}
