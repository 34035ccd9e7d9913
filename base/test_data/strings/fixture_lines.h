#ifndef BASE_TEST_DATA_STRINGS_FIXTURE_LINES_H_
#define BASE_TEST_DATA_STRINGS_FIXTURE_LINES_H_

// Reads a fixture of this folder (or of a sibling one) as whitespace-separated
// fields per line, skipping '#' comments. Test-only.

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace base {
namespace test {

// |folder| is a folder of base\test_data.
inline std::vector<std::vector<std::string>> ReadFixture(
    const wchar_t* name, const wchar_t* folder = L"strings") {
  std::vector<std::vector<std::string>> rows;
  const std::wstring path = std::wstring(QV_TEST_SOURCE_DIR) +
                            L"\\base\\test_data\\" + folder + L"\\" + name;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return rows;
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, n);
  fclose(file);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::vector<std::string> row;
    std::string field;
    while (fields >> field) row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

inline uint64_t ParseHex64(const std::string& hex) {
  return std::stoull(hex, nullptr, 16);
}

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_DATA_STRINGS_FIXTURE_LINES_H_
