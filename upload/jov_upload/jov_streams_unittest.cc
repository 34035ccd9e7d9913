#include "upload/jov_upload/jov_streams.h"

#include <string>

#include "gtest/gtest.h"

namespace jov_upload {
namespace {

std::string Digits() { return "0123456789abcdefghijklmnopqrstuvwxyz"; }

// Gives at most |limit| bytes per read, or fails reads once |fail| is set.
class ShortReadStream : public JovDataStream {
 public:
  ShortReadStream(const std::string& data, uint64_t limit)
      : JovDataStream(data), limit_(limit) {}
  int64_t Read(void* buffer, uint64_t count) override {
    if (fail) return -1;
    return JovDataStream::Read(buffer, count < limit_ ? count : limit_);
  }
  int32_t LastError() override { return fail ? 31 : 0; }
  bool fail = false;

 private:
  uint64_t limit_;
};

TEST(JovPartFileStreamTest, ReadsItsWindowThenEnds) {
  JovDataStream inner(Digits());
  JovPartFileStream part(&inner, 10, 10);
  char buffer[64] = {};
  EXPECT_EQ(10, part.Size());
  EXPECT_EQ(10, part.Read(buffer, sizeof(buffer)));
  EXPECT_EQ("abcdefghij", std::string(buffer, 10));
  EXPECT_EQ(0, part.Read(buffer, sizeof(buffer)));
  EXPECT_EQ(10, part.Position());
}

TEST(JovPartFileStreamTest, AdvancesByWhatWasReadNotWhatWasAsked) {
  ShortReadStream inner(Digits(), 3);
  JovPartFileStream part(&inner, 10, 10);
  std::string all;
  char buffer[64];
  int64_t read = 0;
  while ((read = part.Read(buffer, sizeof(buffer))) > 0)
    all.append(buffer, static_cast<size_t>(read));
  EXPECT_EQ("abcdefghij", all);
}

TEST(JovPartFileStreamTest, SeekAndErrors) {
  ShortReadStream inner(Digits(), 100);
  JovPartFileStream part(&inner, 10, 10);
  char buffer[4];
  EXPECT_EQ(-1, part.Seek(-1));
  EXPECT_EQ(-1, part.Seek(11));
  EXPECT_EQ(8, part.Seek(8));
  EXPECT_EQ(8, part.Position());
  EXPECT_EQ(2, part.Read(buffer, sizeof(buffer)));
  EXPECT_EQ("ij", std::string(buffer, 2));
  part.Seek(0);
  inner.fail = true;
  EXPECT_GT(0, part.Read(buffer, sizeof(buffer)));
  EXPECT_EQ(31, part.LastError());
  EXPECT_EQ(0, part.Position());
  JovPartFileStream orphan(nullptr, 0, 10);
  EXPECT_EQ(-1, orphan.Read(buffer, sizeof(buffer)));
  EXPECT_EQ(-1, orphan.Seek(0));
}

TEST(JovDataStreamTest, ReadsSeeksAndEnds) {
  JovDataStream stream("hello");
  char buffer[8];
  EXPECT_EQ(0, stream.Open());
  EXPECT_EQ(3, stream.Read(buffer, 3));
  EXPECT_EQ(2, stream.Read(buffer, 8));
  EXPECT_EQ("lo", std::string(buffer, 2));
  EXPECT_EQ(0, stream.Read(buffer, 8));
  EXPECT_EQ(-1, stream.Seek(6));
  EXPECT_EQ(-1, stream.Seek(-1));
  EXPECT_EQ(1, stream.Seek(1));
  EXPECT_EQ(1, stream.Position());
  EXPECT_EQ(5, stream.Size());
}

}  // namespace
}  // namespace jov_upload
