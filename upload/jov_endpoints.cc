#include "upload/jov_endpoints.h"

#if defined(QV_TEST_ENDPOINTS)
#include "upload/test_endpoint_port.h"
#endif

namespace valmora {

namespace {

const char kCrashBucket[] = "qvcrash";

#if !defined(QV_TEST_ENDPOINTS)

// Reserved names that never resolve: the real hosts are set by the
// deployment, and a build without them reaches nothing.
const char* const kLbsUrls[] = {
    "http://lbs.jov.quillavera.invalid/lbs",
    "http://lbs-region-a.jov.quillavera.invalid/lbs",
    "http://lbs-region-b.jov.quillavera.invalid/lbs",
    "http://lbs-overseas.jov.quillavera.invalid/lbs",
};

#endif

}  // namespace

jov_upload::StringList GetJovLbsUrls() {
#if defined(QV_TEST_ENDPOINTS)
  const std::wstring wide_port = ReadTestEndpointPort(L"QV_TEST_LBS_PORT");
  // Digits only.
  const std::string host =
      "http://127.0.0.1:" + std::string(wide_port.begin(), wide_port.end());
  return {host + "/general/lbs", host + "/region-a/lbs",
          host + "/region-b/lbs", host + "/overseas/lbs"};
#else
  return jov_upload::StringList(std::begin(kLbsUrls), std::end(kLbsUrls));
#endif
}

const char* GetJovCrashBucket() { return kCrashBucket; }

}  // namespace valmora
