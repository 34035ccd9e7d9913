#include "upload/jov_upload/jov_upload_task.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "upload/jov_upload/jov_streams.h"

namespace jov_upload {
namespace {

struct SeenRequest {
  std::string url;
  std::string method;
  StringMap headers;
  std::string body;
  int64_t body_size = -1;  // the stream's own Size; -1 without a body
};

struct Reply {
  int32_t code = 0;
  int32_t status = 200;
  std::string body;
};

Reply Status(int32_t status, const std::string& body = "") {
  Reply reply;
  reply.status = status;
  reply.body = body;
  return reply;
}

// No HTTP status: the transfer failed with |code|.
Reply TransportFailure(int32_t code) {
  Reply reply;
  reply.code = code;
  reply.status = 0;
  return reply;
}

std::string QueryValue(const std::string& url, const std::string& key) {
  const size_t query = url.find('?');
  if (query == std::string::npos) return std::string();
  const std::string rest = "&" + url.substr(query + 1);
  const size_t at = rest.find("&" + key + "=");
  if (at == std::string::npos) return std::string();
  const size_t start = at + key.size() + 2;
  return rest.substr(start, rest.find('&', start) - start);
}

// The LBS endpoints and storage servers, in memory. Unless a scripted reply
// waits for a URL prefix, it answers as a sound service does.
class FakeServices {
 public:
  Reply Handle(const SeenRequest& request) {
    seen.push_back(request);
    for (auto& script : scripted) {
      if (request.url.compare(0, script.first.size(), script.first) == 0 &&
          !script.second.empty()) {
        const Reply reply = script.second.front();
        script.second.pop_front();
        return reply;
      }
    }
    if (request.url.find("/lbs?") != std::string::npos) return Status(200, lbs);
    if (request.url.find("?uploadContext") != std::string::npos)
      return Status(200, "{\"offset\":" + std::to_string(stored.size()) + "}");
    const int64_t offset = std::stoll(QueryValue(request.url, "offset"));
    if (offset != static_cast<int64_t>(stored.size())) return Status(400);
    stored += request.body;
    return Status(200, "{\"requestId\":\"r\",\"context\":\"ctx" +
                           std::to_string(++contexts) +
                           "\",\"callbackRetMsg\":\"\",\"offset\":" +
                           std::to_string(stored.size()) + "}");
  }

  std::vector<SeenRequest> Parts() const {
    std::vector<SeenRequest> parts;
    for (const SeenRequest& request : seen) {
      if (request.method == "POST") parts.push_back(request);
    }
    return parts;
  }

  std::string lbs =
      "{\"upload\":[\"http://s1/\",\"http://s2\"],\"lbs\":\"http://extra/lbs\"}";
  std::map<std::string, std::deque<Reply>> scripted;
  std::string stored;
  int contexts = 0;
  std::vector<SeenRequest> seen;
  // Runs inside Perform, before the reply; for the cancel test.
  std::function<void()> during_perform;
  int cancels = 0;
};

class FakeRequest : public IJovHttpRequest {
 public:
  FakeRequest(FakeServices* services, IJovHttpRequestInfo* info,
              IJovHttpRequestResult* result)
      : services_(services), info_(info), result_(result) {}

  int32_t Perform() override {
    SeenRequest request;
    info_->GetUrl(&request.url);
    info_->GetMethod(&request.method);
    info_->GetHeaders(&request.headers);
    if (IJovUploadStream* body = info_->GetBodyStream()) {
      request.body_size = body->Size();
      char buffer[7000];
      int64_t read = 0;
      while ((read = body->Read(buffer, sizeof(buffer))) > 0)
        request.body.append(buffer, static_cast<size_t>(read));
    }
    if (services_->during_perform) services_->during_perform();
    const Reply reply = services_->Handle(request);
    result_->SetCode(reply.code);
    result_->SetStatus(reply.status);
    result_->SetBody(reply.body);
    return reply.code;
  }

  void Cancel() override { ++services_->cancels; }

