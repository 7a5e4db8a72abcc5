#include "win/text.h"

#include <windows.h>

#include <cstring>

namespace win {

namespace {
constexpr UINT kProgramCodePage = 936;
}

std::wstring FromAnsi(const char* text, int length) {
  if (!text || length <= 0) return std::wstring();
  const int wide = MultiByteToWideChar(kProgramCodePage, 0, text, length, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(kProgramCodePage, 0, text, length, &out[0], wide);
  return out;
}

std::wstring FromAnsi(const char* text) {
  return text ? FromAnsi(text, static_cast<int>(std::strlen(text))) : std::wstring();
}

std::string ToUtf8(const wchar_t* text, int length) {
  if (!text) return std::string();
  if (length < 0) length = static_cast<int>(wcslen(text));
  if (length == 0) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], bytes, nullptr, nullptr);
  return out;
}

}  // namespace win
