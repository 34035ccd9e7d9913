#ifndef BASE_STRING_PIECE_H_
#define BASE_STRING_PIECE_H_

#include <cstddef>
#include <cstring>
#include <iosfwd>
#include <string>

namespace base {

// A non-owning view of narrow text: a pointer and a length. The bytes are not
// NUL-terminated and must outlive the piece.
class StringPiece {
 public:
  typedef size_t size_type;
  typedef const char* const_iterator;

  static const size_type npos;

  StringPiece() : ptr_(nullptr), length_(0) {}
  StringPiece(const char* str)  // NOLINT(runtime/explicit)
      : ptr_(str), length_(str ? std::strlen(str) : 0) {}
  StringPiece(const std::string& str)  // NOLINT(runtime/explicit)
      : ptr_(str.data()), length_(str.size()) {}
  StringPiece(const char* data, size_type length)
      : ptr_(data), length_(length) {}

  const char* data() const { return ptr_; }
  size_type size() const { return length_; }
  size_type length() const { return length_; }
  bool empty() const { return length_ == 0; }

  void clear() {
    ptr_ = nullptr;
    length_ = 0;
  }
  void set(const char* data, size_type length) {
    ptr_ = data;
    length_ = length;
  }
  void set(const char* str) {
    ptr_ = str;
    length_ = str ? std::strlen(str) : 0;
  }

  char operator[](size_type i) const { return ptr_[i]; }

  void remove_prefix(size_type n) {
    ptr_ += n;
    length_ -= n;
  }
  void remove_suffix(size_type n) { length_ -= n; }

  int compare(const StringPiece& x) const;

  std::string as_string() const {
    return empty() ? std::string() : std::string(ptr_, length_);
  }
  void CopyToString(std::string* target) const;
  void AppendToString(std::string* target) const;

  bool starts_with(const StringPiece& x) const {
    return length_ >= x.length_ && std::memcmp(ptr_, x.ptr_, x.length_) == 0;
  }
  bool ends_with(const StringPiece& x) const {
    return length_ >= x.length_ &&
           std::memcmp(ptr_ + (length_ - x.length_), x.ptr_, x.length_) == 0;
  }

  const_iterator begin() const { return ptr_; }
  const_iterator end() const { return ptr_ + length_; }

  size_type max_size() const { return length_; }
  size_type capacity() const { return length_; }

  // Copies at most n bytes starting at pos into buf and returns the count. A
  // pos at or beyond the end copies nothing.
  size_type copy(char* buf, size_type n, size_type pos = 0) const;

  size_type find(const StringPiece& s, size_type pos = 0) const;
  size_type find(char c, size_type pos = 0) const;
  size_type rfind(const StringPiece& s, size_type pos = npos) const;
  size_type rfind(char c, size_type pos = npos) const;

  size_type find_first_of(const StringPiece& s, size_type pos = 0) const;
  size_type find_first_of(char c, size_type pos = 0) const {
    return find(c, pos);
  }
  size_type find_first_not_of(const StringPiece& s, size_type pos = 0) const;
  size_type find_first_not_of(char c, size_type pos = 0) const;
  size_type find_last_of(const StringPiece& s, size_type pos = npos) const;
  size_type find_last_of(char c, size_type pos = npos) const {
    return rfind(c, pos);
  }
  size_type find_last_not_of(const StringPiece& s, size_type pos = npos) const;
  size_type find_last_not_of(char c, size_type pos = npos) const;

  StringPiece substr(size_type pos, size_type n = npos) const;

 private:
  const char* ptr_;
  size_type length_;
};

bool operator==(const StringPiece& x, const StringPiece& y);
inline bool operator!=(const StringPiece& x, const StringPiece& y) {
  return !(x == y);
}
inline bool operator<(const StringPiece& x, const StringPiece& y) {
  return x.compare(y) < 0;
}
inline bool operator>(const StringPiece& x, const StringPiece& y) {
  return y < x;
}
inline bool operator<=(const StringPiece& x, const StringPiece& y) {
  return !(x > y);
}
inline bool operator>=(const StringPiece& x, const StringPiece& y) {
  return !(x < y);
}

// Writes the bytes; a short write sets the stream's bad bit.
std::ostream& operator<<(std::ostream& o, const StringPiece& piece);

}  // namespace base

#endif  // BASE_STRING_PIECE_H_
