// The full path of |file_name| in the folder of the running program: the
// stand-ins and probes a test starts are built beside it. Usage:
//
//   #include "testing/test_support/program_beside.h"
//   std::wstring peer = ProgramBesideThisOne(L"ipc_peer_window.exe");
#ifndef TESTING_TEST_SUPPORT_PROGRAM_BESIDE_H_
#define TESTING_TEST_SUPPORT_PROGRAM_BESIDE_H_

#include <string>

std::wstring ThisProgram();
std::wstring ProgramBesideThisOne(const std::wstring& file_name);

#endif  // TESTING_TEST_SUPPORT_PROGRAM_BESIDE_H_
