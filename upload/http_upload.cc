#include "upload/http_upload.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "upload/scoped_internet_handle.h"
#include "upload/text_helpers.h"

namespace http_upload {

namespace {

const wchar_t kUserAgent[] = L"QuillaveraCrash/1.0 (Windows)";
const DWORD kReadChunkBytes = 64 * 1024;
// Room for the headers read here: any status code's digits and any
// Content-Length worth parsing.
const DWORD kHeaderTextUnits = 64;

std::atomic<unsigned> g_post_deadline_ms{kPostDeadlineMs};

struct PostWorkers {
  std::mutex lock;
  std::condition_variable changed;
  int running = 0;
};

// Never destroyed: a worker may still end while the process exits.
PostWorkers& GetPostWorkers() {
  static PostWorkers* workers = new PostWorkers;
  return *workers;
}

struct CrackedUrl {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;
};

bool CrackUrl(const std::wstring& url, CrackedUrl* cracked) {
  wchar_t scheme[16] = {};
  wchar_t host[256] = {};
  wchar_t path[256] = {};
  URL_COMPONENTSW components;
  std::memset(&components, 0, sizeof(components));
  components.dwStructSize = sizeof(components);
  components.lpszScheme = scheme;
  components.dwSchemeLength = sizeof(scheme) / sizeof(scheme[0]);
  components.lpszHostName = host;
  components.dwHostNameLength = sizeof(host) / sizeof(host[0]);
  components.lpszUrlPath = path;
  components.dwUrlPathLength = sizeof(path) / sizeof(path[0]);
  if (!InternetCrackUrlW(url.c_str(), 0, 0, &components))
    return false;
  const std::wstring scheme_text(scheme);
  if (scheme_text == L"https") {
    cracked->secure = true;
  } else if (scheme_text == L"http") {
    cracked->secure = false;
  } else {
    return false;
  }
  cracked->host = host;
  cracked->port = components.nPort;
  cracked->path = path;
  return true;
}

// The time-outs only bound the waits; a failure to set one is reported and
// the request goes on.
void SetTimeouts(HINTERNET request, DWORD timeout_ms) {
  InternetSetOptionW(request, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout_ms,
                     sizeof(timeout_ms));
  if (!InternetSetOptionW(request, INTERNET_OPTION_SEND_TIMEOUT, &timeout_ms,
                          sizeof(timeout_ms))) {
    std::fputs("Could not unset send timeout, continuing...\n", stderr);
  }
  if (!InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT,
                          &timeout_ms, sizeof(timeout_ms))) {
    std::fputs("Could not unset receive timeout, continuing...\n", stderr);
  }
}

// The text of header |info_level| of the reply. False when the reply has no
// such header (|error| ERROR_HTTP_HEADER_NOT_FOUND), when it is longer than
// kHeaderTextUnits (ERROR_INSUFFICIENT_BUFFER) or the query fails.
bool QueryHeaderText(HINTERNET request, DWORD info_level, std::wstring* text,
                     DWORD* error) {
  // One unit more than the call is told of: WinINet under Wine writes a
  // status code's terminator past a buffer that just fits its digits.
  wchar_t buffer[kHeaderTextUnits + 1] = {};
  const DWORD offered = kHeaderTextUnits * sizeof(wchar_t);
  DWORD size = offered;
  if (!HttpQueryInfoW(request, info_level, buffer, &size, nullptr)) {
    *error = GetLastError();
    return false;
  }
  // The size given back is the text's, in bytes, without its terminator.
  if (size > offered || size % sizeof(wchar_t) != 0) {
    *error = ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  text->assign(buffer, size / sizeof(wchar_t));
  return true;
}

bool QueryStatusCode(HINTERNET request, int* status_code) {
  std::wstring text;
  DWORD error = 0;
  if (!QueryHeaderText(request, HTTP_QUERY_STATUS_CODE, &text, &error)) {
    LOG(ERROR) << "Reply refused: no status code, error " << error;
    return false;
  }
  unsigned long long value = 0;
  if (!ParseDecimal(text.c_str(), &value) || value > INT_MAX) {
    LOG(ERROR) << "Reply refused: status code " << text;
    return false;
  }
  *status_code = static_cast<int>(value);
  return true;
}

bool AddHeader(HINTERNET request, const std::wstring& header) {
  return HttpAddRequestHeadersW(request, header.c_str(), static_cast<DWORD>(-1),
                                HTTP_ADDREQ_FLAG_ADD) != FALSE;
}

}  // namespace

bool ParseDecimal(const wchar_t* text, unsigned long long* value) {
  if (text == nullptr || *text == L'\0')
    return false;
  unsigned long long result = 0;
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    if (*c < L'0' || *c > L'9')
      return false;
    const unsigned long long digit = static_cast<unsigned long long>(*c - L'0');
    if (result > (ULLONG_MAX - digit) / 10)
      return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

bool ReadResponse(HINTERNET request, std::wstring* response) {
  bool has_length = false;
  unsigned long long claimed_length = 0;
  std::wstring length_text;
  DWORD error = 0;
  if (QueryHeaderText(request, HTTP_QUERY_CONTENT_LENGTH, &length_text,
                      &error)) {
    // A reply that claims more than we keep, or no number at all, is refused
    // before anything is reserved for it.
    if (!ParseDecimal(length_text.c_str(), &claimed_length) ||
        claimed_length > kMaxResponseBytes) {
      LOG(ERROR) << "Reply refused: Content-Length " << length_text
                 << " is not a length up to " << kMaxResponseBytes;
      return false;
    }
    has_length = true;
  } else if (error != ERROR_HTTP_HEADER_NOT_FOUND) {
    // One too long to read is no reason to take the reply as unmeasured.
    LOG(ERROR) << "Reply refused: Content-Length unreadable, error " << error;
    return false;
  }

  std::string bytes;
  if (has_length)
    bytes.reserve(static_cast<size_t>(claimed_length));
  std::vector<char> chunk(kReadChunkBytes);
  bool last_call_ok = true;
  for (;;) {
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) {
      last_call_ok = false;
      break;
    }
    if (available == 0)
      break;
    const DWORD wanted = available < kReadChunkBytes ? available
                                                      : kReadChunkBytes;
    DWORD read = 0;
    if (!InternetReadFile(request, chunk.data(), wanted, &read)) {
      last_call_ok = false;
      break;
    }
    if (read == 0)
      break;
    if (bytes.size() + read > kMaxResponseBytes) {
      LOG(ERROR) << "Reply refused: longer than " << kMaxResponseBytes
                 << " bytes";
      return false;
    }
    bytes.append(chunk.data(), read);
  }
  if (!last_call_ok)
    return false;
  if (has_length && bytes.size() != claimed_length) {
    LOG(ERROR) << "Reply incomplete: " << bytes.size() << " of "
               << claimed_length << " bytes";
    return false;
  }
  if (response)
    *response = Utf8ToWide(bytes);
  return true;
}

namespace {

// One post, run to its end on whatever thread calls it.
bool PostOnce(const std::wstring& url, const StringMap& extra_headers,
              const StringMap& parameters, const StringMap& files,
              const int* timeout_ms, std::wstring* response, int* status) {
  // File field names stand quoted in the body like parameter names, and the
  // header values go into the request head: refuse both before connecting.
  if (!CheckParameters(parameters) || !CheckParameters(files)) {
    LOG(ERROR) << "Post refused: a field name cannot be sent safely";
    return false;
  }
  if (!CheckHeaders(extra_headers)) {
    LOG(ERROR) << "Post refused: a header holds a line break or a bad name";
    return false;
  }
  CrackedUrl cracked;
  if (!CrackUrl(url, &cracked))
    return false;

  ScopedInternetHandle internet(InternetOpenW(
      kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet)
    return false;
  ScopedInternetHandle connection(InternetConnectW(
      internet.get(), cracked.host.c_str(), cracked.port, nullptr, nullptr,
      INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection)
    return false;
  // A redirect would carry the cookie to another host, and a 307 re-post or
  // a 302 turned into a GET could be answered 200 without the report ever
  // arriving: any 3xx is a failure.
  DWORD flags = INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (cracked.secure)
    flags |= INTERNET_FLAG_SECURE;
  ScopedInternetHandle request(HttpOpenRequestW(connection.get(), L"POST",
                                                cracked.path.c_str(), nullptr,
                                                nullptr, nullptr, flags, 0));
  if (!request)
    return false;

  std::wstring boundary;
  std::string body;
  if (!GenerateBoundaryAndBody(parameters, files, &boundary, &body)) {
    LOG(ERROR) << "Post refused: the request body could not be built";
    return false;
  }
  if (!AddHeader(request.get(), GenerateRequestHeader(boundary)))
    return false;
  for (const auto& header : extra_headers) {
    if (!AddHeader(request.get(), header.first + L":" + header.second))
      return false;
  }
  if (body.size() > ULONG_MAX)
    return false;

  if (timeout_ms)
    SetTimeouts(request.get(), static_cast<DWORD>(*timeout_ms));

  if (!HttpSendRequestW(request.get(), nullptr, 0, &body[0],
                        static_cast<DWORD>(body.size()))) {
    PLOG(ERROR) << "Post failed: HttpSendRequestW";
    return false;
  }
  int status_code = 0;
  if (!QueryStatusCode(request.get(), &status_code))
    return false;
  if (status)
    *status = status_code;
  if (status_code != 200)
    return false;
  return ReadResponse(request.get(), response);
}

// What a post works on and hands back; shared with its worker thread, which
// may outlive an abandoned post.
struct PostJob {
  std::wstring url;
  StringMap extra_headers;
  StringMap parameters;
  StringMap files;
  bool has_timeout = false;
  int timeout_ms = 0;
  bool ok = false;
  std::wstring response;
  int status = 0;
  std::promise<void> done;
};

}  // namespace

void SetPostDeadlineMsForTesting(unsigned deadline_ms) {
  g_post_deadline_ms = deadline_ms ? deadline_ms : kPostDeadlineMs;
}

ScopedPostWorker::ScopedPostWorker() {
  PostWorkers& workers = GetPostWorkers();
  std::lock_guard<std::mutex> hold(workers.lock);
  ++workers.running;
}

ScopedPostWorker::~ScopedPostWorker() {
  PostWorkers& workers = GetPostWorkers();
  std::lock_guard<std::mutex> hold(workers.lock);
  if (--workers.running == 0) workers.changed.notify_all();
}

bool WaitForPostWorkers(unsigned timeout_ms) {
  PostWorkers& workers = GetPostWorkers();
  std::unique_lock<std::mutex> hold(workers.lock);
  return workers.changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                  [&] { return workers.running == 0; });
}

bool SendRequest(const std::wstring& url, const StringMap& extra_headers,
                 const StringMap& parameters, const StringMap& files,
                 const int* timeout_ms, std::wstring* response, int* status) {
  if (status)
    *status = 0;
  auto job = std::make_shared<PostJob>();
  job->url = url;
  job->extra_headers = extra_headers;
  job->parameters = parameters;
  job->files = files;
  job->has_timeout = timeout_ms != nullptr;
  job->timeout_ms = timeout_ms ? *timeout_ms : 0;
  std::future<void> finished = job->done.get_future();
  // WinINet's time-outs bound each wait, so a server that sends a byte now
  // and then holds a post for as long as it likes, and closing a handle
  // does not stop a blocked call everywhere: the post runs on a thread of
  // its own, and past the deadline the caller stops waiting for it.
  // Counted from before the thread starts, so no wait can miss it, until
  // the thread is done with the post.
  std::thread worker([job, counted = std::make_unique<ScopedPostWorker>()] {
    job->ok = PostOnce(job->url, job->extra_headers, job->parameters,
                       job->files, job->has_timeout ? &job->timeout_ms : nullptr,
                       &job->response, &job->status);
    job->done.set_value();
  });
  const unsigned deadline_ms = g_post_deadline_ms;
  if (finished.wait_for(std::chrono::milliseconds(deadline_ms)) !=
      std::future_status::ready) {
    worker.detach();
    LOG(ERROR) << "Post abandoned: no whole reply within " << deadline_ms
               << " ms";
    return false;
  }
  worker.join();
  if (status)
    *status = job->status;
  if (job->ok && response)
    *response = job->response;
  return job->ok;
}

}  // namespace http_upload
