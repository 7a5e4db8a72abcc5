#include "ui/desk_window.h"

#include "app/app.h"
#include "app/log.h"
#include "app/tray.h"
#include "desktop/switching.h"
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
