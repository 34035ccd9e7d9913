#include "base/file_path.h"

#include <windows.h>

#include "base/pickle.h"
#include "base/utf_string_conversions.h"


namespace base {

namespace {

typedef FilePath::StringType StringType;
typedef FilePath::CharType CharType;

const CharType kStripWhitespaceAndDots[] = L". \n\r\t";
const CharType* const kCommonDoubleExtensionSuffixes[] = {L"gz", L"z", L"bz2"};
const CharType* const kCommonDoubleExtensions[] = {L"user.js"};

StringType CutAtNul(const StringType& text) {
  StringType::size_type nul = text.find(L'\0');
  return nul == StringType::npos ? text : text.substr(0, nul);
}

bool IsAsciiLetter(CharType c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Index of the ':' of a leading drive letter, or npos.
StringType::size_type FindDriveLetter(const StringType& path) {
  if (path.length() >= 2 && path[1] == L':' && IsAsciiLetter(path[0]))
    return 1;
  return StringType::npos;
}

CharType AsciiLower(CharType c) {
  return (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c;
}

bool EqualsAsciiIgnoringCase(const StringType& a, const CharType* b) {
  StringType::size_type i = 0;
  for (; i < a.length(); ++i) {
    if (b[i] == L'\0' || AsciiLower(a[i]) != AsciiLower(b[i]))
      return false;
  }
  return b[i] == L'\0';
}

CharType UpperUnit(CharType c) {
  return static_cast<CharType>(reinterpret_cast<ULONG_PTR>(
      ::CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

bool EqualDriveLetterCaseInsensitive(const StringType& a,
                                     const StringType& b) {
  StringType::size_type a_letter = FindDriveLetter(a);
  StringType::size_type b_letter = FindDriveLetter(b);
  if (a_letter == StringType::npos || b_letter == StringType::npos)
    return a == b;
  if (AsciiLower(a[0]) != AsciiLower(b[0]))
    return false;
  return a.compare(a_letter + 1, StringType::npos, b, b_letter + 1,
                   StringType::npos) == 0;
}

bool IsEmptyOrSpecialCase(const StringType& path) {
  return path.empty() || path == FilePath::kCurrentDirectory ||
         path == FilePath::kParentDirectory;
}

StringType::size_type FindLastSeparator(const StringType& path,
                                        StringType::size_type before) {
  return path.find_last_of(FilePath::kSeparators, before);
}

// Index of the '.' that begins the extension of |path|, or npos.
StringType::size_type ExtensionSeparatorPosition(const StringType& path) {
  if (path == FilePath::kCurrentDirectory || path == FilePath::kParentDirectory)
    return StringType::npos;
  const StringType::size_type last_dot =
      path.rfind(FilePath::kExtensionSeparator);
  if (last_dot == StringType::npos || last_dot == 0)
    return last_dot;
  const StringType::size_type penultimate_dot =
      path.rfind(FilePath::kExtensionSeparator, last_dot - 1);
  const StringType::size_type last_separator =
      FindLastSeparator(path, last_dot - 1);
  if (penultimate_dot == StringType::npos ||
      (last_separator != StringType::npos &&
       penultimate_dot < last_separator)) {
    return last_dot;
  }
  const StringType after_penultimate = path.substr(penultimate_dot + 1);
  for (const CharType* double_extension : kCommonDoubleExtensions) {
    if (EqualsAsciiIgnoringCase(after_penultimate, double_extension))
      return penultimate_dot;
  }
  const StringType after_last = path.substr(last_dot + 1);
  for (const CharType* suffix : kCommonDoubleExtensionSuffixes) {
    if (EqualsAsciiIgnoringCase(after_last, suffix) &&
        last_dot - penultimate_dot >= 2 && last_dot - penultimate_dot <= 5) {
      return penultimate_dot;
    }
  }
  return last_dot;
}

StringType WidenAscii(const StringPiece& text) {
  StringType wide;
  wide.reserve(text.size());
  for (char c : text)
    wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace

const CharType FilePath::kSeparators[] = L"\\/";
const CharType FilePath::kCurrentDirectory[] = L".";
const CharType FilePath::kParentDirectory[] = L"..";
const CharType FilePath::kExtensionSeparator = L'.';

FilePath::FilePath() {}

FilePath::FilePath(const StringType& path) : path_(CutAtNul(path)) {}

FilePath::FilePath(const FilePath& that) : path_(that.path_) {}

FilePath::~FilePath() {}

FilePath& FilePath::operator=(const FilePath& that) {
  if (this != &that)
    path_ = that.path_;
  return *this;
}

bool FilePath::operator==(const FilePath& that) const {
  return EqualDriveLetterCaseInsensitive(path_, that.path_);
}

bool FilePath::operator!=(const FilePath& that) const {
  return !(*this == that);
}

// static
bool FilePath::IsSeparator(CharType character) {
  return character == kSeparators[0] || character == kSeparators[1];
}

// static
int FilePath::CompareIgnoreCase(const StringType& string1,
                                const StringType& string2) {
  const StringType::size_type common =
      string1.length() < string2.length() ? string1.length()
                                          : string2.length();
  for (StringType::size_type i = 0; i < common; ++i) {
    const CharType c1 = UpperUnit(string1[i]);
    const CharType c2 = UpperUnit(string2[i]);
    if (c1 < c2)
      return -1;
    if (c1 > c2)
      return 1;
  }
  if (string1.length() < string2.length())
    return -1;
  if (string1.length() > string2.length())
    return 1;
  return 0;
}

FilePath FilePath::DirName() const {
  FilePath new_path(path_);
  new_path.StripTrailingSeparatorsInternal();

  StringType& path = new_path.path_;
  const StringType::size_type letter = FindDriveLetter(path);
  const StringType::size_type last_separator =
      path.find_last_of(kSeparators, StringType::npos);
  // Written as "letter + n" with letter == npos wrapping to n - 1.
  if (last_separator == StringType::npos) {
    path.resize(letter + 1);
  } else if (last_separator == letter + 1) {
    path.resize(letter + 2);
  } else if (last_separator == letter + 2 && IsSeparator(path[letter + 1])) {
    path.resize(letter + 3);
  } else {
    path.resize(last_separator);
  }

  new_path.StripTrailingSeparatorsInternal();
  if (path.empty())
    path = kCurrentDirectory;
  return new_path;
}

FilePath FilePath::BaseName() const {
  FilePath new_path(path_);
  new_path.StripTrailingSeparatorsInternal();

  StringType& path = new_path.path_;
  const StringType::size_type letter = FindDriveLetter(path);
  if (letter != StringType::npos)
    path.erase(0, letter + 1);

  const StringType::size_type last_separator =
      path.find_last_of(kSeparators, StringType::npos);
  if (last_separator != StringType::npos &&
      last_separator < path.length() - 1) {
    path.erase(0, last_separator + 1);
  }
  return new_path;
}

StringType FilePath::Extension() const {
  const StringType base = BaseName().path_;
  const StringType::size_type dot = ExtensionSeparatorPosition(base);
  if (dot == StringType::npos)
    return StringType();
  return base.substr(dot);
}

FilePath FilePath::RemoveExtension() const {
  if (Extension().empty())
    return *this;
  const StringType::size_type dot = ExtensionSeparatorPosition(path_);
  if (dot == StringType::npos)
    return *this;
  return FilePath(path_.substr(0, dot));
}

FilePath FilePath::InsertBeforeExtension(const StringType& suffix) const {
  if (suffix.empty())
    return *this;
  if (IsEmptyOrSpecialCase(BaseName().path_))
    return FilePath();
  return FilePath(RemoveExtension().path_ + suffix + Extension());
}

FilePath FilePath::InsertBeforeExtensionASCII(const StringPiece& suffix) const {
  return InsertBeforeExtension(WidenAscii(suffix));
}

FilePath FilePath::AddExtension(const StringType& extension) const {
  if (IsEmptyOrSpecialCase(BaseName().path_))
    return FilePath();
  if (extension.empty() || extension == StringType(1, kExtensionSeparator))
    return *this;
  StringType str = path_;
  if (extension[0] != kExtensionSeparator &&
      *(str.end() - 1) != kExtensionSeparator) {
    str.push_back(kExtensionSeparator);
  }
  str.append(extension);
  return FilePath(str);
}

FilePath FilePath::ReplaceExtension(const StringType& extension) const {
  if (IsEmptyOrSpecialCase(BaseName().path_))
    return FilePath();
  FilePath no_extension = RemoveExtension();
  if (extension.empty() || extension == StringType(1, kExtensionSeparator))
    return no_extension;
  StringType str = no_extension.path_;
  if (extension[0] != kExtensionSeparator)
    str.push_back(kExtensionSeparator);
  str.append(extension);
  return FilePath(str);
}

bool FilePath::MatchesExtension(const StringType& extension) const {
  const StringType current = Extension();
  if (current.length() != extension.length())
    return false;
  for (StringType::size_type i = 0; i < current.length(); ++i) {
    if (UpperUnit(current[i]) != UpperUnit(extension[i]))
      return false;
  }
  return true;
}

FilePath FilePath::Append(const StringType& component) const {
  const StringType appended = CutAtNul(component);
  if (path_ == kCurrentDirectory)
    return FilePath(appended);

  FilePath new_path(path_);
  new_path.StripTrailingSeparatorsInternal();
  StringType& path = new_path.path_;
  if (!appended.empty() && !path.empty() &&
      !IsSeparator(path[path.length() - 1]) &&
      !(FindDriveLetter(path) + 1 == path.length())) {
    path.push_back(kSeparators[0]);
  }
  path.append(appended);
  return new_path;
}

FilePath FilePath::Append(const FilePath& component) const {
  return Append(component.value());
}

FilePath FilePath::AppendASCII(const StringPiece& component) const {
  return Append(WidenAscii(component));
}

bool FilePath::AppendRelativePath(const FilePath& child,
                                  FilePath* path) const {
  std::vector<StringType> parent_components;
  std::vector<StringType> child_components;
  GetComponents(&parent_components);
  child.GetComponents(&child_components);

  if (parent_components.empty() ||
      parent_components.size() >= child_components.size()) {
    return false;
  }

  std::vector<StringType>::const_iterator parent_it = parent_components.begin();
  std::vector<StringType>::const_iterator child_it = child_components.begin();
  // Drive letters compare case-insensitively, everything else exactly.
  if (FindDriveLetter(*parent_it) != StringType::npos &&
      FindDriveLetter(*child_it) != StringType::npos) {
    if (!EqualDriveLetterCaseInsensitive(*parent_it, *child_it))
      return false;
    ++parent_it;
    ++child_it;
  }
  for (; parent_it != parent_components.end(); ++parent_it, ++child_it) {
    if (*parent_it != *child_it)
      return false;
  }
  if (path) {
    for (; child_it != child_components.end(); ++child_it)
      *path = path->Append(*child_it);
  }
  return true;
}

bool FilePath::IsParent(const FilePath& child) const {
  return AppendRelativePath(child, nullptr);
}

bool FilePath::IsAbsolute() const {
  const StringType::size_type letter = FindDriveLetter(path_);
  if (letter != StringType::npos) {
    return path_.length() > letter + 1 && IsSeparator(path_[letter + 1]);
  }
  return path_.length() > 1 && IsSeparator(path_[0]) && IsSeparator(path_[1]);
}

bool FilePath::EndsWithSeparator() const {
  return !path_.empty() && IsSeparator(path_[path_.length() - 1]);
}

FilePath FilePath::AsEndingWithSeparator() const {
  if (empty() || EndsWithSeparator())
    return *this;
  return FilePath(path_ + kSeparators[0]);
}

FilePath FilePath::StripTrailingSeparators() const {
  FilePath new_path(path_);
  new_path.StripTrailingSeparatorsInternal();
  return new_path;
}

FilePath FilePath::NormalizePathSeparators() const {
  StringType copy = path_;
  for (CharType& c : copy) {
    if (c == kSeparators[1])
      c = kSeparators[0];
  }
  return FilePath(copy);
}

void FilePath::GetComponents(std::vector<StringType>* components) const {
  if (!components)
    return;
  components->clear();
  if (path_.empty())
    return;

  std::vector<StringType> reversed;
  FilePath current = *this;
  FilePath base;
  while (current != current.DirName()) {
    base = current.BaseName();
    if (base.path_.find_first_not_of(kSeparators) != StringType::npos)
      reversed.push_back(base.path_);
    current = current.DirName();
  }
  base = current.BaseName();
  if (!base.path_.empty() && base.path_ != kCurrentDirectory)
    reversed.push_back(base.path_);

  const FilePath dir = current.DirName();
  const StringType::size_type letter = FindDriveLetter(dir.path_);
  if (letter != StringType::npos)
    reversed.push_back(dir.path_.substr(0, letter + 1));

  components->assign(reversed.rbegin(), reversed.rend());
}

bool FilePath::ReferencesParent() const {
  std::vector<StringType> components;
  GetComponents(&components);
  for (const StringType& component : components) {
    if (component.find_first_not_of(kStripWhitespaceAndDots) ==
            StringType::npos &&
        component.find(kParentDirectory) != StringType::npos) {
      return true;
    }
  }
  return false;
}

std::string FilePath::AsUTF8Unsafe() const {
  return WideToUTF8(path_);
}

// static
FilePath FilePath::FromUTF8Unsafe(const StringPiece& utf8) {
  return FilePath(UTF8ToWide(utf8));
}

std::string FilePath::MaybeAsASCII() const {
  std::string ascii;
  ascii.reserve(path_.length());
  for (CharType c : path_) {
    if (c > 0x7F)
      return std::string();
    ascii.push_back(static_cast<char>(c));
  }
  return ascii;
}

void FilePath::WriteToPickle(Pickle* pickle) const {
  pickle->WriteString16(path_);
}

bool FilePath::ReadFromPickle(PickleIterator* iter) {
  StringType text;
  if (!iter->ReadString16(&text)) return false;
  if (text.find(L'\0') != StringType::npos) return false;
  path_.swap(text);
  return true;
}

void FilePath::StripTrailingSeparatorsInternal() {
  // start is 3 after "X:", else 1 (npos + 2 wraps to 1): a lone leading
  // separator, and the one right after the drive, always stay.
  const StringType::size_type start = FindDriveLetter(path_) + 2;
  StringType::size_type last_stripped = StringType::npos;
  for (StringType::size_type pos = path_.length();
       pos > start && IsSeparator(path_[pos - 1]); --pos) {
    // A leading pair of separators stays when it is all there is.
    if (pos != start + 1 || last_stripped == start + 2 ||
        !IsSeparator(path_[start - 1])) {
      path_.resize(pos - 1);
      last_stripped = pos;
    }
  }
}

}  // namespace base
