// Bounds of the log window (pure logic).
#pragma once
#include <cstddef>

// One appended text is at most this many bytes (it travels in a 1024-byte buffer).
constexpr std::size_t kLogTextMaxBytes = 1023;
// A log holding more lines than this loses its first kLogTrimChars characters before an append.
constexpr int kLogTrimLines = 400;
constexpr int kLogTrimChars = 2000;

inline bool LogNeedsTrim(int lineCount) { return lineCount > kLogTrimLines; }

// Length of `text` (code page 936 bytes, NUL-terminated) cut to at most `maxBytes`, never
// splitting a double-byte character.
std::size_t BoundedTextLength(const char* text, std::size_t maxBytes = kLogTextMaxBytes);
