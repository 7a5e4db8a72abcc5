#include "state/cipher.h"

#include <cstdint>
#include <cstring>

namespace des_tables {

const unsigned char kIP[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const unsigned char kIPInverse[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

const unsigned char kE[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

const unsigned char kP[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const unsigned char kS[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

namespace {
// K1..K16 packed, bit i of a value being bit i of the key. Arbitrary, but fixed for ever:
// every stored record depends on them.
constexpr std::uint64_t kPackedRoundKeys[16] = {
    0x8702B5CB75C1, 0xFF255F0B9F6A, 0xFA4F736C0CD5, 0x78B960004D2E,
    0x9BA913FE343F, 0x0EF65F7B8655, 0x9AA1B4678D92, 0x2FC8C486F816,
    0x8FE4BCE60A6E, 0xBCA8716E5D32, 0x7798C8F380FD, 0x35C1075367FA,
    0xE59F6E8B49D7, 0x7D65E7CBCC5F, 0x93A1F66EEDD6, 0xFF5B1B38A22F};

struct RoundKeyBits {
  unsigned char bits[16][48];
};

constexpr RoundKeyBits UnpackRoundKeys() {
  RoundKeyBits keys{};
  for (int k = 0; k < 16; ++k)
    for (int i = 0; i < 48; ++i) keys.bits[k][i] = static_cast<unsigned char>((kPackedRoundKeys[k] >> i) & 1u);
  return keys;
}

constexpr RoundKeyBits kRoundKeyBits = UnpackRoundKeys();
}  // namespace

const unsigned char (&roundKeys)[16][48] = kRoundKeyBits.bits;

}  // namespace des_tables

namespace {
using namespace des_tables;

void Permute(unsigned char* out, const unsigned char* in, const unsigned char* table, int n) {
  for (int i = 0; i < n; ++i) out[i] = in[table[i] - 1];
}

// out[32] = f(half, key): expand, mix in the key, substitute, permute.
void RoundFunction(unsigned char out[32], const unsigned char half[32], const unsigned char key[48]) {
  unsigned char x[48];  // expanded half
  Permute(x, half, kE, 48);
  for (int i = 0; i < 48; ++i) x[i] ^= key[i];
  unsigned char s[32];  // box outputs before P
  for (std::size_t j = 0; j < 8; ++j) {
    const unsigned char* b = x + 6 * j;
    const int v = kS[j][2 * b[0] + b[5]][8 * b[1] + 4 * b[2] + 2 * b[3] + b[4]];
    // The box value is written least significant bit first, unlike the standard.
    for (int t = 0; t < 4; ++t) s[4 * j + t] = static_cast<unsigned char>((v >> t) & 1);
  }
  Permute(out, s, kP, 32);
}
}  // namespace

void des_block(unsigned char out[8], const unsigned char in[8], int decipher) {
  // Position p is bit (p-1)%8 of byte (p-1)/8, least significant bit first.
  unsigned char bits[64];
  for (int p = 0; p < 64; ++p) bits[p] = (in[p / 8] >> (p % 8)) & 1;
  unsigned char lr[64];  // L then R
  Permute(lr, bits, kIP, 64);
  unsigned char* left = lr;
  unsigned char* right = lr + 32;
  unsigned char f[32];
  for (int round = 0; round < 16; ++round) {
    if (!decipher) {
      // (L, R) -> (R, L ^ f(R, Kk)), k rising
      RoundFunction(f, right, roundKeys[round]);
      for (int i = 0; i < 32; ++i) {
        const unsigned char newRight = left[i] ^ f[i];
        left[i] = right[i];
        right[i] = newRight;
      }
    } else {
      // (L, R) -> (R ^ f(L, Kk), L), k falling: undoes one enciphering round
      RoundFunction(f, left, roundKeys[15 - round]);
      for (int i = 0; i < 32; ++i) {
        const unsigned char newLeft = right[i] ^ f[i];
        right[i] = left[i];
        left[i] = newLeft;
      }
    }
  }
  // No exchange of the halves after the last round.
  Permute(bits, lr, kIPInverse, 64);
  for (int byte = 0; byte < 8; ++byte) {
    unsigned char v = 0;
    for (int t = 0; t < 8; ++t) v = static_cast<unsigned char>(v | (bits[8 * byte + t] << t));
    out[byte] = v;
  }
}

namespace {
// What des_buffer returns for these arguments; 0 when it refuses. Checks the bounds before
// reading the last ten bytes.
std::size_t ResultLength(const unsigned char* in, int decipher, std::size_t length) {
  if (decipher) return length < kCipherWorkBytes ? length : 0;
  if (length < kCipherPadBytes || length >= kCipherWorkBytes - kCipherPadBytes) return 0;
  const bool padded = std::memcmp(in + length - kCipherPadBytes, "          ", kCipherPadBytes) == 0;
  return padded ? length : length + kCipherPadBytes;
}
}  // namespace

std::size_t des_buffer(unsigned char* out, const unsigned char* in, int decipher, std::size_t length) {
  const std::size_t result = ResultLength(in, decipher, length);
  if (result == 0) return 0;

  unsigned char work[kCipherWorkBytes];  // text and padding; per call, so calls may overlap
  std::memcpy(work, in, length);
  std::memset(work + length, ' ', result - length);
  for (std::size_t offset = 0; offset + 8 <= result; offset += 8) des_block(out + offset, work + offset, decipher);
  return result;
}

std::size_t DesBufferBounded(unsigned char* out, std::size_t outCapacity, const unsigned char* in,
                               int decipher, std::size_t length) {
  const std::size_t result = ResultLength(in, decipher, length);
  if (result == 0 || result > outCapacity) return 0;
  return des_buffer(out, in, decipher, length);
}
