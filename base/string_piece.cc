#include "base/string_piece.h"

#include <algorithm>
#include <ostream>

namespace base {

const StringPiece::size_type StringPiece::npos = static_cast<size_type>(-1);

namespace {

// Byte-membership table over a set of bytes, for the *_of searches.
class ByteSet {
 public:
  explicit ByteSet(const StringPiece& s) {
    std::fill(std::begin(present_), std::end(present_), false);
    for (char c : s) present_[static_cast<unsigned char>(c)] = true;
  }
  bool Has(char c) const { return present_[static_cast<unsigned char>(c)]; }

 private:
  bool present_[256];
};

}  // namespace

int StringPiece::compare(const StringPiece& x) const {
  const size_type min_length = std::min(length_, x.length_);
  int r = min_length ? std::memcmp(ptr_, x.ptr_, min_length) : 0;
  if (r != 0) return r;
  if (length_ < x.length_) return -1;
  if (length_ > x.length_) return 1;
  return 0;
}

void StringPiece::CopyToString(std::string* target) const {
  if (empty()) {
    target->clear();
    return;
  }
  target->assign(ptr_, length_);
}

void StringPiece::AppendToString(std::string* target) const {
  if (!empty()) target->append(ptr_, length_);
}

StringPiece::size_type StringPiece::copy(char* buf, size_type n,
                                         size_type pos) const {
  if (pos >= length_) return 0;
  const size_type count = std::min(n, length_ - pos);
  std::memcpy(buf, ptr_ + pos, count);
  return count;
}

StringPiece::size_type StringPiece::find(const StringPiece& s,
                                         size_type pos) const {
  if (pos > length_) return npos;
  const char* result = std::search(ptr_ + pos, ptr_ + length_, s.ptr_,
                                   s.ptr_ + s.length_);
  const size_type offset = static_cast<size_type>(result - ptr_);
  return offset + s.length_ <= length_ ? offset : npos;
}

StringPiece::size_type StringPiece::find(char c, size_type pos) const {
  if (pos >= length_) return npos;
  const char* result = std::find(ptr_ + pos, ptr_ + length_, c);
  return result != ptr_ + length_ ? static_cast<size_type>(result - ptr_)
                                  : npos;
}

StringPiece::size_type StringPiece::rfind(const StringPiece& s,
                                          size_type pos) const {
  if (length_ < s.length_) return npos;
  if (s.empty()) return std::min(length_, pos);
  const char* last = ptr_ + std::min(length_ - s.length_, pos) + s.length_;
  const char* result = std::find_end(ptr_, last, s.ptr_, s.ptr_ + s.length_);
  return result != last ? static_cast<size_type>(result - ptr_) : npos;
}

StringPiece::size_type StringPiece::rfind(char c, size_type pos) const {
  if (length_ == 0) return npos;
  for (size_type i = std::min(pos, length_ - 1);; --i) {
    if (ptr_[i] == c) return i;
    if (i == 0) break;
  }
  return npos;
}

StringPiece::size_type StringPiece::find_first_of(const StringPiece& s,
                                                  size_type pos) const {
  if (length_ == 0 || s.length_ == 0) return npos;
  if (s.length_ == 1) return find(s.ptr_[0], pos);
  const ByteSet set(s);
  for (size_type i = pos; i < length_; ++i) {
    if (set.Has(ptr_[i])) return i;
  }
  return npos;
}

StringPiece::size_type StringPiece::find_first_not_of(const StringPiece& s,
                                                      size_type pos) const {
  if (length_ == 0) return npos;
  if (s.length_ == 0) return 0;
  if (s.length_ == 1) return find_first_not_of(s.ptr_[0], pos);
  const ByteSet set(s);
  for (size_type i = pos; i < length_; ++i) {
    if (!set.Has(ptr_[i])) return i;
  }
  return npos;
}

StringPiece::size_type StringPiece::find_first_not_of(char c,
                                                      size_type pos) const {
  if (length_ == 0) return npos;
  for (; pos < length_; ++pos) {
    if (ptr_[pos] != c) return pos;
  }
  return npos;
}

StringPiece::size_type StringPiece::find_last_of(const StringPiece& s,
                                                 size_type pos) const {
  if (length_ == 0 || s.length_ == 0) return npos;
  if (s.length_ == 1) return rfind(s.ptr_[0], pos);
  const ByteSet set(s);
  for (size_type i = std::min(pos, length_ - 1);; --i) {
    if (set.Has(ptr_[i])) return i;
    if (i == 0) break;
  }
  return npos;
}

StringPiece::size_type StringPiece::find_last_not_of(const StringPiece& s,
                                                     size_type pos) const {
  if (length_ == 0) return npos;
  size_type i = std::min(pos, length_ - 1);
  if (s.length_ == 0) return i;
  if (s.length_ == 1) return find_last_not_of(s.ptr_[0], pos);
  const ByteSet set(s);
  for (;; --i) {
    if (!set.Has(ptr_[i])) return i;
    if (i == 0) break;
  }
  return npos;
}

StringPiece::size_type StringPiece::find_last_not_of(char c,
                                                     size_type pos) const {
  if (length_ == 0) return npos;
  for (size_type i = std::min(pos, length_ - 1);; --i) {
    if (ptr_[i] != c) return i;
    if (i == 0) break;
  }
  return npos;
}

StringPiece StringPiece::substr(size_type pos, size_type n) const {
  if (pos > length_) pos = length_;
  if (n > length_ - pos) n = length_ - pos;
  return StringPiece(ptr_ + pos, n);
}

bool operator==(const StringPiece& x, const StringPiece& y) {
  if (x.size() != y.size()) return false;
  return x.size() == 0 || std::memcmp(x.data(), y.data(), x.size()) == 0;
}

std::ostream& operator<<(std::ostream& o, const StringPiece& piece) {
  o.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  return o;
}

}  // namespace base
