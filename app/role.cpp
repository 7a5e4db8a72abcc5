#include "app/role.h"

#include <cwchar>

const wchar_t* ArgumentTail(const wchar_t* commandLine) {
  if (!commandLine) return L"";
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

bool SelectsSecondCopy(const wchar_t* argTail) {
  if (!argTail) return false;
  wchar_t copy[kArgTailCapacity];
  std::size_t n = 0;
  while (n + 1 < kArgTailCapacity && argTail[n]) {
    copy[n] = argTail[n];
    ++n;
  }
  copy[n] = L'\0';
  return std::wcsstr(copy, L"makedesktop") != nullptr;
}

bool MarkerShowsRunningCopy(bool markerOpened, unsigned long error) {
  constexpr unsigned long kAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
  constexpr unsigned long kAccessDenied = 5;     // ERROR_ACCESS_DENIED
  return error == kAlreadyExists || (!markerOpened && error == kAccessDenied);
}
