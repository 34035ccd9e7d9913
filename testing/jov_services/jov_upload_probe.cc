// Runs one crash-file upload against the fake object-storage services and
// prints what a caller can observe, for jov_upload_test.py.
//
//   jov_upload_probe task <file> <host> <cookie hex> <context hex>
//     runs the crash upload task; prints the upload client's messages as
//     they come, then "code=<n>" and one "result <key>=<hex value>" line per
//     result entry.
//   jov_upload_probe broken_body <size> <url> <cookie hex>
//     posts a body of <size> bytes whose stream fails half-way; prints
//     "code=<n>".
//   jov_upload_probe archive <file> <host without scheme> <cookie hex>
//     runs the crash flow's upload step (with its retry); prints its log
//     records as "log <text>", then "uploaded=<0|1> resource=<hex>
//     exists=<0|1>".
// Text arguments are hex-encoded UTF-8, so any byte can be passed.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/logging.h"
#include "quillavera_crash_reporter/crash_data_upload.h"
#include "testing/probe_common/hex_text.h"
#include "upload/http_request_impl.h"
#include "upload/jov_upload/jov_streams.h"
#include "upload/jov_upload_params.h"
#include "upload/text_helpers.h"
#include "upload/valmora_crash_upload_task.h"

namespace {

bool PrintLogRecord(int, const char*, int, size_t message_start,
                    const std::string& record) {
  std::string text = record.substr(message_start);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  printf("log %s\n", text.c_str());
  fflush(stdout);
  return true;
}

int RunTask(const std::wstring& file, const std::string& host,
            const std::string& cookie, const std::string& context) {
  JovUploadParams params;
  params.file_path = file;
  params.host = host;
  params.cookie = cookie;
  params.context = context;
  valmora::ValmoraCrashUploadTask task(params, nullptr);
  jov_upload::StringMap result;
  const int32_t code = task.Run(result);
  printf("code=%d\n", code);
  for (const auto& entry : result)
    printf("result %s=%s\n", entry.first.c_str(),
           probe_text::BytesToHex(entry.second).c_str());
  return 0;
}

// Gives half of its bytes, then fails.
class BrokenStream : public jov_upload::JovDataStream {
 public:
  explicit BrokenStream(size_t size)
      : JovDataStream(std::string(size, 'b')), left_(size / 2) {}
  int64_t Read(void* buffer, uint64_t count) override {
    if (left_ == 0) return -1;
    const int64_t read =
        JovDataStream::Read(buffer, count < left_ ? count : left_);
    left_ -= static_cast<uint64_t>(read);
    return read;
  }

 private:
  uint64_t left_;
};

int RunBrokenBody(const char* size, const std::string& url) {
  BrokenStream body(static_cast<size_t>(atoi(size)));
  valmora::HttpRequestImpl request(url, "POST", jov_upload::StringMap(),
                                   &body);
  printf("code=%d\n", request.Perform());
  return 0;
}

int RunArchive(const std::wstring& file, const std::string& host,
               const std::string& cookie) {
  base::SetLogMessageHandler(&PrintLogRecord);
  CrashInfoParams params;
  params["host"] = host;
  const bool uploaded = UploadCrashArchive(file, Utf8ToWide(cookie), &params);
  const bool exists =
      GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
  printf("uploaded=%d resource=%s exists=%d\n", uploaded ? 1 : 0,
         probe_text::BytesToHex(params["resource"]).c_str(), exists ? 1 : 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string cookie;
  std::string context;
  if (argc < 5 || !probe_text::HexToBytes(argv[4], &cookie) ||
      (argc > 5 && !probe_text::HexToBytes(argv[5], &context))) {
    fprintf(stderr, "usage: jov_upload_probe task|archive <file> <host> "
                    "<cookie hex> [<context hex>]\n");
    return 2;
  }
  const std::wstring file = Utf8ToWide(argv[2]);
  const std::string mode = argv[1];
  int status = 2;
  if (mode == "task") status = RunTask(file, argv[3], cookie, context);
  else if (mode == "archive") status = RunArchive(file, argv[3], cookie);
  else if (mode == "broken_body") status = RunBrokenBody(argv[2], argv[3]);
  fflush(stdout);
  return status;
}
