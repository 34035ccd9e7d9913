// The abstract classes between the object-storage upload client and the
// product side, which supplies the HTTP transport, the locks, the
// configuration, the file and the message sink.

#ifndef UPLOAD_JOV_UPLOAD_JOV_UPLOAD_INTERFACES_H_
#define UPLOAD_JOV_UPLOAD_JOV_UPLOAD_INTERFACES_H_

#include <stdint.h>

#include <list>
#include <map>
#include <string>

namespace jov_upload {

typedef std::list<std::string> StringList;
typedef std::map<std::string, std::string> StringMap;

// Ids of IJovUploadInfo values.
enum JovUploadValueId {
  kJovValueToken = 0,
  kJovValueBucket = 1,
  kJovValueObjectKey = 2,
  kJovValueContext = 4,
};

class IJovUploadTask {
 public:
  class IJovUploadTaskCallBack {
   public:
    // |progress| in thousandths; a negative result cancels the upload.
    virtual int32_t OnProgress(int32_t progress, StringMap* result) = 0;
    virtual int32_t OnMessage(const char* text) = 0;

   protected:
    ~IJovUploadTaskCallBack() = default;
  };

  virtual ~IJovUploadTask() = default;
  virtual int32_t Upload(StringMap& result) = 0;
  // May come from another thread while Upload runs.
  virtual void Cancel() = 0;
};

class IJovUploadConfig {
 public:
  virtual ~IJovUploadConfig() = default;
  virtual void GetLbsUrls(StringList* urls) = 0;
  // Asked after the regular LBS URLs.
  virtual void GetExtraLbsUrls(StringList* urls) = 0;
  virtual void GetUploadServers(StringList* servers) = 0;
  virtual int32_t GetRetryCount() = 0;
  virtual int32_t GetPartSize() = 0;
  virtual void SetUploadServers(const StringList& servers) = 0;
  virtual void SetExtraLbsUrls(const StringList& urls) = 0;
  // |result| below 1 after a failed part, 1 or more after a stored part.
  virtual void AdaptPartSize(int32_t result) = 0;
};

// A readable, seekable byte source.
class IJovUploadStream {
 public:
  virtual ~IJovUploadStream() = default;
  // 0 when opened.
  virtual int32_t Open() = 0;
  virtual void Close() = 0;
  // Bytes read, 0 at the end, negative on error.
  virtual int64_t Read(void* buffer, uint64_t count) = 0;
  // The new position, negative on error.
  virtual int64_t Seek(int64_t position) = 0;
  virtual int64_t Size() = 0;
  virtual int32_t LastError() = 0;
};

class IJovUploadInfo {
 public:
  virtual ~IJovUploadInfo() = default;
  // Owned by the info.
  virtual IJovUploadStream* GetStream() = 0;
  virtual std::string GetExtension() = 0;
  virtual std::string GetName() = 0;
  virtual std::string GetType() = 0;
  virtual std::string GetValue(int32_t id) = 0;
  virtual void SetValue(int32_t id, const std::string& value) = 0;
};

class IJovHttpRequestInfo {
 public:
  virtual ~IJovHttpRequestInfo() = default;
  virtual void GetUrl(std::string* url) = 0;
  virtual void GetMethod(std::string* method) = 0;
  // Null when the request has no body stream.
  virtual IJovUploadStream* GetBodyStream() = 0;
  virtual void GetHeaders(StringMap* headers) = 0;
};

class IJovHttpRequestResult {
 public:
  virtual ~IJovHttpRequestResult() = default;
  // The transport's own result; 0 when the exchange completed.
  virtual void SetCode(int32_t code) = 0;
  virtual void SetStatus(int32_t status) = 0;
  virtual void SetBody(const std::string& body) = 0;
  virtual void SetHeaders(const StringList& lines) = 0;
  virtual void SetReserved(int32_t value) = 0;
};

class IJovHttpRequest {
 public:
  virtual ~IJovHttpRequest() = default;
  // 0 when the exchange completed; status and body go to the result record.
  virtual int32_t Perform() = 0;
  // May come from another thread while Perform runs.
  virtual void Cancel() = 0;
};

class IJovHttpRequestFactory {
 public:
  virtual ~IJovHttpRequestFactory() = default;
  // Null when no request could be made.
  virtual IJovHttpRequest* CreateRequest(IJovHttpRequestInfo* info,
                                         IJovHttpRequestResult* result) = 0;
  virtual void DestroyRequest(IJovHttpRequest* request) = 0;
};

// Need not be re-entrant: the client never takes a lock it holds.
class IJovLock {
 public:
  virtual ~IJovLock() = default;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class IJovLockFactory {
 public:
  virtual ~IJovLockFactory() = default;
  virtual IJovLock* CreateLock() = 0;
  virtual void DestroyLock(IJovLock* lock) = 0;
};

}  // namespace jov_upload

#endif  // UPLOAD_JOV_UPLOAD_JOV_UPLOAD_INTERFACES_H_
