#include "zip/entry_name.h"

#include <windows.h>

#include <algorithm>

#include "base/sys_string_conversions.h"
#include "base/utf_string_conversions.h"

namespace zip {

bool StoreName(const std::wstring& given, StoredName* stored) {
  std::wstring name = given;
  std::replace(name.begin(), name.end(), L'\\', L'/');
  // Best-fit mapping turns what the code page lacks into look-alikes
  // ("Ŝ" into "S"): only a round trip that gives the name back is exact.
  const std::string ansi = base::SysWideToMultiByte(name, CP_ACP);
  if (base::SysMultiByteToWide(ansi, CP_ACP) == name) {
    stored->bytes = ansi;
    stored->utf8 = false;
    return true;
  }
  stored->utf8 = true;
  return base::WideToUTF8(name.data(), name.size(), &stored->bytes);
}

std::wstring NameFromStored(const std::string& bytes, bool utf8) {
  if (!utf8) return base::SysMultiByteToWide(bytes, CP_ACP);
  std::wstring wide;
  base::UTF8ToWide(bytes.data(), bytes.size(), &wide);
  return wide;
}

}  // namespace zip
