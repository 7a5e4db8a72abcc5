#include "app/role.h"

#include <cwchar>

#include "win/fixed_text.h"

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
  const win::WideText<kArgTailCapacity> copy(argTail);
  return std::wcsstr(copy.c_str(), L"makedesktop") != nullptr;
}

MarkerVerdict ReadMarker(bool markerOpened, unsigned long error) {
  constexpr unsigned long kAlreadyExists = 183;  // ERROR_ALREADY_EXISTS
  constexpr unsigned long kAccessDenied = 5;     // ERROR_ACCESS_DENIED
  constexpr unsigned long kInvalidHandle = 6;    // ERROR_INVALID_HANDLE: the name is another object's
  if (markerOpened) return error == kAlreadyExists ? MarkerVerdict::RunningCopy : MarkerVerdict::FirstCopy;
  if (error == kAccessDenied) return MarkerVerdict::RunningCopy;
  if (error == kInvalidHandle) return MarkerVerdict::NameTaken;
  return MarkerVerdict::FirstCopy;  // any other failure: a start goes on rather than doing nothing
}
