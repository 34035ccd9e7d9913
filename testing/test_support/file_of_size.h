// A file of a given length (zeros) made without writing its bytes, for tests
// of size limits. Usage:
//
//   #include "testing/test_support/file_of_size.h"
//   ASSERT_TRUE(MakeFileOfSize(folder.Path(L"big.log"), 10 << 20));
#ifndef TESTING_TEST_SUPPORT_FILE_OF_SIZE_H_
#define TESTING_TEST_SUPPORT_FILE_OF_SIZE_H_

#include <stdint.h>

#include <string>

// Creates or truncates |path| and sets its length to |size|.
bool MakeFileOfSize(const std::wstring& path, int64_t size);

#endif  // TESTING_TEST_SUPPORT_FILE_OF_SIZE_H_
