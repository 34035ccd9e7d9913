// The loopback port of a fake service in a test build, from an environment
// variable.

#ifndef UPLOAD_TEST_ENDPOINT_PORT_H_
#define UPLOAD_TEST_ENDPOINT_PORT_H_

#include <string>

// The decimal port in |variable|, or the discard port ("9") when it is
// unset or not a port: nothing listens there, so a test that forgot to name
// its fake fails fast and stays on this machine.
std::wstring ReadTestEndpointPort(const wchar_t* variable);

#endif  // UPLOAD_TEST_ENDPOINT_PORT_H_
