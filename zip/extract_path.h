// Where extraction may write: only below the reader's base folder.

#ifndef ZIP_EXTRACT_PATH_H_
#define ZIP_EXTRACT_PATH_H_

#include <string>

namespace zip {

// False for a path that could leave the folder it is joined to: empty,
// rooted ('/' or '\' first), a drive (':' second), or holding a parent
// reference ("../" or "..\" anywhere, or ".." as its last component).
bool IsContainedRelativePath(const std::wstring& path);

// Creates base + each folder of |folders| in turn ('/' or '\' between
// them); existing folders are left alone. False when one cannot be made.
bool CreateFolderChain(const std::wstring& base, const std::wstring& folders);

}  // namespace zip

#endif  // ZIP_EXTRACT_PATH_H_
