#include "app/log.h"

#include <commctrl.h>

#include <cstdarg>

#include "app/log_text.h"
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

BOOL PlaceWindow(HWND wnd) {
  RECT r{};
  GetWindowRect(wnd, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  // The work area itself, rather than the full-screen client size plus a caption: the two agree
  // for a bottom taskbar on Windows, but only the work area is right for a taskbar at the top or
  // left, and for platforms whose full-screen metrics are off.
  RECT work{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
    work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  // Flush into the corner: just above a bottom taskbar, left of a right one.
  return MoveWindow(wnd, work.right - w, work.bottom - h, w, h, FALSE);
}

void HideToCorner(HWND wnd) {
  ShowWindow(wnd, SW_HIDE);
  PlaceWindow(wnd);
}
