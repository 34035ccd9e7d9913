#include "base/pickle.h"

#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/file_path.h"
#include "base/test_data/strings/fixture_lines.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string BytesOf(const Pickle& pickle) {
  return std::string(static_cast<const char*>(pickle.data()), pickle.size());
}

const string16 kWideText(L"h\x00e9\xD83D\xDE00");
const char kFiveBytes[] = {0, 1, 2, 3, 4};

// The writers of the cases that make_fixtures.py lays out with struct.
std::map<std::string, std::function<void(Pickle*)>> FixtureWriters() {
  return {
      {"integers",
       [](Pickle* p) {
         p->WriteInt(1);
         p->WriteInt(-2);
         p->WriteBool(true);
         p->WriteUInt16(0xBEEF);
         p->WriteUInt32(0xDEADBEEF);
         p->WriteInt64(-3);
         p->WriteUInt64(0x0123456789ABCDEFull);
         p->WriteBool(false);
       }},
      {"strings",
       [](Pickle* p) {
         p->WriteString("abc");
         p->WriteString("");
         p->WriteString16(kWideText);
         p->WriteData(kFiveBytes, 5);
       }},
      {"abc", [](Pickle* p) { p->WriteString("abc"); }},
      {"short_tail",
       [](Pickle* p) {
         p->WriteInt(7);
         p->WriteUInt16(0x1234);
       }},
      {"wide_header",
       [](Pickle* p) {
         p->WriteInt(7);
         p->WriteWString(L"xyz");
       }},
      {"trimmed",
       [](Pickle* p) {
         char* buffer = p->BeginWriteData(10);
         memcpy(buffer, "0123456789", 10);
         p->TrimWriteData(3);
         p->WriteInt(5);
       }},
  };
}

TEST(PickleTest, LayoutMatchesStructFixtures) {
  const auto rows = test::ReadFixture(L"pickle_layout.txt", L"pickle");
  ASSERT_EQ(6u, rows.size());
  auto writers = FixtureWriters();
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    ASSERT_EQ(1u, writers.count(row[0]));
    const int header_size = std::stoi(row[1]);
    // 13 rounds up to the fixture's 16.
    Pickle pickle(header_size == 4 ? 4 : header_size - 3);
    writers[row[0]](&pickle);
    EXPECT_EQ(static_cast<size_t>(header_size), pickle.header_size());
    EXPECT_EQ(FromHex(row[2]), BytesOf(pickle));
  }
}

TEST(PickleTest, ReadsStructFixturesBack) {
  std::map<std::string, std::string> bytes;
  for (const auto& row : test::ReadFixture(L"pickle_layout.txt", L"pickle"))
    bytes[row[0]] = FromHex(row[2]);

  const std::string& ints = bytes["integers"];
  Pickle integers(ints.data(), static_cast<int>(ints.size()));
  EXPECT_EQ(Pickle::kCapacityReadOnly, integers.capacity());
  PickleIterator it(integers);
  int i1, i2;
  bool b1, b2;
  uint16_t u16;
  uint32_t u32;
  int64_t i64;
  uint64_t u64;
  ASSERT_TRUE(it.ReadInt(&i1) && it.ReadInt(&i2) && it.ReadBool(&b1) &&
              it.ReadUInt16(&u16) && it.ReadUInt32(&u32) &&
              it.ReadInt64(&i64) && it.ReadUInt64(&u64) && it.ReadBool(&b2));
  EXPECT_EQ(1, i1);
  EXPECT_EQ(-2, i2);
  EXPECT_TRUE(b1);
  EXPECT_FALSE(b2);
  EXPECT_EQ(0xBEEF, u16);
  EXPECT_EQ(0xDEADBEEFu, u32);
  EXPECT_EQ(-3, i64);
  EXPECT_EQ(0x0123456789ABCDEFull, u64);
  EXPECT_EQ(0u, it.RemainingBytes());
  EXPECT_FALSE(it.ReadInt(&i1));

  const std::string& strs = bytes["strings"];
  Pickle strings(strs.data(), static_cast<int>(strs.size()));
  PickleIterator sit(strings);
  std::string abc, empty;
  string16 wide;
  const char* data;
  int length;
  ASSERT_TRUE(sit.ReadString(&abc) && sit.ReadString(&empty) &&
              sit.ReadString16(&wide) && sit.ReadData(&data, &length));
  EXPECT_EQ("abc", abc);
  EXPECT_EQ("", empty);
  EXPECT_EQ(kWideText, wide);
  ASSERT_EQ(5, length);
  EXPECT_EQ(0, memcmp(kFiveBytes, data, 5));

  // The last value's padding is not part of the payload: a 2-byte value
  // at the end reads, and the position stops at the end, not past it.
  const std::string& tail = bytes["short_tail"];
  Pickle short_tail(tail.data(), static_cast<int>(tail.size()));
  PickleIterator tit(short_tail);
  ASSERT_TRUE(tit.ReadInt(&i1) && tit.ReadUInt16(&u16));
  EXPECT_EQ(0x1234, u16);
  EXPECT_EQ(0u, tit.RemainingBytes());
  EXPECT_FALSE(tit.ReadBool(&b1));

  const std::string& wide_header = bytes["wide_header"];
  Pickle with_header(wide_header.data(), static_cast<int>(wide_header.size()));
  EXPECT_EQ(16u, with_header.header_size());
}

