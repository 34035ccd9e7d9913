#include "upload/jov_upload/jov_upload_urls.h"

#include <ctype.h>

#include "upload/jov_upload/url_escape.h"

namespace jov_upload {

namespace {

std::string ObjectPath(const std::string& server, const std::string& bucket,
                       const std::string& object) {
  std::string url = server;
  if (url.back() != '/') url += '/';
  return url + UrlEscape(bucket) + "/" + UrlEscape(object);
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size() ||
        tolower(static_cast<unsigned char>(text[i])) != prefix[i])
      return false;
  }
  return true;
}

}  // namespace

std::string BuildLbsUrl(const std::string& lbs, const std::string& version,
                        const std::string& bucket) {
  if (lbs.empty()) return std::string();
  return lbs + "?version=" + version + "&bucketname=" + UrlEscape(bucket);
}

std::string BuildOffsetQueryUrl(const std::string& server,
                                const std::string& bucket,
                                const std::string& object,
                                const std::string& context,
                                const std::string& version) {
  if (server.empty()) return std::string();
  // The context comes from a server's reply: escaped, it can only ever be
  // one query value.
  return ObjectPath(server, bucket, object) + "?uploadContext" +
         "&context=" + UrlEscape(context) + "&version=" + version;
}

std::string BuildPartUploadUrl(const std::string& server,
                               const std::string& bucket,
                               const std::string& object, int64_t offset,
                               bool complete, const std::string& context,
                               const std::string& version) {
  if (server.empty()) return std::string();
  std::string url = ObjectPath(server, bucket, object) + "?offset=" +
                    std::to_string(offset) + "&complete=" +
                    (complete ? "true" : "false");
  if (!context.empty()) url += "&context=" + UrlEscape(context);
  return url + "&version=" + version;
}

StringMap BuildUploadHeaders(const std::string& token, int64_t length,
                             const std::string& content_type,
                             const std::string& md5, const std::string& meta) {
  StringMap headers;
  headers["x-jov-token"] = token;
  headers["Content-Length"] = std::to_string(length);
  if (!md5.empty()) headers["Content-MD5"] = md5;
  if (!content_type.empty()) headers["Content-Type"] = content_type;
  if (!meta.empty()) headers["x-jov-meta-"] = meta;
  return headers;
}

bool IsWebUrl(const std::string& url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

}  // namespace jov_upload
