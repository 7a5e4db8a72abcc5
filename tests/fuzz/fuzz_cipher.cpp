// The record cipher both ways on any text. Input: a flags byte, a byte choosing the bounded
// form's capacity (in long mode, a length near the working buffer's end), then the text. Checks
// the lengths and refusals, that only whole blocks are written, the round trips, and that a text
// byte outside the whole blocks can only be a padding space.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "state/cipher.h"
#include "tests/fuzz/reference.h"

namespace {

constexpr unsigned char kUntouched = 0xA5;
constexpr std::size_t kLongMode = 0x80;     // length near kCipherWorkBytes, text repeated
constexpr std::size_t kSpacedTail = 0x40;   // the text ends in ten spaces already

using Bytes = std::vector<unsigned char>;

std::size_t WholeBlocks(std::size_t n) { return n - n % 8; }

bool AllAre(const unsigned char* p, std::size_t n, unsigned char v) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i] != v) return false;
  return true;
}

// Whole blocks of `out` are `in`'s blocks transformed; with `sparse` only the first and last.
bool BlocksMatch(const unsigned char* out, const unsigned char* in, std::size_t n, int decipher, bool sparse) {
  const std::size_t whole = WholeBlocks(n);
  for (std::size_t at = 0; at < whole; at += 8) {
    if (sparse && at != 0 && at + 8 != whole) continue;
    unsigned char block[8];
    des_block(block, in + at, decipher);
    if (std::memcmp(block, out + at, 8) != 0) return false;
  }
  return true;
}

std::size_t ExpectedEncipherLength(const Bytes& text) {
  const std::size_t n = text.size();
  if (n < kCipherPadBytes || n >= kCipherWorkBytes - kCipherPadBytes) return 0;
  return AllAre(text.data() + n - kCipherPadBytes, kCipherPadBytes, ' ') ? n : n + kCipherPadBytes;
}

void CheckEncipher(const Bytes& text, std::size_t capacity, bool sparse) {
  const std::size_t n = text.size();
  const std::size_t want = ExpectedEncipherLength(text);
  Bytes out(n + kCipherPadBytes + 16, kUntouched);
  const std::size_t got = des_buffer(out.data(), text.data(), 0, n);
  FUZZ_CHECK(got == want);
  if (got == 0) {
    FUZZ_CHECK(AllAre(out.data(), out.size(), kUntouched));
    Bytes bounded(out.size(), kUntouched);
    FUZZ_CHECK(DesBufferBounded(bounded.data(), bounded.size(), text.data(), 0, n) == 0);
    FUZZ_CHECK(AllAre(bounded.data(), bounded.size(), kUntouched));
    return;
  }

  Bytes padded(text);
  padded.resize(got, ' ');
  const std::size_t whole = WholeBlocks(got);
  FUZZ_CHECK(BlocksMatch(out.data(), padded.data(), got, 0, sparse));
  FUZZ_CHECK(AllAre(out.data() + whole, out.size() - whole, kUntouched));
  // Text bytes outside the whole blocks stay plain: only padding spaces may be there.
  if (whole < n) FUZZ_CHECK(AllAre(text.data() + whole, n - whole, ' '));

  Bytes back(out.size(), kUntouched);
  FUZZ_CHECK(des_buffer(back.data(), out.data(), 1, got) == got);
  FUZZ_CHECK(std::memcmp(back.data(), padded.data(), whole) == 0);
  FUZZ_CHECK(AllAre(back.data() + whole, back.size() - whole, kUntouched));

  if (sparse) return;  // texts of 20 KB: the forms below take the same path as the call above
  Bytes inPlace(text);
  inPlace.resize(out.size(), kUntouched);
  FUZZ_CHECK(des_buffer(inPlace.data(), inPlace.data(), 0, n) == got);
  FUZZ_CHECK(std::memcmp(inPlace.data(), out.data(), whole) == 0);

  Bytes bounded(capacity + 8, kUntouched);
  const std::size_t b = DesBufferBounded(bounded.data(), capacity, text.data(), 0, n);
  if (got > capacity) {
    FUZZ_CHECK(b == 0 && AllAre(bounded.data(), bounded.size(), kUntouched));
  } else {
    FUZZ_CHECK(b == got && std::memcmp(bounded.data(), out.data(), whole) == 0);
    FUZZ_CHECK(AllAre(bounded.data() + whole, bounded.size() - whole, kUntouched));
  }
}

void CheckDecipher(const Bytes& text, std::size_t capacity, bool sparse) {
  const std::size_t n = text.size();
  const std::size_t want = n < kCipherWorkBytes ? n : 0;
  Bytes out(n + 16, kUntouched);
  const std::size_t got = des_buffer(out.data(), text.data(), 1, n);
  FUZZ_CHECK(got == want);
  const std::size_t whole = WholeBlocks(got);
  FUZZ_CHECK(AllAre(out.data() + whole, out.size() - whole, kUntouched));
  // Enciphering a deciphered block gives the block back.
  FUZZ_CHECK(BlocksMatch(text.data(), out.data(), got, 0, sparse));
  if (sparse) return;

  Bytes bounded(capacity + 8, kUntouched);
  const std::size_t b = DesBufferBounded(bounded.data(), capacity, text.data(), 1, n);
  if (got > capacity || got == 0) {
    FUZZ_CHECK(b == 0 && AllAre(bounded.data(), bounded.size(), kUntouched));
  } else {
    FUZZ_CHECK(b == got && std::memcmp(bounded.data(), out.data(), whole) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned flags = data[0];
  Bytes text(data + 2, data + size);
  const std::size_t capacity = static_cast<std::size_t>(data[1]) * 8;
  const bool longMode = (flags & kLongMode) != 0;
  if (longMode) {
    // Lengths from 32 below the working buffer's end to 16 past it, over both refusal limits.
    const std::size_t n = kCipherWorkBytes - 32 + data[1] % 48;
    Bytes repeated(n, 0);
    for (std::size_t i = 0; i < n && !text.empty(); ++i) repeated[i] = text[i % text.size()];
    text.swap(repeated);
  }
  if ((flags & kSpacedTail) && text.size() >= kCipherPadBytes)
    std::memset(text.data() + text.size() - kCipherPadBytes, ' ', kCipherPadBytes);

  CheckEncipher(text, capacity, longMode);
  CheckDecipher(text, capacity, longMode);

  // One block in place equals one block out of place, both ways.
  if (text.size() >= 8) {
    for (int decipher = 0; decipher < 2; ++decipher) {
      unsigned char apart[8];
      unsigned char same[8];
      std::memcpy(same, text.data(), 8);
      des_block(apart, text.data(), decipher);
      des_block(same, same, decipher);
      FUZZ_CHECK(std::memcmp(apart, same, 8) == 0);
      unsigned char there[8];
      des_block(there, apart, !decipher);
      FUZZ_CHECK(std::memcmp(there, text.data(), 8) == 0);
    }
  }
  return 0;
}
