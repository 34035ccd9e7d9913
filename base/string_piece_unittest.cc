#include "base/string_piece.h"

#include <sstream>

#include "gtest/gtest.h"

namespace base {
namespace {

const StringPiece::size_type npos = StringPiece::npos;

TEST(StringPieceTest, ConstructionAndCopies) {
  EXPECT_TRUE(StringPiece().empty());
  EXPECT_TRUE(StringPiece(static_cast<const char*>(nullptr)).empty());
  const std::string with_nul("a\0b", 3);
  EXPECT_EQ(3u, StringPiece(with_nul).size());
  EXPECT_EQ(with_nul, StringPiece(with_nul).as_string());
  EXPECT_EQ("", StringPiece().as_string());
  std::string target = "stale";
  StringPiece().CopyToString(&target);
  EXPECT_EQ("", target);
  StringPiece("xyz").CopyToString(&target);
  EXPECT_EQ("xyz", target);
}

TEST(StringPieceTest, Copy) {
  const StringPiece piece("abcdef");
  char buffer[8] = "-------";
  EXPECT_EQ(3u, piece.copy(buffer, 3, 2));
  EXPECT_EQ(std::string("cde----"), buffer);
  EXPECT_EQ(2u, piece.copy(buffer, 10, 4));
  EXPECT_EQ(std::string("efe----"), buffer);
  // A position at or past the end copies nothing.
  EXPECT_EQ(0u, piece.copy(buffer, 3, 6));
  EXPECT_EQ(0u, piece.copy(buffer, 3, 100));
  EXPECT_EQ(std::string("efe----"), buffer);
}

TEST(StringPieceTest, Find) {
  const StringPiece a("abcabc");
  const StringPiece empty;
  EXPECT_EQ(0u, a.find("abc"));
  EXPECT_EQ(3u, a.find("abc", 1));
  EXPECT_EQ(npos, a.find("abc", 4));
  EXPECT_EQ(npos, a.find("abcd"));
  EXPECT_EQ(6u, a.find("", 6));
  EXPECT_EQ(npos, a.find("", 7));
  EXPECT_EQ(0u, empty.find(""));
  EXPECT_EQ(2u, a.find('c'));
  EXPECT_EQ(5u, a.find('c', 3));
  EXPECT_EQ(npos, a.find('c', 6));
  EXPECT_EQ(npos, empty.find('c'));

  EXPECT_EQ(3u, a.rfind("abc"));
  EXPECT_EQ(0u, a.rfind("abc", 2));
  EXPECT_EQ(npos, a.rfind("abcabcx"));
  EXPECT_EQ(6u, a.rfind(""));
  EXPECT_EQ(2u, a.rfind("", 2));
  EXPECT_EQ(5u, a.rfind('c'));
  EXPECT_EQ(2u, a.rfind('c', 4));
  EXPECT_EQ(npos, a.rfind('x'));
  EXPECT_EQ(npos, empty.rfind('a'));
}

TEST(StringPieceTest, FindOf) {
  const StringPiece a("hello, world");
  const StringPiece empty;
  EXPECT_EQ(2u, a.find_first_of("lw"));
  EXPECT_EQ(7u, a.find_first_of("wr", 5));
  EXPECT_EQ(4u, a.find_first_of("o"));
  EXPECT_EQ(npos, a.find_first_of(""));
  EXPECT_EQ(npos, empty.find_first_of("a"));
  EXPECT_EQ(npos, a.find_first_of("xyz"));

  EXPECT_EQ(1u, a.find_first_not_of("h"));
  EXPECT_EQ(4u, a.find_first_not_of("hel"));
  EXPECT_EQ(0u, a.find_first_not_of("", 5));  // Whatever the position.
  EXPECT_EQ(npos, empty.find_first_not_of(""));
  EXPECT_EQ(npos, StringPiece("aaa").find_first_not_of('a'));
  EXPECT_EQ(npos, a.find_first_not_of('h', 12));

  EXPECT_EQ(11u, a.find_last_of("ld"));
  EXPECT_EQ(3u, a.find_last_of("l", 9));
  EXPECT_EQ(4u, a.find_last_of("eo", 7));
  EXPECT_EQ(npos, a.find_last_of(""));
  EXPECT_EQ(npos, a.find_last_of("xyz"));

  EXPECT_EQ(10u, a.find_last_not_of("d"));
  EXPECT_EQ(9u, a.find_last_not_of("ld"));
  EXPECT_EQ(11u, a.find_last_not_of(""));
  EXPECT_EQ(3u, a.find_last_not_of("", 3));
  EXPECT_EQ(npos, StringPiece("aaa").find_last_not_of('a'));
  EXPECT_EQ(npos, StringPiece("ab").find_last_not_of("ab"));
  EXPECT_EQ(npos, empty.find_last_not_of('a'));
}

TEST(StringPieceTest, SubstrAndComparison) {
  const StringPiece a("abcdef");
  EXPECT_EQ("cd", a.substr(2, 2));
  EXPECT_EQ("cdef", a.substr(2));
  EXPECT_EQ("ef", a.substr(4, 100));
  const StringPiece past = a.substr(10);
  EXPECT_TRUE(past.empty());
  EXPECT_EQ(a.data() + a.size(), past.data());  // At the end.

  EXPECT_TRUE(StringPiece("abc") == StringPiece("abc"));
  EXPECT_TRUE(StringPiece("abc") != StringPiece("abd"));
  EXPECT_TRUE(StringPiece() == StringPiece(""));
  EXPECT_TRUE(StringPiece("ab") < StringPiece("abc"));
  EXPECT_TRUE(StringPiece("b") > StringPiece("abc"));
  EXPECT_TRUE(a.starts_with("abc"));
  EXPECT_TRUE(a.ends_with("def"));
  EXPECT_FALSE(a.ends_with("abcdefg"));
}

TEST(StringPieceTest, StreamOutput) {
  std::ostringstream out;
  out << StringPiece("a\0b", 3) << StringPiece();
  EXPECT_EQ(std::string("a\0b", 3), out.str());
  EXPECT_TRUE(out.good());
}

}  // namespace
}  // namespace base
