#include "qzcrypto/cryptor.h"

#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/file_path.h"
#include "base/file_util.h"
#include "gtest/gtest.h"
#include "qzcrypto/format_constants.h"

namespace qzcrypto {
namespace {

typedef std::vector<uint8_t> Bytes;

const CryptKey kProductKey = {kProductKeyMaterial, kProductKeyLength};

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(
        static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

Bytes Ramp(size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

// Rows written by the test tree's own implementation of the format
// (testing/qzcrypto_tools), from the rounds' description alone: a wrong
// round order or round key fails here, which round trips cannot show.
TEST(CryptorTest, MatchesTheIndependentKnownAnswers) {
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(
      base::FilePath(
          QV_TEST_SOURCE_DIR L"\\testing\\qzcrypto_tools\\known_answers.txt"),
      &text));
  std::istringstream lines(text);
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string key_hex, plain_hex, cipher_hex;
    ASSERT_TRUE(static_cast<bool>(fields >> key_hex >> plain_hex >> cipher_hex))
        << line;
    const bool product = key_hex == "product";
    const Bytes material = product ? Bytes() : FromHex(key_hex);
    const CryptKey key =
        product ? kProductKey : CryptKey{material.data(), material.size()};
    const Bytes plain = FromHex(plain_hex);
    const Bytes cipher = FromHex(cipher_hex);
    Bytes out(plain.size());
    ASSERT_EQ(0, EncryptBuffer(key, kSingleByteCryptorType, plain.data(),
                               out.data(), plain.size()));
    EXPECT_EQ(cipher, out) << "key " << key_hex;
    ASSERT_EQ(0, DecryptBuffer(key, kSingleByteCryptorType, cipher.data(),
                               out.data(), cipher.size()));
    EXPECT_EQ(plain, out) << "key " << key_hex;
    ++rows;
  }
  EXPECT_GE(rows, 8);
}

// The tables the transform uses must give exactly what the rounds give.
TEST(CryptorTest, TablesMatchTheRoundsForEveryKeyByteAndByte) {
  for (int k = 0; k < 256; ++k) {
    const uint8_t key_byte = static_cast<uint8_t>(k);
    Bytes all(256);
    for (int b = 0; b < 256; ++b) all[b] = static_cast<uint8_t>(b);
    Bytes encrypted = all;
    EncryptBytes(encrypted.data(), encrypted.size(), key_byte);
    for (int b = 0; b < 256; ++b) {
      ASSERT_EQ(EncryptByteByRounds(static_cast<uint8_t>(b), key_byte),
                encrypted[b])
          << "key " << k << " byte " << b;
    }
    Bytes decrypted = encrypted;
    DecryptBytes(decrypted.data(), decrypted.size(), key_byte);
    ASSERT_EQ(all, decrypted) << "key " << k;
  }
  // Every length and alignment of the fast paths and their ends.
  const Bytes plain = Ramp(80);
  for (size_t start = 0; start < 16; ++start) {
    for (size_t length = 0; start + length <= plain.size(); ++length) {
      Bytes data(plain.begin() + start, plain.begin() + start + length);
      EncryptBytes(data.data(), data.size(), 0x9c);
      for (size_t i = 0; i < length; ++i)
        ASSERT_EQ(EncryptByteByRounds(plain[start + i], 0x9c), data[i])
            << start << " " << length << " " << i;
    }
  }
}

TEST(CryptorTest, DecryptRoundUndoesEncryptRound) {
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 16; ++y) {
      const uint8_t byte = static_cast<uint8_t>(x);
      ASSERT_EQ(byte, DecryptRound(EncryptRound(byte, static_cast<uint8_t>(y)),
                                   static_cast<uint8_t>(y)));
      // Only the round key's low nibble counts.
      ASSERT_EQ(EncryptRound(byte, static_cast<uint8_t>(y)),
                EncryptRound(byte, static_cast<uint8_t>(y | 0xa0)));
    }
  }
  // (hi, lo) -> (lo, hi ^ lo ^ key)
  EXPECT_EQ(0x4c, EncryptRound(0x24, 0x0a));
}

TEST(CryptorTest, ProductKeyRoundTripsAndTwiceIsNotTheIdentity) {
  const Bytes plain = Ramp(100000);
  Bytes once(plain.size());
  ASSERT_EQ(0, EncryptBuffer(kProductKey, kSingleByteCryptorType, plain.data(),
                             once.data(), plain.size()));
  EXPECT_NE(plain, once);
  Bytes twice = once;
  ASSERT_EQ(0, EncryptBuffer(kProductKey, kSingleByteCryptorType, twice.data(),
                             twice.data(), twice.size()));
  EXPECT_NE(plain, twice);
  Bytes back = once;
  ASSERT_EQ(0, DecryptBuffer(kProductKey, kSingleByteCryptorType, back.data(),
                             back.data(), back.size()));
  EXPECT_EQ(plain, back);
}

