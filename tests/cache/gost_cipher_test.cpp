#include "cache/gost_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <list>
#include <random>

#include "platform/worker_thread.h"
#include "tests/support/reference_gost.h"

namespace {

ByteArray RandomBytes(std::mt19937& random, size_t count) {
  ByteArray bytes(count);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

GostKey RandomKey(std::mt19937& random) {
  GostKey key;
  for (auto& x : key.x) x = static_cast<uint32_t>(random());
  return key;
}

ByteArray Encrypt(const ByteArray& plain, const GostKey& key = CacheKey()) {
  ByteArray frame;
  EXPECT_TRUE(GostEncryptBuffer(key, plain.data(), static_cast<uint32_t>(plain.size()), frame));
  return frame;
}

bool Decrypt(const ByteArray& frame, ByteArray& plain, const GostKey& key = CacheKey()) {
  return GostDecryptBuffer(key, frame.data(), static_cast<uint32_t>(frame.size()), plain);
}

ByteArray ReferenceBlocks(ByteArray bytes, const GostKey& key, bool encrypt) {
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) ReferenceBlock(&bytes[at], key, encrypt);
  return bytes;
}

// Runs the cipher on the table-lookup path and, where the processor has it,
// on the AVX2 path; the scalar path stays forced only inside `body`.
class GostCipherPathsTest : public ::testing::Test {
 protected:
  void TearDown() override { GostUseScalarPathForTesting(false); }

  template <typename Body>
  void ForEachPath(Body body) {
    for (const bool scalar : {true, false}) {
      GostUseScalarPathForTesting(scalar);
      if (!scalar && !GostAvx2Active()) {
        std::printf("note: no AVX2 on this processor; only the scalar path was run\n");
        continue;
      }
      SCOPED_TRACE(scalar ? "scalar path" : "AVX2 path");
      body();
    }
    GostUseScalarPathForTesting(false);
  }
};

// Lengths around the vector groups of 8 and 16 blocks catch a group that
// runs past its blocks, a tail block left out, and lanes put back in the
// wrong order; random keys catch a subkey taken for the wrong round.
TEST_F(GostCipherPathsTest, BothPathsMatchThePlainImplementationBlockForBlock) {
  std::mt19937 random(2026);
  ForEachPath([&] {
    for (size_t blocks = 0; blocks <= 50; ++blocks) {
      for (const size_t extra : {size_t{0}, size_t{4}}) {
        const GostKey key = RandomKey(random);
        const size_t length = 8 * blocks + extra;
        if (length < 4) continue;
        const ByteArray input = RandomBytes(random, length);
        for (const bool encrypt : {true, false}) {
          ByteArray output(length, 0xC3);
          ASSERT_TRUE(GostCryptBlocks(key, input.data(), static_cast<uint32_t>(length), output.data(), encrypt));
          ByteArray expected = ReferenceBlocks(input, key, encrypt);
          std::fill(expected.begin() + 8 * blocks, expected.end(), uint8_t{0xC3});
          EXPECT_EQ(output, expected) << "blocks " << blocks << " + " << extra << (encrypt ? " encrypt" : " decrypt");
        }
      }
    }
  });
}

// The stored bytes must not depend on the processor: a file written on one
// machine is read on another.
TEST_F(GostCipherPathsTest, BothPathsGiveIdenticalFramesAndReadEachOther) {
  std::mt19937 random(404);
  for (const size_t length : {size_t{1}, size_t{63}, size_t{64}, size_t{127}, size_t{128}, size_t{129}, size_t{1000},
                              size_t{12345}, size_t{5242000}}) {
    const GostKey key = length == 5242000 ? CacheKey() : RandomKey(random);
    const ByteArray plain = RandomBytes(random, length);
    GostUseScalarPathForTesting(true);
    const ByteArray scalarFrame = Encrypt(plain, key);
    GostUseScalarPathForTesting(false);
    const ByteArray vectorFrame = Encrypt(plain, key);
    ASSERT_EQ(vectorFrame, scalarFrame) << "length " << length;
    ByteArray back;
    ForEachPath([&] {
      ASSERT_TRUE(Decrypt(scalarFrame, back, key));
      EXPECT_EQ(back, plain) << "length " << length;
    });
  }
}

// Deciphering where the frame lies must give what the copying decryption
// gives, including the pad bytes cut off and the header checks.
TEST_F(GostCipherPathsTest, InPlaceDecryptionMatchesTheCopyAndChecksTheHeader) {
  std::mt19937 random(77);
  ForEachPath([&] {
    for (const size_t length : {size_t{8}, size_t{13}, size_t{136}, size_t{3001}}) {
      const ByteArray plain = RandomBytes(random, length);
      ByteArray frame = Encrypt(plain);
      uint32_t plainLength = 0;
      ASSERT_TRUE(GostDecryptFrameInPlace(CacheKey(), frame.data(), static_cast<uint32_t>(frame.size()), plainLength));
      ASSERT_EQ(plainLength, length);
      EXPECT_EQ(ByteArray(frame.begin() + kGostFrameHeaderSize, frame.begin() + kGostFrameHeaderSize + length), plain);
    }
  });

  ByteArray bad = Encrypt(ByteArray(24, 0x11));
  bad[8] = 1;  // reserved word
  const ByteArray before = bad;
  uint32_t plainLength = 99;
  EXPECT_FALSE(GostDecryptFrameInPlace(CacheKey(), bad.data(), static_cast<uint32_t>(bad.size()), plainLength));
  EXPECT_EQ(bad, before);
  EXPECT_EQ(plainLength, 99u);
  EXPECT_FALSE(GostDecryptFrameInPlace(CacheKey(), bad.data(), 13, plainLength));
  EXPECT_TRUE(GostDecryptFrameInPlace(CacheKey(), nullptr, 0, plainLength));
  EXPECT_EQ(plainLength, 0u);
}

TEST_F(GostCipherPathsTest, ForcingTheScalarPathTurnsTheVectorPathOff) {
  GostUseScalarPathForTesting(true);
  EXPECT_FALSE(GostAvx2Active());
}

// Catches any difference in S-boxes, round order, key schedule, byte order,
// padding or header layout, and a lane of the interleaved loop going astray.
TEST(GostCipherTest, FramesMatchAPlainImplementationForManyLengthsAndKeys) {
  std::mt19937 random(12345);
  for (size_t length : {1, 7, 8, 9, 15, 16, 31, 32, 33, 63, 64, 65, 1000, 1001, 4099}) {
    const GostKey key = RandomKey(random);
    const ByteArray plain = RandomBytes(random, length);
    EXPECT_EQ(Encrypt(plain, key), ReferenceFrame(plain, key)) << "length " << length;
  }
}

TEST(GostCipherTest, SingleBlockFunctionsMatchThePlainImplementationAndInvert) {
  std::mt19937 random(7);
  for (int i = 0; i < 50; ++i) {
    const GostKey key = RandomKey(random);
    const uint32_t in[2] = {static_cast<uint32_t>(random()), static_cast<uint32_t>(random())};
    uint8_t bytes[8];
    for (int b = 0; b < 4; ++b) {
      bytes[b] = static_cast<uint8_t>(in[0] >> (8 * b));
      bytes[4 + b] = static_cast<uint8_t>(in[1] >> (8 * b));
    }
    ReferenceBlock(bytes, key, true);
    uint32_t out[2];
    GostEncryptBlock(in, out, key);
    EXPECT_EQ(out[0], uint32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24));
    EXPECT_EQ(out[1], uint32_t(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | uint32_t(bytes[7]) << 24));
    uint32_t back[2];
    GostDecryptBlock(out, back, key);
    EXPECT_EQ(back[0], in[0]);
    EXPECT_EQ(back[1], in[1]);
  }
}

