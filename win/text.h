// Text at the edge of the platform, the one place that converts between the program's narrow
// texts (code page 936 bytes: log lines, the stored record, the downloaded file) and the UTF-16
// that W calls take, whatever the system's ANSI code page is.
#pragma once
#include <windows.h>

#include <cstddef>

#include "win/fixed_text.h"

namespace win {

// Converts `length` bytes (up to the terminator when negative) into out[capacity] and terminates
// it; input that would not fit is cut at a character boundary. Returns the units written.
std::size_t AnsiToWide(const char* text, int length, wchar_t* out, std::size_t capacity);
// UTF-16 (up to the terminator when length is negative) into out[capacity] as code page 936,
// cut at a character boundary when it would not fit. Returns the bytes written.
std::size_t WideToAnsi(const wchar_t* text, int length, char* out, std::size_t capacity);

// Code page 936 bytes to UTF-16; a log line (1023 bytes) fits the default.
template <std::size_t N = 1024>
WideText<N> FromAnsi(const char* text, int length = -1) {
  WideText<N> wide;
  wide.SetLength(AnsiToWide(text, length, wide.Buffer(), N));
  return wide;
}

template <std::size_t N>
Text<N> ToAnsi(const wchar_t* text, int length = -1) {
  Text<N> narrow;
  narrow.SetLength(WideToAnsi(text, length, narrow.Buffer(), N));
  return narrow;
}

}  // namespace win

// The system's own words for an error code, for any layer's report line.
// The system's text for an error code (code page 936), cut to fit a log line.
win::Text<1024> ReasonText(DWORD error);
