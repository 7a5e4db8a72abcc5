#include "win/error_text.h"

#include "win/handles.h"
#include "win/text.h"

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