enum class Read { kNone, kInt, kBool, kUInt16, kInt64, kString, kString16, kData };

struct HostileCase {
  const char* name;
  std::string bytes;
  bool refused;  // the header itself is refused
  Read read;     // the read tried on an accepted pickle
  bool read_ok;
};

std::string U32(uint32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), 4);
}

// Tries every reader until each fails; none may crash or step past the end.
void ReadEverything(const Pickle& pickle) {
  PickleIterator it(pickle);
  for (int round = 0; round < 64 && it.RemainingBytes() > 0; ++round) {
    const size_t before = it.RemainingBytes();
    std::string s;
    string16 w;
    const char* d;
    int n;
    int64_t v;
    if (!it.ReadString(&s) && !it.ReadString16(&w) && !it.ReadData(&d, &n) &&
        !it.ReadInt64(&v))
      break;
    EXPECT_LE(it.RemainingBytes(), before);
  }
}

TEST(PickleTest, HostileBuffersAreRefusedNotTrusted) {
  const HostileCase cases[] = {
      {"empty", "", true, Read::kNone, false},
      {"three bytes", std::string("\0\0\0", 3), true, Read::kNone, false},
      {"payload larger than data", U32(0xFFFFFFFF) + U32(0), true, Read::kNone,
       false},
      {"payload 4 more than data", U32(12) + U32(0), true, Read::kNone,
       false},
      {"payload one more than data", U32(9) + U32(0), true, Read::kNone, false},
      {"no room for a header", U32(8) + U32(0), true, Read::kNone, false},
      {"header of 2 bytes", U32(6) + U32(0), true, Read::kNone, false},
      {"header of 5 bytes", U32(3) + std::string("\0abc", 4), true, Read::kNone,
       false},
      {"int from 3 bytes", U32(3) + std::string("abc"), false, Read::kInt,
       false},
      {"int64 from 4 bytes", U32(4) + U32(1), false, Read::kInt64, false},
      {"uint16 from 2 bytes", U32(2) + std::string("ab"), false, Read::kUInt16,
       true},
      {"bool from 1 byte", U32(1) + std::string("\1", 1), false, Read::kBool,
       true},
      {"string of length -1", U32(4) + U32(0xFFFFFFFF), false, Read::kString,
       false},
      {"string of length INT_MAX", U32(8) + U32(0x7FFFFFFF) + "abcd", false,
       Read::kString, false},
      {"string one byte short", U32(8) + U32(5) + "abcd", false, Read::kString,
       false},
      {"string16 of length 0x40000000", U32(8) + U32(0x40000000) + "abcd",
       false, Read::kString16, false},
      {"string16 of length -1", U32(4) + U32(0xFFFFFFFF), false, Read::kString16,
       false},
      {"string16 odd bytes", U32(7) + U32(2) + "abc", false, Read::kString16,
       false},
      {"data of length -5", U32(8) + U32(0xFFFFFFFB) + "abcd", false,
       Read::kData, false},
      {"data of length 0x7FFFFFFD", U32(8) + U32(0x7FFFFFFD) + "abcd", false,
       Read::kData, false},
      {"string then garbage",
       U32(12) + U32(3) + std::string("abc\0", 4) + "\xFF\xFF\xFF\xFF",
       false, Read::kString, true},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Foreign data need not be aligned: read it one byte into a buffer.
    std::string buffer = "x" + c.bytes;
    Pickle pickle(buffer.data() + 1, static_cast<int>(c.bytes.size()));
    if (c.refused) {
      EXPECT_EQ(nullptr, pickle.data());
      EXPECT_EQ(0u, pickle.header_size());
      EXPECT_EQ(0u, pickle.size());
      Pickle copy(pickle);
      Pickle assigned;
      assigned = pickle;
      EXPECT_EQ(0u, copy.size());
      EXPECT_EQ(nullptr, assigned.data());
      int value = 42;
      EXPECT_FALSE(PickleIterator(copy).ReadInt(&value));
      EXPECT_EQ(42, value);
      continue;
    }
    ASSERT_NE(nullptr, pickle.data());
    PickleIterator it(pickle);
    int i = 0;
    bool b = false;
    uint16_t u = 0;
    int64_t l = 0;
    std::string s = "untouched";
    string16 w = L"untouched";
    const char* d = "";
    int n = 0;
    bool ok = false;
    switch (c.read) {
      case Read::kInt: ok = it.ReadInt(&i); break;
      case Read::kBool: ok = it.ReadBool(&b); break;
      case Read::kUInt16: ok = it.ReadUInt16(&u); break;
      case Read::kInt64: ok = it.ReadInt64(&l); break;
      case Read::kString: ok = it.ReadString(&s); break;
      case Read::kString16: ok = it.ReadString16(&w); break;
      case Read::kData: ok = it.ReadData(&d, &n); break;
      case Read::kNone: break;
    }
    EXPECT_EQ(c.read_ok, ok);
    if (!ok) {
      EXPECT_EQ("untouched", s);
      EXPECT_EQ(L"untouched", w);
    }
    EXPECT_LE(it.RemainingBytes(), pickle.payload_size());
    ReadEverything(pickle);
  }
}

