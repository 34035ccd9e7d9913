// Whole files in and out, for the zip probes.
#ifndef TESTING_ZIP_PROBE_WHOLE_FILE_H_
#define TESTING_ZIP_PROBE_WHOLE_FILE_H_

#include <stdio.h>

#include <string>

namespace zip_probe {

// Empty when the file cannot be read.
inline std::string ReadWholeFile(const std::wstring& path) {
  std::string data;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return data;
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
    data.append(chunk, got);
  fclose(file);
  return data;
}

inline bool WriteWholeFile(const std::wstring& path, const void* data,
                           size_t size) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  const bool ok = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && ok;
}

}  // namespace zip_probe

#endif  // TESTING_ZIP_PROBE_WHOLE_FILE_H_
