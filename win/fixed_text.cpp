#include "win/fixed_text.h"

// _vsnprintf and _vsnwprintf are msvcrt's own whatever __USE_MINGW_ANSI_STDIO says (the C++
// headers turn it on); the plain names would be MinGW's printf, which the program does not carry.
#include <stdio.h>
#include <wchar.h>

namespace win {

std::size_t Cp936PrefixLength(const char* text, std::size_t n, std::size_t maxBytes) {
  std::size_t length = 0;
  while (length < n) {
    const unsigned char lead = static_cast<unsigned char>(text[length]);
    const std::size_t step = (lead >= 0x81 && lead <= 0xFE && length + 1 < n) ? 2 : 1;
    if (length + step > maxBytes) break;
    length += step;
  }
  return length;
}

namespace {
// The result of a printf that was offered `room` units: negative or `room` and above means it was
// cut at `room`.
std::size_t KeptLength(int result, std::size_t room) {
  return (result < 0 || static_cast<std::size_t>(result) > room) ? room : static_cast<std::size_t>(result);
}
}  // namespace

std::size_t FormatInto(char* out, std::size_t capacity, const char* format, va_list args) {
  const std::size_t room = capacity - 1;
#ifdef _WIN32
  // msvcrt's: leaves a cut result unterminated, terminated below.
  const int result = _vsnprintf(out, room, format, args);
#else
  const int result = vsnprintf(out, capacity, format, args);
#endif
  const std::size_t length = KeptLength(result, room);
  out[length] = '\0';
  return length;
}

std::size_t FormatInto(wchar_t* out, std::size_t capacity, const wchar_t* format, va_list args) {
  const std::size_t room = capacity - 1;
#ifdef _WIN32
  const int result = _vsnwprintf(out, room, format, args);
#else
  const int result = vswprintf(out, capacity, format, args);
#endif
  const std::size_t length = KeptLength(result, room);
  out[length] = L'\0';
  return length;
}

}  // namespace win
