#include "win/text.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "win/handles.h"

namespace win {

namespace {
constexpr UINT kProgramCodePage = 936;
}

std::size_t AnsiToWide(const char* text, int length, wchar_t* out, std::size_t capacity) {
  if (capacity == 0) return 0;
  out[0] = L'\0';
  if (!text) return 0;
  if (length < 0) length = static_cast<int>(std::strlen(text));
  // A character of code page 936 is one or two bytes and always one UTF-16 unit, so capacity - 1
  // bytes always fit.
  const int kept = static_cast<int>(Cp936PrefixLength(text, static_cast<std::size_t>(length), capacity - 1));
  if (kept == 0) return 0;
  const int wide = MultiByteToWideChar(kProgramCodePage, 0, text, kept, out, static_cast<int>(capacity - 1));
  const std::size_t n = wide > 0 ? static_cast<std::size_t>(wide) : 0;
  out[n] = L'\0';
  return n;
}

std::size_t WideToAnsi(const wchar_t* text, int length, char* out, std::size_t capacity) {
  if (capacity == 0) return 0;
  out[0] = '\0';
  if (!text) return 0;
  if (length < 0) length = static_cast<int>(std::wcslen(text));
  const int room = static_cast<int>(capacity - 1);
  auto measure = [&](int units) {
    return WideCharToMultiByte(kProgramCodePage, 0, text, units, nullptr, 0, nullptr, nullptr);
  };
  // A unit becomes at most two bytes: drop units from the end until the rest fits, never
  // keeping the first half of a surrogate pair alone.
  int units = length;
  int bytes = units > 0 ? measure(units) : 0;
  while (units > 0 && bytes > room) {
    units -= (bytes - room + 1) / 2;
    if (units < 0) units = 0;
    if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF) --units;
    bytes = units > 0 ? measure(units) : 0;
  }
  if (units <= 0 || bytes <= 0) return 0;
  const int written = WideCharToMultiByte(kProgramCodePage, 0, text, units, out, room, nullptr, nullptr);
  const std::size_t n = written > 0 ? static_cast<std::size_t>(written) : 0;
  out[n] = '\0';
  return n;
}

}  // namespace win

// The system's text for `error` in code page 936, cut so that no report line can outgrow what
// the log takes. Empty when the system has no text for the code. System texts may hold inserts
// such as "%1": without IGNORE_INSERTS and with no arguments the call fails (or faults).
win::Text<1024> ReasonText(DWORD error) {
  wchar_t* wide = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<LPWSTR>(&wide), 0, nullptr);
  const win::LocalMemory owned(wide);
  win::Text<1024> text;
  if (n && wide) text = win::ToAnsi<1024>(wide, static_cast<int>(n));
  constexpr size_t kReasonTextMax = 600;  // leaves room for both line frames inside 1023 bytes
  text.CutAt(kReasonTextMax);
  return text;
}
