// Bounds of the log window (pure logic).
#pragma once
#include <cstddef>

// One appended text is at most this many bytes (it travels in a 1024-byte buffer); a longer one
// is cut at a character boundary.
constexpr std::size_t kLogTextMaxBytes = 1023;
// A log holding more lines than this loses its first kLogTrimChars characters before an append.
constexpr int kLogTrimLines = 400;
constexpr int kLogTrimChars = 2000;
