// Reads JSON documents with the base library's reader and writes each back
// with its writer, for the corpus test that compares both against Python.
//
//   ipc_json_corpus_tool.exe <input> <output>
//
// Each input line is one document in hexadecimal (so any byte may occur).
// Each output line is "OK " and the written JSON text, or "ERR " and the
// reader's error code.

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/string_number_conversions.h"
#include "base/utf_string_conversions.h"
#include "base/values.h"

namespace {

std::string ProcessDocument(const std::string& hex_line) {
  std::vector<uint8_t> bytes;
  if (!hex_line.empty() && !base::HexStringToBytes(hex_line, &bytes))
    return "BAD-INPUT";
  const std::string document(bytes.begin(), bytes.end());
  int error_code = -1;
  std::string error_message;
  std::unique_ptr<base::Value> root(base::JSONReader::ReadAndReturnError(
      document, base::JSON_PARSE_RFC, &error_code, &error_message));
  if (!root) return "ERR " + std::to_string(error_code);
  std::string json;
  base::JSONWriter::Write(root.get(), &json);
  return "OK " + json;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ipc_json_corpus_tool <input> <output>\n");
    return 1;
  }
  std::ifstream input(base::WideToUTF8(argv[1]).c_str(), std::ios::binary);
  std::ofstream output(base::WideToUTF8(argv[2]).c_str(), std::ios::binary);
  if (!input || !output) return 2;
  for (std::string line; std::getline(input, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    output << ProcessDocument(line) << '\n';
  }
  return output ? 0 : 3;
}
