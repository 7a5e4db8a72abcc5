#include "ui/running_dlg.h"

#include "desktop/events.h"
#include "desktop/protocol.h"
#include "state/registry_store.h"
#include "ui/ids.h"
#include "ui/placement.h"
#include "win/text.h"

namespace {

// Marks an open dialog of this kind, so that a further start brings it forward instead.
const wchar_t kRunningProp[] = L"tolva re ..";

BOOL CALLBACK FindRunningDlgProc(HWND wnd, LPARAM result) {
  if (GetPropW(wnd, kRunningProp) == reinterpret_cast<HANDLE>(1)) {
    *reinterpret_cast<HWND*>(result) = wnd;
    return FALSE;
  }
  return TRUE;
}

// "切换 Ctrl+Alt+Enter": the caption and the key in effect, if there is one.
void NameKey(HWND wnd, int id, const char* caption, HotKeyCode key) {
  win::Text<80> text(caption);
  text.Append(HotKeyName(key).c_str());
  SetDlgItemTextW(wnd, id, win::FromAnsi(text.c_str()).c_str());
}

}  // namespace

CRunningDlg::CRunningDlg() : win::Dialog(IDD_RUNNING) {}

BOOL CRunningDlg::OnInitDialog() {
  Bind(IDC_SWITCH, m_btnSwitch);
  Bind(IDC_TRAY, m_btnTray);
  Bind(IDC_EXIT, m_btnExit);
  Bind(IDC_CANCEL, m_btnCancel);

  HWND found = nullptr;
  EnumWindows(FindRunningDlgProc, reinterpret_cast<LPARAM>(&found));
  if (found) {
    ShowWindow(found, SW_SHOWNORMAL);
    SetForegroundWindow(found);
    EndDialog(IDCANCEL);
    return FALSE;
  }

  SetPropW(hwnd(), kRunningProp, reinterpret_cast<HANDLE>(1));
  const Settings settings = ReadSettings();
  const HotKeyCode switchKey = settings.keys[kSwitchKey2] ? settings.keys[kSwitchKey2] : settings.keys[kSwitchKey];
  NameKey(hwnd(), IDC_SWITCH, switchKey ? "切换 " : "切换", switchKey);
  NameKey(hwnd(), IDC_TRAY, "隐藏或显示托盘", settings.keys[kHideKey]);
  NameKey(hwnd(), IDC_EXIT, "退出", settings.keys[kExitKey]);
  POINT pointer{};
  GetCursorPos(&pointer);
  RECT r{};
  GetWindowRect(hwnd(), &r);
  // At the pointer, but whole on the pointer's monitor: started from a taskbar button in the
  // corner it would otherwise open off the screen.
  MoveInsideWorkArea(pointer, r.right - r.left, r.bottom - r.top);
  return TRUE;
}

void CRunningDlg::MoveInsideWorkArea(POINT origin, int width, int height) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  WindowOrigin o{origin.x, origin.y};
  if (GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    o = KeptInside(origin.x, origin.y, width, height, {work.left, work.top, work.right, work.bottom});
  }
  MoveWindow(hwnd(), o.x, o.y, width, height, FALSE);
}

bool CRunningDlg::OnMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  if (msg == WM_DPICHANGED) {
    // Moved onto a monitor of another scale: the size the system suggests, still whole on it.
    if (const auto* suggested = reinterpret_cast<const RECT*>(lp))
      MoveInsideWorkArea({suggested->left, suggested->top}, suggested->right - suggested->left,
                         suggested->bottom - suggested->top);
    result = 0;
    return true;
  }
  // A window's properties must go before the window does.
  if (msg == WM_DESTROY) RemovePropW(hwnd(), kRunningProp);
  return false;
}

bool CRunningDlg::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_SWITCH:
      SignalAndClose(kSwitchDeskEvent);
      break;
    case IDC_TRAY:
      SignalAndClose(kHideMainEvent);
      break;
    case IDC_EXIT:
      SignalAndClose(kExitTolvaEvent);
      break;
    case IDC_CANCEL:
    case IDCANCEL:  // Esc and the close box
      EndDialog(IDCANCEL);
      break;
    default:
      return false;
  }
  return true;
}

void CRunningDlg::SignalAndClose(FirstCopyEvent k) {
  SignalEvent(kFirstCopyEvents, k);
  EndDialog(IDOK);
}
