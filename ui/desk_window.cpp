#include "ui/desk_window.h"

#include "controls/icon_button.h"
#include "desktop/desk_record.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/process.h"
#include "services/tray.h"
#include "ui/corner.h"
#include "ui/ids.h"
#include "win/text.h"

namespace {
UINT taskbarCreatedMsg = 0;
}

const ListenerCommands kListenerCommands = {IDC_SWITCH, IDC_EXIT, HK_TRAY};

void BeginDeskWindow(HWND wnd) {
  hMainWnd = wnd;
  taskbarCreatedMsg = RegisterWindowMessageW(L"TaskbarCreated");
  if (taskbarCreatedMsg) ChangeWindowMessageFilterEx(wnd, taskbarCreatedMsg, MSGFLT_ALLOW, nullptr);
  SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
  SetWindowTextW(wnd, win::FromAnsi(deskNameStr.c_str()).c_str());
}

bool FollowSessionEnd(UINT msg, WPARAM wp, LRESULT& result, bool& calledOff) {
  calledOff = false;
  switch (msg) {
    case WM_QUERYENDSESSION:
      SetSession(Session::Asked);
      result = TRUE;
      return true;
    case WM_ENDSESSION:
      SetSession(wp ? Session::Ending : Session::Running);
      calledOff = !wp;
      result = 0;
      return true;
  }
  return false;
}

bool IsTaskbarCreated(UINT msg) { return taskbarCreatedMsg && msg == taskbarCreatedMsg; }

bool IsEnterOrEscKeyDown(const MSG& msg) {
  return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
}

bool ShowOnTrayClick(HWND wnd, WPARAM wp, LPARAM lp) {
  if (wp != 0 || lp < WM_LBUTTONDOWN || lp > WM_RBUTTONDBLCLK) return false;
  ShowWindow(wnd, SW_SHOWNORMAL);
  SetForegroundWindow(wnd);
  return true;
}

bool KeepTrayIcon() {
  if (TrayIconShown() != 1) TrayIconReAdd();
  return TrayIconShown() == 1;
}

bool FollowScreenChange(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, std::initializer_list<IconButton*> buttons,
                        int trayIconId) {
  switch (msg) {
    case WM_DPICHANGED: {
      const UINT dpi = HIWORD(wp);
      if (const auto* suggested = reinterpret_cast<const RECT*>(lp))
        SetWindowPos(wnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      for (IconButton* button : buttons) button->Rescale(dpi);
      win::Icon replaced;
      const HICON icon = TrayIconRescale(trayIconId, dpi, &replaced);
      // The second copy's title bar shows the tray icon as its class icon.
      if (replaced &&
          static_cast<ULONG_PTR>(GetClassLongPtrW(wnd, GCLP_HICON)) == reinterpret_cast<ULONG_PTR>(replaced.get()))
        SetClassLongPtrW(wnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
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

LRESULT AnswerQuery(WPARAM selector, int okSent) {
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
      return okSent;
  }
  return -1;
}
