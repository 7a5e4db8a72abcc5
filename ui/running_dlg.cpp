#include "ui/running_dlg.h"

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
  MoveWindow(hwnd(), pointer.x, pointer.y, r.right - r.left, r.bottom - r.top, FALSE);
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
