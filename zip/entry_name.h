// How an entry's name is stored. A name the ANSI code page holds exactly
// stays in that code page, as archives have always carried it; any other
// name is stored as UTF-8 and marked by general-purpose flag bit 11, so that
// two different names never become the same bytes.

#ifndef ZIP_ENTRY_NAME_H_
#define ZIP_ENTRY_NAME_H_

#include <stdint.h>

#include <string>

namespace zip {

// General-purpose flag bit 11: the name is UTF-8.
const uint16_t kFlagUtf8Name = 0x800;

struct StoredName {
  std::string bytes;
  bool utf8 = false;
};

// |name| as it is stored, every '\' turned into '/' (before the code page
// conversion: a double-byte character may end in the byte '\'). False when
// |name| has no faithful form (a lone surrogate, say).
bool StoreName(const std::wstring& name, StoredName* stored);

// The name that |bytes| stand for: UTF-8 when |utf8|, else the ANSI code
// page.
std::wstring NameFromStored(const std::string& bytes, bool utf8);

}  // namespace zip

#endif  // ZIP_ENTRY_NAME_H_