// The cache key and the cipher are part of every stored cache file: a change
// to either makes all existing files unreadable. Fixed vectors catch a change
// that the plain second implementation would share.
TEST(GostCipherTest, CacheKeyAndFrameMatchKnownAnswers) {
  const GostKey key = CacheKey();
  const uint32_t expectedKey[8] = {0xDEE4C2AC, 0xCED2A65D, 0x86E4CADE, 0xCAD0C6C5,
                                   0xA69E8E62, 0x70645AAD, 0x746E6868, 0x6C64606B};
  EXPECT_TRUE(std::equal(std::begin(key.x), std::end(key.x), std::begin(expectedKey)));

  const char text[] = "Signed by Varo, checked by all.";
  const ByteArray plain(text, text + 31);
  const ByteArray expectedFrame = {
      0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,  // length, pad count, zero
      0xFF, 0x13, 0x36, 0x65, 0x50, 0x9C, 0xB7, 0xB1, 0x85, 0xE0, 0xE0, 0x52,
      0x87, 0x54, 0x76, 0xDD, 0xDD, 0x7E, 0xDD, 0x13, 0x4E, 0x18, 0x31, 0x9A,
      0x11, 0x8D, 0x53, 0xF5, 0xEF, 0xF2, 0x02, 0x3C};
  EXPECT_EQ(Encrypt(plain), expectedFrame);
  EXPECT_EQ(ReferenceFrame(plain, key), expectedFrame);
}

