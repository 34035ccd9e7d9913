#include "base/vlog.h"

#include <atomic>

#include "base/logging.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(VlogTest, VSwitchSetsTheMinimumLevel) {
  struct Case {
    const char* v;
    int expected_min_level;
  };
  const Case kCases[] = {
      {"", 0},    {"abc", 0}, {"3", -3},  {"+2", -2}, {"2x", 0},
      {" 1", 0},  {"0", 0},
      // Negative values must never lift the level above ERROR_REPORT, so
      // FATAL records stay visible; the negation of INT_MIN must not wrap.
      {"-1", 1},  {"-5", LOG_ERROR_REPORT}, {"-2147483648", LOG_ERROR_REPORT},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.v);
    std::atomic<int> min_level{0};
    VlogInfo vlog_info(c.v, "", &min_level);
    EXPECT_EQ(c.expected_min_level, min_level.load());
    EXPECT_EQ(-c.expected_min_level, vlog_info.GetVlogLevel("any.cc"));
  }
}

TEST(VlogTest, VmodulePatternsChooseTheLevelPerFile) {
  std::atomic<int> min_level{0};
  VlogInfo vlog_info("1", "foo=3,foo*=4,dir/baz.cc=5,b?z=6,foo=7,broken=x",
                     &min_level);
  struct Case {
    const char* file;
    int expected_level;
  };
  const Case kCases[] = {
      {"dir\\foo.cc", 3},         {"foo-inl.h", 3},
      {"a/b/foo.h", 3},           {"foobar.cc", 4},
      {"x\\dir\\baz.cc", 6},      {"dir\\baz.cc", 5},
      {"dir/baz.cc", 5},          {"boz.cc", 6},
      {"broken.cc", 0},           {"other.cc", 1},
      {"fo.cc", 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(c.expected_level, vlog_info.GetVlogLevel(c.file));
  }
}

TEST(VlogTest, MatchVlogPattern) {
  struct Case {
    const char* text;
    const char* pattern;
    bool matches;
  };
  const Case kCases[] = {
      {"", "", true},           {"", "*", true},
      {"a", "", false},         {"", "a", false},
      {"foo", "foo", true},     {"foo", "fo", false},
      {"foo", "foo?", false},   {"foo", "f?o", true},
      {"foobar", "foo*", true}, {"foo", "foo*", true},
      {"foobar", "*bar", true}, {"foobaz", "*bar", false},
      {"a/b", "a\\b", true},    {"a\\b", "a/b", true},
      {"a?b", "a\\b", false},   {"abcbd", "a*b*d", true},
      {"abc", "a**c", true},    {"x/y/z.cc", "*/z.cc", true},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(c.matches, MatchVlogPattern(c.text, c.pattern))
        << c.text << " ~ " << c.pattern;
  }
}

}  // namespace
}  // namespace base
