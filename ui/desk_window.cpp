#include "ui/desk_window.h"

#include "desktop/switching.h"
#include "services/log.h"
#include "services/tray.h"
#include "ui/ids.h"
#include "win/text.h"

namespace {
UINT taskbarCreatedMsg = 0;
}

const ListenerCommands kListenerCommands = {WM_TOLVA_REQUEST};

DeskWindow::DeskWindow(UINT templateId, int trayIconId, std::initializer_list<IconButton*> buttons)
    : win::Dialog(templateId), trayIconId_(trayIconId) {
  for (IconButton* button : buttons)
    if (buttonCount_ < kMaxButtons) buttons_[buttonCount_++] = button;
}

void DeskWindow::BeginDeskWindow() {
  HWND wnd = hwnd();
  hMainWnd = wnd;
  taskbarCreatedMsg = RegisterWindowMessageW(L"TaskbarCreated");
  if (taskbarCreatedMsg) ChangeWindowMessageFilterEx(wnd, taskbarCreatedMsg, MSGFLT_ALLOW, nullptr);
  SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
  SetWindowTextW(wnd, win::FromAnsi(deskNameStr.c_str()).c_str());
}

bool DeskWindow::KeepTrayIcon() {
  if (TrayIconShown() != 1) TrayIconReAdd();
  return TrayIconShown() == 1;
}

DWORD DeskWindow::RegisterDeskKey(int id, HotKeyCode key) {
  if (key == 0) return 0;
  const UINT mods = key >> 16;
  const UINT vk = key & 0xFFFF;
  if (RegisterHotKey(hwnd(), id, mods | MOD_NOREPEAT, vk) || RegisterHotKey(hwnd(), id, mods, vk))
    return 0;
  return GetLastError();  // keys taken fail the same with or without the flag
}

bool DeskWindow::PreTranslateMessage(MSG& msg) {
  return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

bool DeskWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (FollowScreenChange(msg, wp, lp)) {
    result = 0;
    return true;
  }
  if (FollowSessionEnd(msg, wp, lp, result)) return true;
  if (msg != WM_TOLVA_QUERY) return false;
  result = AnswerQuery(wp);
  return true;
}

LRESULT DeskWindow::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (taskbarCreatedMsg && msg == taskbarCreatedMsg) {
    OnTaskbarRestart();
    return 1;
  }
  switch (msg) {
    case WM_CLOSE:
      HideToCorner(hwnd());
      return 1;
    case WM_TIMER:
      if (wp != IDT_TICK) break;
      OnTick();
      return 1;
    case WM_TRAYNOTIFY:
      // Any button's click on the icon brings the window to the front.
      if (wp != 0 || lp < WM_LBUTTONDOWN || lp > WM_RBUTTONDBLCLK) break;
      ShowWindow(hwnd(), SW_SHOWNORMAL);
      SetForegroundWindow(hwnd());
      OnTrayClick();
      return 1;
  }
  return win::Dialog::DefWindowProc(msg, wp, lp);
}

void DeskWindow::OnTaskbarRestart() { TrayIconLost(); }

bool DeskWindow::FollowScreenChange(UINT msg, WPARAM wp, LPARAM lp) {
  HWND wnd = hwnd();
  switch (msg) {
    case WM_DPICHANGED: {
      const UINT dpi = HIWORD(wp);
      if (const auto* suggested = reinterpret_cast<const RECT*>(lp))
        SetWindowPos(wnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      for (int i = 0; i < buttonCount_; ++i) buttons_[i]->Rescale(dpi);
      win::Icon replaced;
      const HICON icon = TrayIconRescale(trayIconId_, dpi, &replaced);
      // The second copy's title bar shows the tray icon as its class icon.
      if (replaced &&
          static_cast<ULONG_PTR>(GetClassLongPtrW(wnd, GCLP_HICON)) == reinterpret_cast<ULONG_PTR>(replaced.get()))
        SetClassLongPtrW(wnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
      // Then the dialog manager, which on Windows 10 1703 and later scales the controls' fonts and
      // sizes of a per-monitor (v2) dialog; placed in the corner once they have their new size.
      DefWindowProc(msg, wp, lp);
      PlaceWindow(wnd);
      return true;
    }
    case WM_SETTINGCHANGE:
      if (wp == SPI_SETWORKAREA) PlaceWindow(wnd);
      return false;
    case WM_DISPLAYCHANGE:
      PlaceWindow(wnd);
      return false;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      // The buttons read the system colours at each draw; only the children miss the message.
      RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return false;
  }
  return false;
}

bool DeskWindow::FollowSessionEnd(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  const bool closeApp = (static_cast<ULONG_PTR>(lp) & ENDSESSION_CLOSEAPP) != 0;
  switch (msg) {
    case WM_QUERYENDSESSION:
      SetSession(Session::Asked);
      OnSessionQuery(closeApp);
      result = TRUE;
      return true;
    case WM_ENDSESSION: {
      const SessionStep step = AnswerSessionEnd(wp != 0, closeApp);
      SetSession(step.next);
      if (step.cancelled) OnSessionEndCancelled();
      if (step.leave) OnSessionLeave();
      result = 0;
      return true;
    }
  }
  return false;
}

LRESULT DeskWindow::AnswerQuery(WPARAM selector) const {
  switch (selector) {
    case kQuerySwitchState:
      return SwitchState();
    case kQueryDeadCount:
      return deadCount;
    case kQuerySwitchRefused:
      return switchRefused;
    case kQueryTrayShown:
      return TrayIconShown();
    case kQueryOkSent:
      return okSent_;
  }
  return -1;
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