TEST(PickleTest, GrowthAndCapacity) {
  Pickle pickle;
  EXPECT_EQ(64u, pickle.capacity());
  EXPECT_EQ(0u, pickle.payload_size());
  const std::string raw(61, 'r');
  ASSERT_TRUE(pickle.WriteBytes(raw.data(), 61));
  EXPECT_EQ(128u, pickle.capacity());

  Pickle abc;
  abc.WriteString("abc");
  EXPECT_EQ(7u, abc.payload_size());
  abc.WriteInt(9);
  EXPECT_EQ(12u, abc.payload_size());  // the int started at offset 8

  // A copy owns its own buffer and outlives the original's changes.
  Pickle copy(abc);
  abc.WriteInt(10);
  EXPECT_EQ(12u, copy.payload_size());
  Pickle assigned(20);
  assigned = copy;
  EXPECT_EQ(4u, assigned.header_size());
  EXPECT_EQ(BytesOf(copy), BytesOf(assigned));
}

TEST(PickleTest, RefusesNegativeLengths) {
  Pickle pickle;
  pickle.WriteInt(1);
  const std::string before = BytesOf(pickle);
  EXPECT_FALSE(pickle.WriteBytes("abcd", -1));
  EXPECT_FALSE(pickle.WriteData("abcd", -4));
  EXPECT_EQ(nullptr, pickle.BeginWriteData(-1));
  EXPECT_EQ(before, BytesOf(pickle));
}

