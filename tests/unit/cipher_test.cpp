#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "state/cipher.h"

namespace {
using Block = std::array<unsigned char, 8>;
using namespace des_tables;

// A second, independent Feistel network over the same tables, parameterised by the conventions
// in which the stored format departs from the standard.
struct Conventions {
  bool bitsLsbFirst;     // position 1 is bit 0 of byte 0 (standard: bit 7)
  bool boxLsbFirst;      // S-box value written least significant bit first
  bool swapAfterLast;    // the standard exchanges the halves once more
};
constexpr Conventions kStandard{false, false, true};
constexpr Conventions kStored{true, true, false};

Block Reference(const Block& in, const unsigned char keys[16][48], Conventions c) {
  unsigned char bits[64], lr[64];
  for (int p = 0; p < 64; ++p) bits[p] = (in[p / 8] >> (c.bitsLsbFirst ? p % 8 : 7 - p % 8)) & 1;
  for (int i = 0; i < 64; ++i) lr[i] = bits[kIP[i] - 1];
  for (int k = 0; k < 16; ++k) {
    unsigned char x[48], s[32], f[32];
    for (int i = 0; i < 48; ++i) x[i] = lr[32 + kE[i] - 1] ^ keys[k][i];
    for (int j = 0; j < 8; ++j) {
      const unsigned char* b = x + 6 * j;
      const int v = kS[j][b[0] * 2 + b[5]][b[1] * 8 + b[2] * 4 + b[3] * 2 + b[4]];
      for (int t = 0; t < 4; ++t) s[4 * j + t] = (v >> (c.boxLsbFirst ? t : 3 - t)) & 1;
    }
    for (int i = 0; i < 32; ++i) f[i] = s[kP[i] - 1];
    for (int i = 0; i < 32; ++i) {
      const unsigned char r = lr[i] ^ f[i];
      lr[i] = lr[32 + i];
      lr[32 + i] = r;
    }
  }
  if (c.swapAfterLast)
    for (int i = 0; i < 32; ++i) std::swap(lr[i], lr[32 + i]);
  for (int i = 0; i < 64; ++i) bits[i] = lr[kIPInverse[i] - 1];
  Block out{};
  for (int p = 0; p < 64; ++p) out[p / 8] |= bits[p] << (c.bitsLsbFirst ? p % 8 : 7 - p % 8);
  return out;
}

// The standard key schedule, needed only to check the tables against published answers.
void StandardRoundKeys(const Block& key, unsigned char keys[16][48]) {
  static const unsigned char kPC1[56] = {
      57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
      63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
  static const unsigned char kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                         26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                         51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
  static const int kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
  unsigned char cd[56];
  for (int i = 0; i < 56; ++i) cd[i] = (key[(kPC1[i] - 1) / 8] >> (7 - (kPC1[i] - 1) % 8)) & 1;
  for (int k = 0; k < 16; ++k) {
    for (int n = 0; n < kShifts[k]; ++n) {
      std::rotate(cd, cd + 1, cd + 28);
      std::rotate(cd + 28, cd + 29, cd + 56);
    }
    for (int i = 0; i < 48; ++i) keys[k][i] = cd[kPC2[i] - 1];
  }
}

Block Hex(const char* hex) {
  Block b{};
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  return b;
}

Block RandomBlock(std::mt19937& rng) {
  Block b;
  for (auto& v : b) v = static_cast<unsigned char>(rng());
  return b;
}
}  // namespace

TEST(CipherTables, StandardDesKnownAnswers) {
  struct Case { const char* key; const char* plain; const char* cipher; };
  const Case cases[] = {{"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
                        {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
                        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
                        {"0000000000000000", "0000000000000000", "8CA64DE9C1B123A7"}};
  for (const Case& c : cases) {
    unsigned char keys[16][48];
    StandardRoundKeys(Hex(c.key), keys);
    EXPECT_EQ(Reference(Hex(c.plain), keys, kStandard), Hex(c.cipher)) << c.key;
  }
  // Rivest's chain: sixteen alternating operations, each keyed with its own input.
  Block x = Hex("9474B8E8C73BCA7D");
  for (int i = 0; i < 16; ++i) {
    unsigned char keys[16][48];
    StandardRoundKeys(x, keys);
    if (i % 2) std::reverse(keys, keys + 16);  // standard deciphering
    x = Reference(x, keys, kStandard);
  }
  EXPECT_EQ(x, Hex("1B1A2DDB4C642438"));
}

TEST(CipherBlock, FollowsStoredConventions) {
  std::mt19937 rng(7);
  for (int i = 0; i < 200; ++i) {
    const Block in = RandomBlock(rng);
    Block out;
    des_block(out.data(), in.data(), 0);
    ASSERT_EQ(out, Reference(in, roundKeys, kStored));
  }
}

TEST(CipherBlock, PinnedKnownAnswerOfTheStoredFormat) {
  // Fixes the round keys, the bit order and the last round: a change here breaks stored records.
  const Block plain = {'<', 'r', '_', 't', 'i', 'm', 'e', '>'};
  Block out;
  des_block(out.data(), plain.data(), 0);
  EXPECT_EQ(out, Hex("1ABAF21E94187A87"));
}

TEST(CipherBlock, DecipherUndoesEncipherBothWays) {
  std::mt19937 rng(42);
  for (int i = 0; i < 2000; ++i) {
    const Block in = RandomBlock(rng);
    Block mid, back;
    des_block(mid.data(), in.data(), 0);
    des_block(back.data(), mid.data(), 5);  // any non-zero value deciphers
    ASSERT_EQ(back, in);
    des_block(mid.data(), in.data(), 1);
    des_block(mid.data(), mid.data(), 0);  // in place
    ASSERT_EQ(mid, in);
  }
}

TEST(CipherBuffer, PadsWithTenSpacesAndLeavesThePartialTailAlone) {
  const std::string text = std::string(118, 'x') + "</r_md5size>";  // 130 bytes
  std::vector<unsigned char> out(150, 0xAA);
  ASSERT_EQ(des_buffer(out.data(), reinterpret_cast<const unsigned char*>(text.data()), 0, 130), 140u);
  EXPECT_EQ(std::vector<unsigned char>(out.begin() + 136, out.end()), std::vector<unsigned char>(14, 0xAA));

  std::vector<unsigned char> back(140, 0xBB);
  ASSERT_EQ(des_buffer(back.data(), out.data(), 1, 140), 140u);
  EXPECT_EQ(std::string(back.begin(), back.end()), text + "      " + "\xBB\xBB\xBB\xBB");

  const std::string spaced = "abcdef" + std::string(10, ' ');  // already padded
  EXPECT_EQ(des_buffer(out.data(), reinterpret_cast<const unsigned char*>(spaced.data()), 0, 16), 16u);
  EXPECT_EQ(des_buffer(out.data(), reinterpret_cast<const unsigned char*>(spaced.data()), 0, 15), 25u);
}

TEST(CipherBuffer, RefusesWhatWouldOverflowAndWritesNothing) {
  std::vector<unsigned char> in(kCipherWorkBytes, 'a');
  std::vector<unsigned char> out(kCipherWorkBytes, 0xCC);
  EXPECT_EQ(des_buffer(out.data(), in.data(), 0, 9), 0u);
  EXPECT_EQ(des_buffer(out.data(), in.data(), 0, kCipherWorkBytes - 10), 0u);
  EXPECT_EQ(des_buffer(out.data(), in.data(), 1, kCipherWorkBytes), 0u);
  EXPECT_EQ(DesBufferBounded(out.data(), SIZE_MAX, in.data(), 0, SIZE_MAX), 0u);  // no wrap-around
  EXPECT_EQ(DesBufferBounded(out.data(), 139, in.data(), 0, 130), 0u);
  EXPECT_EQ(out, std::vector<unsigned char>(kCipherWorkBytes, 0xCC));

  EXPECT_EQ(des_buffer(out.data(), in.data(), 0, kCipherWorkBytes - 11), kCipherWorkBytes - 1);
  EXPECT_EQ(des_buffer(out.data(), in.data(), 1, kCipherWorkBytes - 1), kCipherWorkBytes - 1);
  EXPECT_EQ(DesBufferBounded(out.data(), 140, in.data(), 0, 130), 140u);
}
