// A file-system path in Windows syntax. Pure string manipulation: nothing
// here touches the disk, and every operation returns a new value.

#ifndef BASE_FILE_PATH_H_
#define BASE_FILE_PATH_H_

#include <string>
#include <vector>

#include "base/string_piece.h"

namespace base {

class Pickle;
class PickleIterator;

class FilePath {
 public:
  typedef std::wstring StringType;
  typedef StringType::value_type CharType;

  // Both separators are recognised; only the first is ever written.
  static const CharType kSeparators[];
  static const CharType kCurrentDirectory[];
  static const CharType kParentDirectory[];
  static const CharType kExtensionSeparator;

  FilePath();
  // Cuts |path| at its first NUL unit.
  explicit FilePath(const StringType& path);
  FilePath(const FilePath& that);
  ~FilePath();
  FilePath& operator=(const FilePath& that);

  bool operator==(const FilePath& that) const;
  bool operator!=(const FilePath& that) const;

  const StringType& value() const { return path_; }
  bool empty() const { return path_.empty(); }
  void clear() { path_.clear(); }

  static bool IsSeparator(CharType character);

  // -1, 0 or 1; each unit compared upper-cased.
  static int CompareIgnoreCase(const StringType& string1,
                               const StringType& string2);

  FilePath DirName() const;
  FilePath BaseName() const;
  StringType Extension() const;
  FilePath RemoveExtension() const;
  FilePath InsertBeforeExtension(const StringType& suffix) const;
  FilePath InsertBeforeExtensionASCII(const StringPiece& suffix) const;
  FilePath AddExtension(const StringType& extension) const;
  FilePath ReplaceExtension(const StringType& extension) const;
  bool MatchesExtension(const StringType& extension) const;

  FilePath Append(const StringType& component) const;
  FilePath Append(const FilePath& component) const;
  FilePath AppendASCII(const StringPiece& component) const;

  // Appends to |path| the components of |child| below this path. With a
  // null |path| only tells whether this path is a parent of |child|.
  bool AppendRelativePath(const FilePath& child, FilePath* path) const;
  bool IsParent(const FilePath& child) const;

  bool IsAbsolute() const;
  bool EndsWithSeparator() const;
  FilePath AsEndingWithSeparator() const;
  FilePath StripTrailingSeparators() const;
  FilePath NormalizePathSeparators() const;

  // Drive ("X:"), root, then each component in order.
  void GetComponents(std::vector<StringType>* components) const;
  bool ReferencesParent() const;

  std::string AsUTF8Unsafe() const;
  static FilePath FromUTF8Unsafe(const StringPiece& utf8);
  // Empty unless every unit is ASCII.
  std::string MaybeAsASCII() const;

  // The path as one UTF-16 string. Reading refuses a string with a NUL
  // unit, which no path holds, leaving this path unchanged.
  void WriteToPickle(Pickle* pickle) const;
  bool ReadFromPickle(PickleIterator* iter);

 private:
  void StripTrailingSeparatorsInternal();

  StringType path_;
};

}  // namespace base

#endif  // BASE_FILE_PATH_H_