TEST(CryptorTest, TypeZeroCopiesWhateverTheKey) {
  const Bytes plain = Ramp(300);
  const uint8_t one_byte = 0x5a;
  for (const CryptKey& key : {kProductKey, CryptKey{&one_byte, 1}}) {
    Bytes out(plain.size(), 0xee);
    ASSERT_EQ(0, EncryptBuffer(key, kPlainCryptorType, plain.data(), out.data(),
                               out.size()));
    EXPECT_EQ(plain, out);
    ASSERT_EQ(0, DecryptBuffer(key, kPlainCryptorType, plain.data(), out.data(),
                               out.size()));
    EXPECT_EQ(plain, out);
  }
}

TEST(CryptorTest, BadArgumentsGiveMinusTwoAndLeaveTheOutputAlone) {
  const Bytes plain = Ramp(16);
  const uint8_t one_byte = 1;
  struct Case {
    const char* what;
    CryptKey key;
    const uint8_t* in;
    bool out;
    size_t length;
  } cases[] = {
      {"length 0", kProductKey, plain.data(), true, 0},
      {"no key data", {nullptr, 256}, plain.data(), true, 16},
      {"key length 0", {&one_byte, 0}, plain.data(), true, 16},
      {"no input", kProductKey, nullptr, true, 16},
      {"no output", kProductKey, plain.data(), false, 16},
  };
  for (const Case& c : cases) {
    Bytes out(16, 0xee);
    uint8_t* target = c.out ? out.data() : nullptr;
    EXPECT_EQ(-2, EncryptBuffer(c.key, 1, c.in, target, c.length)) << c.what;
    EXPECT_EQ(-2, DecryptBuffer(c.key, 1, c.in, target, c.length)) << c.what;
    EXPECT_EQ(Bytes(16, 0xee), out) << c.what;
  }
}

TEST(CryptorTest, KeyByteIsTheXorOfTheKeyMaterial) {
  const uint8_t material[] = {0x12, 0x34, 0x56, 0x78, 0x9a};
  EXPECT_EQ(0x12 ^ 0x34 ^ 0x56 ^ 0x78 ^ 0x9a,
            DeriveKeyByte(material, sizeof(material)));
  EXPECT_EQ(kDefaultKeyByte, DeriveKeyByte(nullptr, 5));
  EXPECT_EQ(kDefaultKeyByte, DeriveKeyByte(material, 0));

  SingleByteCryptor cryptor;
  EXPECT_EQ(0, cryptor.GetKeyByte());
  // One byte of key material is that key byte: a headed file's reader
  // relies on it.
  for (int b : {0x00, 0x01, 0x80, 0xff}) {
    const uint8_t one = static_cast<uint8_t>(b);
    EXPECT_EQ(static_cast<uint32_t>(b), cryptor.SetKey(&one, 1));
    EXPECT_EQ(b, cryptor.GetKeyByte());
  }
}

TEST(CryptorTest, CreateCryptorChoosesByType) {
  const uint8_t one = 0x33;
  for (int32_t type : {0, 1, 2, -1, 255}) {
    std::unique_ptr<ICryptoProvider> cryptor = CreateCryptor(type);
    ASSERT_TRUE(cryptor);
    cryptor->SetKey(&one, 1);
    const uint8_t plain = 'q';
    uint8_t out = 0;
    cryptor->Encrypt(&plain, &out, 1);
    if (type == 0) {
      EXPECT_EQ(0, cryptor->GetKeyByte());
      EXPECT_EQ(plain, out);
    } else {
      EXPECT_EQ(0x33, cryptor->GetKeyByte()) << type;
      EXPECT_EQ(EncryptByteByRounds(plain, 0x33), out) << type;
    }
  }
}

TEST(CryptorTest, OverlappingBuffersTransformLikeSeparateOnes) {
  const Bytes plain = Ramp(64);
  Bytes expected(plain.size());
  SingleByteCryptor cryptor;
  cryptor.SetKey(kProductKeyMaterial, kProductKeyLength);
  cryptor.Encrypt(plain.data(), expected.data(), plain.size());
  for (int shift : {-3, 3, 9}) {
    Bytes room(plain.size() + 20, 0);
    uint8_t* in = room.data() + 10;
    memcpy(in, plain.data(), plain.size());
    uint8_t* out = in + shift;
    cryptor.Encrypt(in, out, plain.size());
    EXPECT_EQ(expected, Bytes(out, out + plain.size())) << shift;
  }
}

}  // namespace
}  // namespace qzcrypto
