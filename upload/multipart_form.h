// Building blocks of a multipart/form-data request: field and header checks,
// the boundary, the Content-Type header and the body bytes.

#ifndef UPLOAD_MULTIPART_FORM_H_
#define UPLOAD_MULTIPART_FORM_H_

#include <map>
#include <string>

namespace http_upload {

// Ordered wide name -> wide value; also used for field name -> file path.
using StringMap = std::map<std::wstring, std::wstring>;

// True when every name is non-empty and made only of characters 32 to 126
// other than the double quote, so it can stand quoted in a
// Content-Disposition line.
bool CheckParameters(const StringMap& parameters);

// True when every header name is a non-empty token (33 to 126, no colon) and
// no value holds CR, LF or a zero, so nothing can be smuggled into the
// request head. The cookie value comes from a file written by the client.
bool CheckHeaders(const StringMap& headers);

// 27 dashes and two rand() values as 8 upper-case hex digits each.
std::wstring GenerateMultipartBoundary();

// "Content-Type: multipart/form-data; boundary=" + |boundary|.
std::wstring GenerateRequestHeader(const std::wstring& boundary);

// Writes the whole body into |body|: all parameter parts in map order, then
// all file parts in map order, then the closing line. Fails for an empty
// boundary, a field name that CheckParameters refuses, a file that cannot be
// read whole, or a file name that is empty or holds CR, LF or a double quote.
bool GenerateRequestBody(const StringMap& parameters, const StringMap& files,
                         const std::wstring& boundary, std::string* body);

// A boundary that occurs nowhere in the parts' names, values and contents,
// and the body built with it (GenerateRequestBody): the boundary comes from
// rand(), so which one comes next can be known, and a file holding it would
// end its part early. Fails as GenerateRequestBody does, or when no fresh
// boundary is clear of the contents.
bool GenerateBoundaryAndBody(const StringMap& parameters,
                             const StringMap& files, std::wstring* boundary,
                             std::string* body);

// Reads the whole file at |path| as raw bytes, other openers allowed.
// Fails unless every byte of the file was read.
bool GetFileContents(const std::wstring& path, std::string* contents);

// The file name part of |path| (after its last backslash, or when it has
// none its last slash); empty when it has neither.
std::wstring FileNameOfPath(const std::wstring& path);

}  // namespace http_upload

#endif  // UPLOAD_MULTIPART_FORM_H_
