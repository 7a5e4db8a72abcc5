#include "ui/running_dlg.h"

#include "app/placement.h"
#include "desktop/events.h"
#include "ui/ids.h"

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
  POINT pointer{};
  GetCursorPos(&pointer);
  RECT r{};
  GetWindowRect(hwnd(), &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  // At the pointer, but whole on the pointer's monitor: started from a taskbar button in the
  // corner it would otherwise open off the screen.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  WindowOrigin o{pointer.x, pointer.y};
  if (GetMonitorInfoW(MonitorFromPoint(pointer, MONITOR_DEFAULTTONEAREST), &monitor)) {
    const RECT& work = monitor.rcWork;
    o = KeptInside(pointer.x, pointer.y, w, h, {work.left, work.top, work.right, work.bottom});
  }
  MoveWindow(hwnd(), o.x, o.y, w, h, FALSE);
  return TRUE;
}

bool CRunningDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg == WM_DESTROY) {
    RemovePropW(hwnd(), kRunningProp);  // a window's properties must go before the window does
    return false;
  }
  if (msg != WM_COMMAND || HIWORD(wp) != BN_CLICKED) return false;
  switch (LOWORD(wp)) {
    case IDC_SWITCH:
      SignalAndClose(0);  // "switch desk"
      break;
    case IDC_TRAY:
      SignalAndClose(3);  // "hide m"
      break;
    case IDC_EXIT:
      SignalAndClose(1);  // "exit tolva"
      break;
    case IDC_CANCEL:
    case IDCANCEL:  // Esc and the close box
      EndDialog(IDCANCEL);
      break;
    default:
      return false;
  }
  result = 0;
  return true;
}

void CRunningDlg::SignalAndClose(int k) {
  SignalEvent(0, k);
  EndDialog(IDOK);
}