// Reaches the growth step directly: a real payload near 4 GiB is too big
// for a test.
class GrowthProbe : public Pickle {
 public:
  using Pickle::BeginWrite;
};

TEST(PickleTest, RefusesGrowthPastSizeLimits) {
  GrowthProbe pickle;
  pickle.WriteInt(1);
  EXPECT_EQ(nullptr, pickle.BeginWrite(SIZE_MAX));
  EXPECT_EQ(nullptr, pickle.BeginWrite(SIZE_MAX - 2));
  EXPECT_EQ(nullptr, pickle.BeginWrite(0x100000000ull - 4));  // u32 wraps
  EXPECT_EQ(4u, pickle.payload_size());
  EXPECT_EQ(64u, pickle.capacity());
  int value;
  PickleIterator it(pickle);
  EXPECT_TRUE(it.ReadInt(&value));
  EXPECT_EQ(1, value);
}

TEST(PickleTest, HeaderLargerThanOneUnitGetsItsRoom) {
  Pickle pickle(100);
  EXPECT_EQ(100u, pickle.header_size());
  ASSERT_GE(pickle.capacity(), 100u);
  EXPECT_EQ(0u, pickle.capacity() % 64);
  EXPECT_EQ(std::string(100, '\0'), BytesOf(pickle));
  ASSERT_TRUE(pickle.WriteInt(5));
  ASSERT_TRUE(pickle.WriteString("abc"));
  EXPECT_EQ(111u, pickle.size());
  PickleIterator it(pickle);
  int five = 0;
  std::string abc;
  EXPECT_TRUE(it.ReadInt(&five) && it.ReadString(&abc));
  EXPECT_EQ(5, five);
  EXPECT_EQ("abc", abc);
}

TEST(PickleTest, WritesToForeignBytesFailAndLeaveThemAlone) {
  // A pickle over the first 8 bytes; the guard after them is not its own.
  std::string bytes = U32(4) + "abcd" + "GUARD...";
  const std::string before = bytes;
  Pickle foreign(bytes.data(), 8);
  ASSERT_EQ(4u, foreign.payload_size());
  EXPECT_FALSE(foreign.WriteInt(1));
  EXPECT_FALSE(foreign.WriteBytes("wxyz", 4));
  EXPECT_FALSE(foreign.WriteString("xyz"));
  EXPECT_FALSE(foreign.WriteString16(L"xyz"));
  EXPECT_FALSE(foreign.WriteData("xyz", 3));
  EXPECT_EQ(nullptr, foreign.BeginWriteData(2));
  foreign.TrimWriteData(0);
  EXPECT_EQ(before, bytes);
  EXPECT_EQ(4u, foreign.payload_size());
  PickleIterator it(foreign);
  const char* data = nullptr;
  ASSERT_TRUE(it.ReadBytes(&data, 4));
  EXPECT_EQ("abcd", std::string(data, 4));
}

void* NoMemory(void*, size_t) { return nullptr; }

// The heap refuses every growth while this lives.
class ScopedExhaustedHeap {
 public:
  ScopedExhaustedHeap() { SetPickleReallocForTesting(&NoMemory); }
  ~ScopedExhaustedHeap() { SetPickleReallocForTesting(nullptr); }
};

