// The record cipher: the DES Feistel network with the standard's tables, but with this program's
// own bit order, no exchange after the last round, fixed built-in round keys and its own padding.
// Every convention here is part of the stored record format: changing one makes old records unreadable.
// Pure logic.
#pragma once
#include <cstddef>

// Size of the working buffer: a des_buffer result (padding included) stays below it.
constexpr std::size_t kCipherWorkBytes = 20480;
// Enciphering appends this many spaces unless the text already ends in them.
constexpr std::size_t kCipherPadBytes = 10;

// Transforms one 8-byte block; decipher 0 enciphers, any other value deciphers.
// out may be the same block as in.
void des_block(unsigned char out[8], const unsigned char in[8], int decipher);

// Transforms `length` bytes block by block and returns the length processed. Enciphering appends
// ten spaces first unless the last ten bytes already are spaces, so the result is length or
// length + 10. A last group of fewer than 8 bytes is neither transformed nor copied: those output
// bytes keep what they held. The caller's `out` must hold the returned length (see
// DesBufferBounded). out may equal in.
// Refusals (return 0, nothing written): enciphering fewer than 10 bytes (the padding test reads
// the last ten); enciphering kCipherWorkBytes - 10 bytes or more; deciphering kCipherWorkBytes
// bytes or more. Deciphering 0 bytes returns 0 as well.
// The working buffer (kCipherWorkBytes) and the bit arrays live on the stack of each call, so
// calls from different threads may overlap.
std::size_t des_buffer(unsigned char* out, const unsigned char* in, int decipher, std::size_t length);

// As des_buffer, but also refuses (returns 0, writes nothing) when the result would not fit in
// `outCapacity` bytes.
std::size_t DesBufferBounded(unsigned char* out, std::size_t outCapacity, const unsigned char* in,
                               int decipher, std::size_t length);

// The tables, one-based bit positions as FIPS PUB 46-3 prints them; exposed so the tests can check
// them against standard DES.
namespace des_tables {
extern const unsigned char kIP[64];
extern const unsigned char kIPInverse[64];
extern const unsigned char kE[48];
extern const unsigned char kP[32];
extern const unsigned char kS[8][4][16];
// K1..K16, one bit per byte (0 or 1), bit i of a key being its (i+1)th position.
extern const unsigned char (&roundKeys)[16][48];
}  // namespace des_tables