 private:
  FakeServices* services_;
  IJovHttpRequestInfo* info_;
  IJovHttpRequestResult* result_;
};

class FakeRequestFactory : public IJovHttpRequestFactory {
 public:
  explicit FakeRequestFactory(FakeServices* services) : services_(services) {}
  IJovHttpRequest* CreateRequest(IJovHttpRequestInfo* info,
                                 IJovHttpRequestResult* result) override {
    if (refuse) return nullptr;
    ++live;
    return new FakeRequest(services_, info, result);
  }
  void DestroyRequest(IJovHttpRequest* request) override {
    --live;
    delete request;
  }
  bool refuse = false;
  int live = 0;

 private:
  FakeServices* services_;
};

class FakeLock : public IJovLock {
 public:
  void Lock() override { EnterCriticalSection(&section_); }
  void Unlock() override { LeaveCriticalSection(&section_); }
  FakeLock() { InitializeCriticalSection(&section_); }
  ~FakeLock() override { DeleteCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class FakeLockFactory : public IJovLockFactory {
 public:
  IJovLock* CreateLock() override {
    ++made;
    return new FakeLock();
  }
  void DestroyLock(IJovLock* lock) override {
    --made;
    delete lock;
  }
  int made = 0;
};

class FakeConfig : public IJovUploadConfig {
 public:
  void GetLbsUrls(StringList* urls) override { *urls = lbs_urls; }
  void GetExtraLbsUrls(StringList* urls) override { *urls = extra; }
  void GetUploadServers(StringList* list) override { *list = servers; }
  int32_t GetRetryCount() override { return 2; }
  int32_t GetPartSize() override { return part_size; }
  void SetUploadServers(const StringList& list) override { servers = list; }
  void SetExtraLbsUrls(const StringList& urls) override { extra = urls; }
  void AdaptPartSize(int32_t result) override { adaptations.push_back(result); }

  StringList lbs_urls = {"http://lbs1/lbs", "http://lbs2/lbs"};
  StringList extra;
  StringList servers;
  int32_t part_size = 1000;
  std::vector<int32_t> adaptations;
};

class FakeInfo : public IJovUploadInfo {
 public:
  explicit FakeInfo(const std::string& data) : stream(data) {
    values[kJovValueToken] = "tok";
    values[kJovValueBucket] = "crash bucket";
    values[kJovValueObjectKey] = "dir/obj 1";
  }
  IJovUploadStream* GetStream() override { return &stream; }
  std::string GetExtension() override { return extension; }
  std::string GetName() override { return name; }
  std::string GetType() override { return type; }
  std::string GetValue(int32_t id) override { return values[id]; }
  void SetValue(int32_t id, const std::string& value) override {
    values[id] = value;
  }

  JovDataStream stream;
  std::string extension = "zip";
  std::string name = "crash_data_1";
  std::string type = "package";
  std::map<int32_t, std::string> values;
};

class FakeCallback : public IJovUploadTask::IJovUploadTaskCallBack {
 public:
  int32_t OnProgress(int32_t progress, StringMap* result) override {
    progress_seen.push_back(progress);
    if (result) contexts_seen.push_back((*result)["context"]);
    return progress_reply;
  }
  int32_t OnMessage(const char* text) override {
    messages.push_back(text);
    return 0;
  }
  bool Told(const std::string& text) const {
    for (const std::string& message : messages) {
      if (message == text) return true;
    }
    return false;
  }
  bool ToldPrefix(const std::string& prefix) const {
    for (const std::string& message : messages) {
      if (message.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
  }

  std::vector<int32_t> progress_seen;
  std::vector<std::string> contexts_seen;
  std::vector<std::string> messages;
  int32_t progress_reply = 1;
};

std::string Bytes(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  return data;
}

class JovUploadTaskTest : public ::testing::Test {
 public:
  JovUploadTaskTest() : factory(&services), info(Bytes(2500)) {}

  // A fresh service, configuration and callback for the next case.
  void Reset() {
    services = FakeServices();
    config = FakeConfig();
    callback = FakeCallback();
    result.clear();
  }

  int32_t RunUpload() {
    IJovUploadTask* task =
        CreateJovUploadTask(&config, &info, &factory, &locks, &callback);
    const int32_t code = task->Upload(result);
    DestroyJovUploadTask(task);
    EXPECT_EQ(0, factory.live);
    EXPECT_EQ(0, locks.made);
    return code;
  }

  FakeServices services;
  FakeRequestFactory factory;
  FakeLockFactory locks;
  FakeConfig config;
  FakeInfo info;
  FakeCallback callback;
  StringMap result;
};

TEST_F(JovUploadTaskTest, UploadsTheFileInPartsThatChainTheContext) {
  ASSERT_EQ(0, RunUpload());
  EXPECT_EQ(Bytes(2500), services.stored);
  ASSERT_EQ(1u, services.seen.size() - services.Parts().size());
  EXPECT_EQ("http://lbs1/lbs?version=1.0&bucketname=crash%20bucket",
            services.seen[0].url);
  EXPECT_EQ("GET", services.seen[0].method);

  const std::vector<SeenRequest> parts = services.Parts();
  ASSERT_EQ(3u, parts.size());
  const char* const urls[] = {
      "http://s1/crash%20bucket/dir%2Fobj%201?offset=0&complete=false"
      "&version=1.0",
      "http://s1/crash%20bucket/dir%2Fobj%201?offset=1000&complete=false"
      "&context=ctx1&version=1.0",
      "http://s1/crash%20bucket/dir%2Fobj%201?offset=2000&complete=true"
      "&context=ctx2&version=1.0",
  };
  for (size_t i = 0; i < parts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(urls[i], parts[i].url);
    const StringMap expected_headers = {
        {"Content-Length", std::to_string(parts[i].body.size())},
        {"Content-Type", "package/zip"},
        {"x-jov-token", "tok"}};
    EXPECT_EQ(expected_headers, parts[i].headers);
    EXPECT_EQ(static_cast<int64_t>(parts[i].body.size()),
              parts[i].body_size);
  }
  EXPECT_EQ("ctx3", result["context"]);
  EXPECT_EQ(0u, result.count("error"));
  EXPECT_EQ((std::vector<int32_t>{0, 400, 800, 1000}), callback.progress_seen);
  EXPECT_EQ((std::vector<std::string>{"", "ctx1", "ctx2", "ctx3"}),
            callback.contexts_seen);
  EXPECT_EQ((std::vector<int32_t>{1, 1, 1}), config.adaptations);
  EXPECT_EQ(StringList{"http://extra/lbs"}, config.extra);
}

TEST_F(JovUploadTaskTest, AFileOfExactlyOnePartIsSentComplete) {
  config.part_size = 2500;
  ASSERT_EQ(0, RunUpload());
  ASSERT_EQ(1u, services.Parts().size());
  EXPECT_NE(std::string::npos,
            services.Parts()[0].url.find("offset=0&complete=true&version="));
}

TEST_F(JovUploadTaskTest, ImageAndOtherTypesGetTheirContentType) {
  info.type = "image";
  info.extension = "png";
  ASSERT_EQ(0, RunUpload());
  EXPECT_EQ("image/png", services.Parts()[0].headers["Content-Type"]);
  services = FakeServices();
  info.type = "other";
  ASSERT_EQ(0, RunUpload());
  EXPECT_EQ(0u, services.Parts()[0].headers.count("Content-Type"));
}

TEST_F(JovUploadTaskTest, AnInvalidTaskSendsNothing) {
  const std::function<void(JovUploadTaskTest*)> breakers[] = {
      [](JovUploadTaskTest* t) { t->info.values[kJovValueToken] = ""; },
      [](JovUploadTaskTest* t) { t->info.name = ""; },
      [](JovUploadTaskTest* t) { t->info.extension = ""; },
  };
  for (const auto& breaker : breakers) {
    FakeInfo fresh(Bytes(10));
    info.values = fresh.values;
    info.name = fresh.name;
    info.extension = fresh.extension;
    breaker(this);
    result.clear();
    EXPECT_EQ(kJovUploadInvalid, RunUpload());
    EXPECT_EQ(1u, result.count("error"));
  }
  IJovUploadTask* task =
      CreateJovUploadTask(&config, &info, nullptr, &locks, nullptr);
  EXPECT_EQ(kJovUploadInvalid, task->Upload(result));
  DestroyJovUploadTask(task);
  EXPECT_EQ(nullptr, CreateJovUploadTask(nullptr, &info, &factory, &locks,
                                         nullptr));
  EXPECT_EQ(nullptr, CreateJovUploadTask(&config, nullptr, &factory, &locks,
                                         nullptr));
  EXPECT_TRUE(services.seen.empty());
}

TEST_F(JovUploadTaskTest, LbsFailuresMoveToTheNextEndpoint) {
  struct Case {
    const char* name;
    Reply first_lbs;
  } cases[] = {
      {"server error", Status(500, "down")},
      {"not json", Status(200, "<html>")},
      {"array root", Status(200, "[]")},
      {"number root", Status(200, "123")},
      {"refusal", Status(200, "{\"Code\":\"E1\",\"Message\":\"no\"}")},
      {"no lbs text", Status(200, "{\"upload\":[\"http://s1\"]}")},
      {"servers not strings", Status(200, "{\"upload\":[1],\"lbs\":\"\"}")},
      {"empty list", Status(200, "{\"upload\":[],\"lbs\":\"\"}")},
      {"only other schemes",
       Status(200, "{\"upload\":[\"file:///c:/x\",\"ftp://s\"],\"lbs\":\"\"}")},
      {"dropped", TransportFailure(7)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    services.scripted["http://lbs1/"].push_back(c.first_lbs);
    ASSERT_EQ(0, RunUpload());
    EXPECT_EQ(Bytes(2500), services.stored);
    EXPECT_EQ(0u, services.seen[1].url.find("http://lbs2/lbs?"));
    ASSERT_FALSE(callback.messages.empty());
    EXPECT_EQ(0u, callback.messages[0].find("Get Upload IPS Failed code ("));
    // Only web addresses are ever contacted.
    for (const SeenRequest& request : services.seen)
      EXPECT_EQ(0u, request.url.find("http://"));
  }
}

TEST_F(JovUploadTaskTest, WithoutAnyLbsAnswerItUsesTheServersItHas) {
  for (const char* lbs : {"http://lbs1/", "http://lbs2/", "http://extra"})
    services.scripted[lbs] = {Status(500), Status(500)};
  config.extra = {"http://extra/lbs"};
  EXPECT_EQ(kJovUploadNoServers, RunUpload());
  EXPECT_EQ(3u, services.seen.size());
  EXPECT_EQ(1u, result.count("error"));
  EXPECT_TRUE(services.Parts().empty());

  services.seen.clear();
  callback = FakeCallback();
  config.servers = {"http://s2"};
  result.clear();
  ASSERT_EQ(0, RunUpload());
  EXPECT_TRUE(callback.Told(
      "Get UploadIPS Failed, Use Last Upload Server ips\xA1\xA3"));
  EXPECT_EQ(0u, services.Parts()[0].url.find("http://s2/"));
}

TEST_F(JovUploadTaskTest, NoRequestObjectEndsTheLbsQuery) {
  factory.refuse = true;
  EXPECT_EQ(kJovUploadNoRequest, RunUpload());
  EXPECT_EQ(1u, result.count("error"));
}

TEST_F(JovUploadTaskTest, AnEmptyFileIsRefusedAfterTheLbsQuery) {
  info.stream = JovDataStream("");
  EXPECT_EQ(kJovUploadEmptyFile, RunUpload());
  EXPECT_EQ(1u, services.seen.size());
  EXPECT_TRUE(services.Parts().empty());
}

TEST_F(JovUploadTaskTest, AContextResumesWhereTheServiceSays) {
  struct Case {
    const char* name;
    Reply offset_reply;
    size_t first_offset;
    const char* message;
  } cases[] = {
      {"stored offset", Status(200, "{\"offset\":1000}"), 1000, nullptr},
      {"floating offset", Status(200, "{\"offset\":2000.0}"), 2000, nullptr},
      {"expired", Status(404), 0,
       "Context is Expired restart upload from begin."},
      {"unusable body", Status(200, "{\"offset\":\"1000\"}"), 0, nullptr},
      {"offset past the end", Status(200, "{\"offset\":2501}"), 0, nullptr},
      {"negative offset", Status(200, "{\"offset\":-5}"), 0, nullptr},
      {"huge offset", Status(200, "{\"offset\":1e300}"), 0, nullptr},
      {"offset at the end", Status(200, "{\"offset\":2500}"), 2500, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    info.values[kJovValueContext] = "old ctx&x=1";
    // What the service holds for this context.
    services.stored = Bytes(2500).substr(0, c.first_offset);
    services.scripted["http://s1/crash%20bucket/dir%2Fobj%201?uploadContext"]
        .push_back(c.offset_reply);
    ASSERT_EQ(0, RunUpload());
    EXPECT_EQ(Bytes(2500), services.stored);
    EXPECT_EQ(
        "http://s1/crash%20bucket/dir%2Fobj%201?uploadContext"
        "&context=old%20ctx%26x%3D1&version=1.0",
        services.seen[1].url);
    EXPECT_EQ("tok", services.seen[1].headers["x-jov-token"]);
    if (c.message) {
      EXPECT_TRUE(callback.Told(c.message));
    }
    const std::vector<SeenRequest> parts = services.Parts();
    if (c.first_offset == 2500) {
      EXPECT_TRUE(parts.empty());
      EXPECT_EQ((std::vector<int32_t>{1000}), callback.progress_seen);
    } else {
      ASSERT_FALSE(parts.empty());
      EXPECT_EQ(std::to_string(c.first_offset),
                QueryValue(parts[0].url, "offset"));
      EXPECT_EQ("old%20ctx%26x%3D1", QueryValue(parts[0].url, "context"));
    }
  }
}

TEST_F(JovUploadTaskTest, OffsetQueryAsksEachServerOnceThenGivesUp) {
  info.values[kJovValueContext] = "c";
  services.scripted["http://s1/"] = {Status(500, "busy")};
  services.scripted["http://s2/"] = {TransportFailure(28)};
  EXPECT_EQ(kJovUploadNoOffset, RunUpload());
  // One LBS query, then one offset query per server (retry count 2).
  ASSERT_EQ(3u, services.seen.size());
  EXPECT_TRUE(services.Parts().empty());
  EXPECT_TRUE(callback.Told(
      "UpdateOffset Exception Http Failed(0), Status Code(500), Msg(10)"));
  EXPECT_TRUE(callback.Told(
      "UpdateOffset Exception Http Failed(28), Status Code(0), Msg(28)"));
}

// Where a part goes next when the first server answers |reply| |times| in
// a row; every part starts again at the first server.
TEST_F(JovUploadTaskTest, PartRepliesDecideRetryFailoverOrEnd) {
  const std::string kPartReply =
      "{\"requestId\":\"r\",\"context\":\"c\",\"callbackRetMsg\":\"\",";
  struct Case {
    const char* name;
    Reply reply;
    int times;
    int32_t code;
    std::vector<std::string> servers;  // of the part posts, in order
    const char* message;               // told about the reply
    int adapt_down;                    // AdaptPartSize(-1) calls
  } cases[] = {
      {"500", Status(500), 1, 0, {"s1", "s2", "s1", "s1"}, nullptr, 1},
      {"799", Status(799), 1, 0, {"s1", "s2", "s1", "s1"}, nullptr, 1},
      {"899", Status(899), 1, 0, {"s1", "s2", "s1", "s1"}, nullptr, 1},
      {"no response", TransportFailure(56), 1, 0, {"s1", "s2", "s1", "s1"},
       nullptr, 1},
      {"502 once", Status(502), 1, 0, {"s1", "s1", "s1", "s1"},
       "UploadOffset Failed Http Status Code(502) Code(0)", 1},
      {"502 twice", Status(502), 2, 0, {"s1", "s1", "s2", "s1", "s1"},
       "UploadOffset Failed Http Status Code(502) Code(0)", 2},
      {"400", Status(400), 1, kJovUploadPartFailed, {"s1"},
       "UploadOffset Faile Http Failed Bad Request(400)", 0},
      {"403", Status(403), 1, kJovUploadPartFailed, {"s1"},
       "UploadOffset Faile Http Failed Invalid Token(403)", 0},
      {"520", Status(520), 1, kJovUploadPartFailed, {"s1"},
       "UploadOffset Faile Http Failed Callback error(520)", 0},
      {"wrong offset", Status(200, kPartReply + "\"offset\":999}"), 1,
       kJovUploadPartFailed, {"s1"}, nullptr, 0},
      {"offset out of range", Status(200, kPartReply + "\"offset\":1e300}"),
       1, kJovUploadPartFailed, {"s1"}, nullptr, 0},
      {"no callbackRetMsg",
       Status(200, "{\"requestId\":\"r\",\"context\":\"c\",\"offset\":1000}"),
       1, kJovUploadPartFailed, {"s1"}, nullptr, 0},
      {"array root", Status(200, "[1000]"), 1, kJovUploadPartFailed, {"s1"},
       nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    services.scripted["http://s1/"].assign(c.times, c.reply);
    EXPECT_EQ(c.code, RunUpload());
    std::vector<std::string> servers;
    for (const SeenRequest& part : services.Parts())
      servers.push_back(part.url.substr(7, 2));
    EXPECT_EQ(c.servers, servers);
    if (c.message) {
      EXPECT_TRUE(callback.Told(c.message));
    }
    int adapt_down = 0;
    for (int32_t r : config.adaptations) adapt_down += r < 1;
    EXPECT_EQ(c.adapt_down, adapt_down);
    EXPECT_EQ(c.code != 0, result.count("error") == 1);
    EXPECT_TRUE(callback.ToldPrefix(
        "UploadOffset Failed No Retry Host(http://s1/) Http Status Code(" +
        std::to_string(c.reply.status) + ") Code("));
    if (c.code == 0) {
      EXPECT_EQ(Bytes(2500), services.stored);
    }
  }
}

TEST_F(JovUploadTaskTest, EveryServerFailingEndsWithEight) {
  services.scripted["http://s1/"] = {Status(500)};
  services.scripted["http://s2/"] = {Status(502), Status(502)};
  EXPECT_EQ(kJovUploadPartFailed, RunUpload());
  EXPECT_EQ(3u, services.Parts().size());
  EXPECT_EQ("", result["context"]);
  EXPECT_EQ(1u, result.count("error"));
}

TEST_F(JovUploadTaskTest, ANegativeProgressReplyCancels) {
  callback.progress_reply = -1;
  EXPECT_EQ(kJovUploadCancelled, RunUpload());
  EXPECT_TRUE(services.Parts().empty());
}

TEST_F(JovUploadTaskTest, CancelFromAnotherThreadStopsTheExchangeInFlight) {
  IJovUploadTask* task =
      CreateJovUploadTask(&config, &info, &factory, &locks, &callback);
  HANDLE in_flight = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE cancelled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  services.during_perform = [&] {
    // The LBS query passes; the first part is held.
    if (services.seen.empty()) return;
    SetEvent(in_flight);
    // The exchange blocks until the other thread has cancelled it.
    WaitForSingleObject(cancelled, 10000);
  };
  std::thread canceller([&] {
    WaitForSingleObject(in_flight, 10000);
    task->Cancel();
    SetEvent(cancelled);
  });
  const int32_t code = task->Upload(result);
  canceller.join();
  EXPECT_EQ(kJovUploadCancelled, code);
  EXPECT_EQ(1, services.cancels);
  // The first part was in flight; nothing followed it.
  EXPECT_EQ(1u, services.Parts().size());
  DestroyJovUploadTask(task);
  CloseHandle(in_flight);
  CloseHandle(cancelled);
}

}  // namespace
}  // namespace jov_upload