TEST(PickleTest, FailedGrowthLeavesNoLengthFieldBehind) {
  const std::string hundred(100, 'h');
  const std::vector<std::pair<const char*, std::function<bool(Pickle*)>>>
      writes = {
          {"data", [&](Pickle* p) { return p->WriteData(hundred.data(), 100); }},
          {"string", [&](Pickle* p) { return p->WriteString(hundred); }},
          {"string16",
           [](Pickle* p) { return p->WriteString16(string16(60, L'w')); }},
          {"variable buffer",
           [](Pickle* p) { return p->BeginWriteData(100) != nullptr; }},
      };
  for (const auto& write : writes) {
    SCOPED_TRACE(write.first);
    // The length field still fits the first 64 bytes; the value does not.
    Pickle pickle;
    ASSERT_TRUE(pickle.WriteInt(7));
    const std::string before = BytesOf(pickle);
    {
      ScopedExhaustedHeap no_memory;
      EXPECT_FALSE(write.second(&pickle));
    }
    EXPECT_EQ(before, BytesOf(pickle));
    EXPECT_EQ(64u, pickle.capacity());
    // The next value goes where the failed one would have.
    ASSERT_TRUE(pickle.WriteInt(8));
    PickleIterator it(pickle);
    int seven = 0, eight = 0;
    EXPECT_TRUE(it.ReadInt(&seven) && it.ReadInt(&eight));
    EXPECT_EQ(7, seven);
    EXPECT_EQ(8, eight);
    EXPECT_EQ(0u, it.RemainingBytes());
  }
}

TEST(PickleTest, TrimOnlyTheOpenBufferWhenItIsLast) {
  Pickle none;
  none.WriteInt(1);
  none.WriteInt(2);
  none.TrimWriteData(0);  // no buffer open: nothing changes
  EXPECT_EQ(8u, none.payload_size());

  Pickle later;
  memcpy(later.BeginWriteData(8), "abcdefgh", 8);
  later.WriteInt(3);
  later.TrimWriteData(2);  // the buffer is no longer last
  EXPECT_EQ(16u, later.payload_size());
  PickleIterator it(later);
  const char* data;
  int length, three;
  ASSERT_TRUE(it.ReadData(&data, &length) && it.ReadInt(&three));
  EXPECT_EQ(8, length);
  EXPECT_EQ(3, three);

  Pickle last;
  memcpy(last.BeginWriteData(8), "abcdefgh", 8);
  last.TrimWriteData(9);   // longer: ignored
  last.TrimWriteData(-1);  // negative: ignored
  EXPECT_EQ(12u, last.payload_size());
  last.TrimWriteData(5);
  last.TrimWriteData(2);
  EXPECT_EQ(6u, last.payload_size());
  PickleIterator lit(last);
  ASSERT_TRUE(lit.ReadData(&data, &length));
  EXPECT_EQ("ab", std::string(data, length));
}

TEST(PickleTest, FindNext) {
  const std::string two = U32(4) + "abcd" + U32(0) + "tail";
  const char* start = two.data();
  const char* end = start + two.size();
  EXPECT_EQ(start + 8, Pickle::FindNext(4, start, end));
  EXPECT_EQ(start + 12, Pickle::FindNext(4, start + 8, end));
  EXPECT_EQ(nullptr, Pickle::FindNext(4, start, start + 3));
  EXPECT_EQ(nullptr, Pickle::FindNext(4, start, start + 7));
  const std::string huge = U32(0xFFFFFFFF) + "abcd";
  EXPECT_EQ(nullptr,
            Pickle::FindNext(4, huge.data(), huge.data() + huge.size()));
  EXPECT_EQ(nullptr, Pickle::FindNext(SIZE_MAX, start, end));
}

TEST(PickleTest, FilePathRoundTripAndRefusesNul) {
  Pickle pickle;
  FilePath(L"C:\\dumps\\a.dmp").WriteToPickle(&pickle);
  pickle.WriteString16(std::wstring(L"a\0b", 3));
  pickle.WriteInt(5);

  PickleIterator it(pickle);
  FilePath path(L"unchanged");
  ASSERT_TRUE(path.ReadFromPickle(&it));
  EXPECT_EQ(L"C:\\dumps\\a.dmp", path.value());
  EXPECT_FALSE(path.ReadFromPickle(&it));
  EXPECT_EQ(L"C:\\dumps\\a.dmp", path.value());
  EXPECT_FALSE(path.ReadFromPickle(&it));  // an int of 5, then nothing
}

}  // namespace
}  // namespace base
