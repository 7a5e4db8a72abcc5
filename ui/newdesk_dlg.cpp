#include "ui/newdesk_dlg.h"

#include "app/app.h"
#include "app/log.h"
#include "desktop/events.h"
#include "desktop/listener.h"
#include "desktop/switching.h"
#include "ui/ids.h"
#include "ui/main_dlg.h"
#include "ui/tray.h"
#include "win/text.h"

namespace {

UINT taskbarCreatedMsg = 0;
constexpr int kQuitThreshold = 5;

void BalloonExistingEvent(int index, const char* name) {
  win::Text<256> text;
  text.Format("CreateEvent eventsStr[%d]%s return ERROR_ALREADY_EXISTS", index, name);
  TrayIconBalloon(deskNameStr, text.c_str());
}

}  // namespace

CNewDeskDlg::CNewDeskDlg() : win::Dialog(IDD_NEWDESK) {}

BOOL CNewDeskDlg::OnInitDialog() {
  Bind(IDC_SWITCH, m_btnSwitch);
  HWND wnd = hwnd();
  hMainWnd = wnd;
  taskbarCreatedMsg = RegisterWindowMessageW(L"TaskbarCreated");
  AllowTaskbarCreated(wnd, taskbarCreatedMsg);
  SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
  SetWindowTextW(wnd, win::FromAnsi(deskNameStr).c_str());
  Sleep(200);
  hTrayIcon = LoadTrayIcon(IDI_NEWDESK);
  trayShown = TrayIconAdd(hTrayIcon, wnd, WM_TRAYNOTIFY, deskNameStr);
  Sleep(200);
  SetTimer(wnd, IDT_TICK, 1000, nullptr);
  SetClassLongPtrW(wnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(hTrayIcon));
  PlaceWindow(wnd);
  m_btnSwitch.LoadIcons(IDI_SWITCH);
  CreateOwnEvents(1, BalloonExistingEvent);
  StartWorkerThread(EventsThreadFuncNew);
  return TRUE;
}

bool CNewDeskDlg::PreTranslateMessage(MSG& msg) { return IsEnterOrEscKeyDown(msg); }

bool CNewDeskDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  switch (msg) {
    case WM_TOLVA_QUERY:
      result = AnswerQuery(wp);
      return true;
    case WM_QUERYENDSESSION:
      SetSession(Session::Asked);
      result = TRUE;
      return true;
    case WM_ENDSESSION:
      SetSession(wp ? Session::Ending : Session::Running);
      result = 0;
      return true;
  }
  return false;
}

LRESULT CNewDeskDlg::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (taskbarCreatedMsg && msg == taskbarCreatedMsg) {
    trayShown = 0;
    okSent = 0;
    return 1;
  }
  switch (msg) {
    case WM_CLOSE:
      HideToCorner(hwnd());
      return 1;
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_EXIT) {
        TrayIconDelete();
        PostQuitMessage(0);
        return 1;
      }
      if (LOWORD(wp) == IDC_SWITCH) {
        SignalEvent(0, 0);  // "switch desk": the first copy switches back
        return 1;
      }
      break;
    case WM_TIMER:
      if (wp == IDT_TICK) OnTick();
      break;
    case WM_TRAYNOTIFY:
      if (wp == 0 && lp >= WM_LBUTTONDOWN && lp <= WM_RBUTTONDBLCLK) {
        ShowWindow(hwnd(), SW_SHOWNORMAL);
        SetForegroundWindow(hwnd());
      }
      break;
  }
  return win::Dialog::DefWindowProc(msg, wp, lp);
}

void CNewDeskDlg::OnTick() {
  if (trayShown != 1) {
    trayShown = TrayIconReAdd(hTrayIcon, hwnd(), WM_TRAYNOTIFY, deskNameStr);
  }
  // Without a taskbar on this desktop (its shell ended) the tray icon cannot bring the window
  // back: it stays shown, so its switch button stays within reach.
  const bool taskbar = FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
  if (!taskbar && !(GetWindowLongW(hwnd(), GWL_STYLE) & WS_VISIBLE)) ShowWindow(hwnd(), SW_SHOWNA);
  if (trayShown == 1) {
    // Hidden only while the icon exists to bring it back.
    if (taskbar && GetForegroundWindow() != hwnd()) HideToCorner(hwnd());
    if (okSent == 0) {
      okSent = 1;
      SignalEvent(0, 4);  // "desk n ok"
    }
  }
  SignalEvent(0, 2);  // "tolva receive hello"
  if (++deadCount > kQuitThreshold && !SessionMayEnd()) {
    deadCount = 0;
    ShowDefaultDesktop();
    TrayIconDelete();
    PostQuitMessage(0);
  }
}
