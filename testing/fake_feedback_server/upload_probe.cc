// Runs one multipart post as described by a request file and prints what the
// caller can observe, for the fake-server test driver.
//
// Request file: one directive a line, fields split by tabs, every text field
// hex-encoded UTF-8 so any byte (CR, LF, quotes) can be passed:
//   url <hex> | timeout <ms> | deadline <ms> | mode request|sender
//   header <hex name> <hex value> | param <hex> <hex> | file <hex> <hex path>
//   workers <ms>
// A url field of "default" means the compiled-in feedback log URL.
// Output: "ok=<0|1> status=<n> code=<n> response=<hex UTF-8>"; with
// "workers", then " running=<0|1> ended=<0|1>": whether the post's worker
// still ran when the post returned, and whether it ended within <ms>.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "testing/probe_common/hex_text.h"
#include "upload/feedback_endpoint.h"
#include "upload/http_upload.h"
#include "upload/report_sender.h"
#include "upload/text_helpers.h"

namespace {

struct ProbeRequest {
  std::wstring url;
  bool has_timeout = false;
  int timeout_ms = 0;
  int workers_ms = -1;
  std::string mode = "request";
  http_upload::StringMap headers;
  http_upload::StringMap parameters;
  http_upload::StringMap files;
};

bool DecodeHex(const std::string& hex, std::wstring* text) {
  std::string bytes;
  if (!probe_text::HexToBytes(hex, &bytes))
    return false;
  *text = Utf8ToWide(bytes);
  return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos)
      return fields;
    start = tab + 1;
  }
}

bool ParseLine(const std::string& line, ProbeRequest* request) {
  const std::vector<std::string> fields = SplitTabs(line);
  const std::string& key = fields[0];
  if (key == "url" && fields.size() == 2) {
    if (fields[1] == "default") {
      request->url = GetFeedbackLogUrl();
      return true;
    }
    return DecodeHex(fields[1], &request->url);
  }
  if (key == "timeout" && fields.size() == 2) {
    request->has_timeout = true;
    request->timeout_ms = std::atoi(fields[1].c_str());
    return true;
  }
  if (key == "deadline" && fields.size() == 2) {
    http_upload::SetPostDeadlineMsForTesting(
        static_cast<unsigned>(std::atoi(fields[1].c_str())));
    return true;
  }
  if (key == "workers" && fields.size() == 2) {
    request->workers_ms = std::atoi(fields[1].c_str());
    return true;
  }
  if (key == "mode" && fields.size() == 2) {
    request->mode = fields[1];
    return true;
  }
  http_upload::StringMap* map = nullptr;
  if (key == "header")
    map = &request->headers;
  else if (key == "param")
    map = &request->parameters;
  else if (key == "file")
    map = &request->files;
  if (map == nullptr || fields.size() != 3)
    return false;
  std::wstring name;
  std::wstring value;
  if (!DecodeHex(fields[1], &name) || !DecodeHex(fields[2], &value))
    return false;
  (*map)[name] = value;
  return true;
}

bool ReadProbeRequest(const char* path, ProbeRequest* request) {
  FILE* file = std::fopen(path, "rb");
  if (!file)
    return false;
  std::string text;
  char buffer[4096];
  size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
    text.append(buffer, read);
  std::fclose(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && !ParseLine(line, request))
      return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ProbeRequest request;
  if (argc != 2 || !ReadProbeRequest(argv[1], &request)) {
    std::fprintf(stderr, "usage: upload_probe <request file>\n");
    return 2;
  }
  std::wstring response;
  int status = -1;
  int code = -1;
  bool ok = false;
  if (request.mode == "sender") {
    ReportSender::Options options;
    if (request.has_timeout)
      options.timeout_ms = request.timeout_ms;
    // Keeps the status visible to the driver; the sender's own mapping is
    // what is under test.
    options.transport = [&status](const std::wstring& url,
                                  const http_upload::StringMap& headers,
                                  const http_upload::StringMap& parameters,
                                  const http_upload::StringMap& files,
                                  const int* timeout_ms, std::wstring* reply,
                                  int* reply_status) {
      const bool sent = http_upload::SendRequest(
          url, headers, parameters, files, timeout_ms, reply, reply_status);
      status = *reply_status;
      return sent;
    };
    ReportSender sender(std::wstring(), options);
    code = sender.SendCrashReport(request.url, request.headers,
                                  request.parameters, request.files,
                                  &response);
    ok = code == kReportSent;
  } else if (request.mode == "request") {
    ok = http_upload::SendRequest(
        request.url, request.headers, request.parameters, request.files,
        request.has_timeout ? &request.timeout_ms : nullptr, &response,
        &status);
  } else {
    std::fprintf(stderr, "unknown mode\n");
    return 2;
  }
  std::printf("ok=%d status=%d code=%d response=%s", ok ? 1 : 0, status, code,
              probe_text::BytesToHex(WideToUtf8(response)).c_str());
  if (request.workers_ms >= 0) {
    const bool running = !http_upload::WaitForPostWorkers(0);
    const bool ended = http_upload::WaitForPostWorkers(
        static_cast<unsigned>(request.workers_ms));
    std::printf(" running=%d ended=%d", running ? 1 : 0, ended ? 1 : 0);
  }
  std::printf("\n");
  std::fflush(stdout);
  return 0;
}