TEST(GostCipherTest, RoundTripsAndPadsToWholeBlocks) {
  std::mt19937 random(99);
  const ByteArray plain1000 = RandomBytes(random, 1000);
  const ByteArray frame1000 = Encrypt(plain1000);
  ASSERT_EQ(frame1000.size(), 1012u);
  EXPECT_EQ(frame1000[7], 0);

  const ByteArray plain1001 = RandomBytes(random, 1001);
  const ByteArray frame1001 = Encrypt(plain1001);
  ASSERT_EQ(frame1001.size(), 12u + 1008u);
  EXPECT_EQ(ByteArray(frame1001.begin(), frame1001.begin() + 12), (ByteArray{0, 0, 3, 0xE9, 0, 0, 0, 7, 0, 0, 0, 0}));

  for (const ByteArray* plain : {&plain1000, &plain1001}) {
    ByteArray back;
    ASSERT_TRUE(Decrypt(Encrypt(*plain), back));
    EXPECT_EQ(back, *plain);
  }
}

// The frame has no check value: another key still "succeeds" with other bytes.
TEST(GostCipherTest, AnotherKeyDecryptsToOtherBytesOfTheSameLength) {
  std::mt19937 random(3);
  const ByteArray plain = RandomBytes(random, 64);
  ByteArray back;
  ASSERT_TRUE(Decrypt(Encrypt(plain), back, RandomKey(random)));
  EXPECT_EQ(back.size(), plain.size());
  EXPECT_NE(back, plain);
}

TEST(GostCipherTest, EmptyInputGivesEmptyOutputBothWays) {
  ByteArray out = {1, 2, 3};
  EXPECT_TRUE(GostEncryptBuffer(CacheKey(), nullptr, 0, out));
  EXPECT_TRUE(out.empty());
  out = {1, 2, 3};
  EXPECT_TRUE(GostDecryptBuffer(CacheKey(), nullptr, 0, out));
  EXPECT_TRUE(out.empty());
}

// Every malformed frame is rejected and leaves the caller's output alone.
TEST(GostCipherTest, RejectsMalformedFramesWithoutTouchingTheOutput) {
  const ByteArray sentinel = {0xAA, 0xBB};
  auto rejected = [&](const ByteArray& frame) {
    ByteArray out = sentinel;
    const bool ok = Decrypt(frame, out);
    return !ok && out == sentinel;
  };
  for (size_t length = 1; length <= 13; ++length) EXPECT_TRUE(rejected(ByteArray(length, 0))) << length;

  const ByteArray good = Encrypt(ByteArray(16, 0x5A));
  ByteArray reserved = good;
  reserved[11] = 1;
  EXPECT_TRUE(rejected(reserved));
  ByteArray padTooLarge = good;
  padTooLarge[7] = 16;  // pad count equal to the ciphertext length
  padTooLarge[3] = 0;
  EXPECT_TRUE(rejected(padTooLarge));
  ByteArray wrongLength = good;
  wrongLength[3] = 15;
  EXPECT_TRUE(rejected(wrongLength));
  ByteArray truncated(good.begin(), good.end() - 8);
  EXPECT_TRUE(rejected(truncated));
  EXPECT_TRUE(rejected(ByteArray(good.begin(), good.end() - 1)));

  ByteArray out;
  const ByteArray eightBytes = {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_TRUE(Decrypt(eightBytes, out));
  EXPECT_EQ(out.size(), 8u);
}

TEST(GostCipherTest, CryptBlocksLeavesTheTailAloneAndRejectsShortInput) {
  std::mt19937 random(5);
  const ByteArray input = RandomBytes(random, 21);
  ByteArray output(21, 0xEE);
  ASSERT_TRUE(GostCryptBlocks(CacheKey(), input.data(), 21, output.data(), true));
  EXPECT_EQ(ByteArray(output.begin() + 16, output.end()), ByteArray(5, 0xEE));
  ByteArray back(16);
  ASSERT_TRUE(GostCryptBlocks(CacheKey(), output.data(), 16, back.data(), false));
  EXPECT_EQ(back, ByteArray(input.begin(), input.begin() + 16));

  uint8_t small[8] = {};
  EXPECT_FALSE(GostCryptBlocks(CacheKey(), small, 3, small, true));
  EXPECT_TRUE(GostCryptBlocks(CacheKey(), small, 5, small, true));
  EXPECT_FALSE(GostCryptBlocks(CacheKey(), nullptr, 8, small, true));
  EXPECT_FALSE(GostCryptBlocks(CacheKey(), small, 8, nullptr, true));
}

// The tables are built on first use; threads racing to that first use must
// all see complete tables.
TEST(GostCipherTest, ConcurrentFirstUseGivesIdenticalFrames) {
  std::mt19937 random(11);
  const ByteArray plain = RandomBytes(random, 4096);
  const ByteArray expected = ReferenceFrame(plain, CacheKey());
  std::vector<ByteArray> frames(4);
  std::list<platform::WorkerThread> threads;
  for (auto& frame : frames) {
    threads.emplace_back([&plain, &frame] {
      GostEncryptBuffer(CacheKey(), plain.data(), static_cast<uint32_t>(plain.size()), frame);
    });
  }
  threads.clear();
  for (const auto& frame : frames) EXPECT_EQ(frame, expected);
}

}  // namespace
