#include "services/log.h"

#include <commctrl.h>

#include <cstdarg>

#include "services/log_text.h"
#include "win/text.h"

HWND hMainWnd = nullptr;
HWND hLogEdit = nullptr;

namespace {

// Sent by other threads to the log edit control; its subclass performs the append.
constexpr UINT kAppendMessage = WM_APP + 0x31;
constexpr UINT_PTR kLogSubclassId = 0x106;

void AppendNow(HWND edit, const char* text) {
  const auto wide = win::FromAnsi<kLogTextMaxBytes + 1>(text);  // cut at a character boundary
  const int lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
  if (lines > kLogTrimLines) {
    SendMessageW(edit, EM_SETSEL, 0, kLogTrimChars);
    SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
  }
  const LRESULT end = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(edit, EM_SETSEL, end, end);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
}

LRESULT CALLBACK LogEditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == kAppendMessage) {
    AppendNow(hwnd, reinterpret_cast<const char*>(lp));
    return 0;
  }
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, LogEditProc, kLogSubclassId);
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void AttachLogWindow(HWND edit) {
  hLogEdit = edit;
  if (!edit) return;
  // The default limit of 32767 characters would silently drop lines of a long-running log.
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  SetWindowSubclass(edit, LogEditProc, kLogSubclassId, 0);
}

void AppendLog(HWND edit, const char* text) {
  if (!edit || !text) return;
  if (GetWindowThreadProcessId(edit, nullptr) == GetCurrentThreadId())
    AppendNow(edit, text);
  else
    SendMessageW(edit, kAppendMessage, 0, reinterpret_cast<LPARAM>(text));
}

void LogLine(const char* text) { AppendLog(hLogEdit, text); }

void LogFormat(const char* format, ...) {
  win::Text<1024> line;
  va_list args;
  va_start(args, format);
  line.FormatV(format, args);
  va_end(args);
  LogLine(line.c_str());
}
