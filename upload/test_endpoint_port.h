// Settings of a test build read from environment variables: the loopback
// port of a fake service, and shorter time-outs.

#ifndef UPLOAD_TEST_ENDPOINT_PORT_H_
#define UPLOAD_TEST_ENDPOINT_PORT_H_

#include <string>

// The decimal port in |variable|, or the discard port ("9") when it is
// unset or not a port: nothing listens there, so a test that forgot to name
// its fake fails fast and stays on this machine.
std::wstring ReadTestEndpointPort(const wchar_t* variable);

// The decimal count of milliseconds in |variable| when it is one from 1 to
// |longest|, else |fallback|.
int ReadTestTimeoutMs(const wchar_t* variable, int fallback, int longest);

#endif  // UPLOAD_TEST_ENDPOINT_PORT_H_
