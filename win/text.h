// Text at the edge of the platform. Narrow texts inside the program are code page 936 bytes
// (log lines, the stored record, the downloaded file); the screen gets UTF-16 through W calls.
#pragma once
#include <string>

namespace win {

// Code page 936 bytes to UTF-16, whatever the system's ANSI code page is.
std::wstring FromAnsi(const char* text);
std::wstring FromAnsi(const char* text, int length);

// UTF-16 to UTF-8 (the test driver prints window texts this way).
std::string ToUtf8(const wchar_t* text, int length = -1);

}  // namespace win
