#include "upload/multipart_form.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/logging.h"
#include "upload/text_helpers.h"

namespace http_upload {

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

bool IsFieldNameChar(wchar_t c) { return c >= 32 && c <= 126 && c != L'"'; }

bool IsHeaderNameChar(wchar_t c) { return c > 32 && c <= 126 && c != L':'; }

bool HasLineBreakOrZero(const std::wstring& text) {
  return text.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos;
}

bool IsValidFieldName(const std::wstring& name) {
  if (name.empty())
    return false;
  for (wchar_t c : name) {
    if (!IsFieldNameChar(c))
      return false;
  }
  return true;
}

void AppendPartHead(const std::string& boundary, std::string* body) {
  body->append("--");
  body->append(boundary);
  body->append("\r\n");
  body->append("Content-Disposition: form-data; name=\"");
}

}  // namespace

bool CheckParameters(const StringMap& parameters) {
  for (const auto& parameter : parameters) {
    if (!IsValidFieldName(parameter.first))
      return false;
  }
  return true;
}

bool CheckHeaders(const StringMap& headers) {
  for (const auto& header : headers) {
    if (header.first.empty())
      return false;
    for (wchar_t c : header.first) {
      if (!IsHeaderNameChar(c))
        return false;
    }
    if (HasLineBreakOrZero(header.second))
      return false;
  }
  return true;
}

std::wstring GenerateMultipartBoundary() {
  wchar_t text[64];
  std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%ls%08X%08X",
                L"---------------------------",
                static_cast<unsigned>(std::rand()),
                static_cast<unsigned>(std::rand()));
  return text;
}

std::wstring GenerateRequestHeader(const std::wstring& boundary) {
  return L"Content-Type: multipart/form-data; boundary=" + boundary;
}

std::wstring FileNameOfPath(const std::wstring& path) {
  size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos)
    separator = path.rfind(L'/');
  if (separator == std::wstring::npos)
    return std::wstring();
  return path.substr(separator + 1);
}

bool GenerateRequestBody(const StringMap& parameters, const StringMap& files,
                         const std::wstring& boundary, std::string* body) {
  const std::string boundary_utf8 = WideToUtf8(boundary);
  if (boundary_utf8.empty())
    return false;
  std::string text;
  for (const auto& parameter : parameters) {
    if (!IsValidFieldName(parameter.first))
      return false;
    AppendPartHead(boundary_utf8, &text);
    text.append(WideToUtf8(parameter.first));
    text.append("\"\r\n\r\n");
    text.append(WideToUtf8(parameter.second));
    text.append("\r\n");
  }
  for (const auto& file : files) {
    if (!IsValidFieldName(file.first))
      return false;
    std::string contents;
    if (!GetFileContents(file.second, &contents)) {
      LOG(ERROR) << "Could not read the whole of " << file.second;
      return false;
    }
    const std::wstring file_name = FileNameOfPath(file.second);
    if (file_name.empty() || HasLineBreakOrZero(file_name) ||
        file_name.find(L'"') != std::wstring::npos) {
      return false;
    }
    const std::string field_utf8 = WideToUtf8(file.first);
    const std::string file_name_utf8 = WideToUtf8(file_name);
    if (field_utf8.empty() || file_name_utf8.empty())
      return false;
    AppendPartHead(boundary_utf8, &text);
    text.append(field_utf8);
    text.append("\"; filename=\"");
    text.append(file_name_utf8);
    text.append("\"\r\n");
    text.append("Content-Type: application/octet-stream\r\n");
    text.append("\r\n");
    text.append(contents);
    text.append("\r\n");
  }
  text.append("--");
  text.append(boundary_utf8);
  text.append("--\r\n");
  body->swap(text);
  return true;
}

bool GenerateBoundaryAndBody(const StringMap& parameters,
                             const StringMap& files, std::wstring* boundary,
                             std::string* body) {
  // One delimiter opens each part and one closes the body.
  const size_t delimiters = parameters.size() + files.size() + 1;
  const int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    *boundary = GenerateMultipartBoundary();
    if (!GenerateRequestBody(parameters, files, *boundary, body))
      return false;
    const std::string text = WideToUtf8(*boundary);
    size_t found = 0;
    for (size_t at = body->find(text); at != std::string::npos;
         at = body->find(text, at + text.size())) {
      ++found;
    }
    if (found == delimiters)
      return true;
  }
  LOG(ERROR) << "No multipart boundary kept clear of the request's contents";
  return false;
}

bool GetFileContents(const std::wstring& path, std::string* contents) {
  // _wfopen shares the file for reading and writing with other openers.
  ScopedFile file(_wfopen(path.c_str(), L"rb"));
  if (!file)
    return false;
  if (_fseeki64(file.get(), 0, SEEK_END) != 0)
    return false;
  const int64_t size = _ftelli64(file.get());
  if (size < 0 || static_cast<uint64_t>(size) > SIZE_MAX)
    return false;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size != 0) {
    if (_fseeki64(file.get(), 0, SEEK_SET) != 0)
      return false;
    const size_t read =
        std::fread(&bytes[0], 1, bytes.size(), file.get());
    if (read != bytes.size())
      return false;
  }
  contents->swap(bytes);
  return true;
}

}  // namespace http_upload
