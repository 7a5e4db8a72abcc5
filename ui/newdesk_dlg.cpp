#include "ui/newdesk_dlg.h"

#include "desktop/events.h"
#include "desktop/protocol.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/process.h"
#include "services/tray.h"
#include "ui/corner.h"
#include "ui/desk_window.h"
#include "ui/ids.h"
#include "win/text.h"

namespace {

constexpr int kQuitThreshold = 5;

void BalloonExistingEvent(int index, const char* name) {
  win::Text<256> text;
  text.Format("CreateEvent eventsStr[%d]%s return ERROR_ALREADY_EXISTS", index, name);
  TrayIconBalloon(deskNameStr.c_str(), text.c_str());
}

}  // namespace

CNewDeskDlg::CNewDeskDlg() : win::Dialog(IDD_NEWDESK) {}

BOOL CNewDeskDlg::OnInitDialog() {
  Bind(IDC_SWITCH, m_btnSwitch);
  HWND wnd = hwnd();
  BeginDeskWindow(wnd);
  Sleep(200);
  HICON icon = TrayIconInit(IDI_NEWDESK, wnd, WM_TRAYNOTIFY, deskNameStr.c_str());
  TrayIconAdd();
  Sleep(200);
  SetTimer(wnd, IDT_TICK, 1000, nullptr);
  SetClassLongPtrW(wnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  PlaceWindow(wnd);
  m_btnSwitch.LoadIcons(IDI_SWITCH);
  // This copy registers no hot keys, and the first copy's act only on its own desktop.
  m_btnSwitch.Describe(L"切换", CreateTooltips(wnd), L"切换回原始桌面");
  CreateOwnEvents(kSecondCopyEvents, BalloonExistingEvent);
  StartWorkerThread(EventsThreadFuncNew, &kListenerCommands);
  return TRUE;
}

bool CNewDeskDlg::PreTranslateMessage(MSG& msg) { return IsEnterOrEscKeyDown(msg); }

bool CNewDeskDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (FollowScreenChange(hwnd(), msg, wp, lp, {&m_btnSwitch}, IDI_NEWDESK)) {
    result = 0;
    return true;
  }
  bool calledOff = false;
  if (FollowSessionEnd(msg, wp, result, calledOff)) return true;
  if (msg != WM_TOLVA_QUERY) return false;
  result = AnswerQuery(wp, m_okSent);
  return true;
}

LRESULT CNewDeskDlg::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (IsTaskbarCreated(msg)) {
    TrayIconLost();
    m_okSent = 0;
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
        SignalEvent(kFirstCopyEvents, kSwitchDeskEvent);  // the first copy switches back
        return 1;
      }
      break;
    case WM_TIMER:
      if (wp == IDT_TICK) OnTick();
      break;
    case WM_TRAYNOTIFY:
      ShowOnTrayClick(hwnd(), wp, lp);
      break;
  }
  return win::Dialog::DefWindowProc(msg, wp, lp);
}

void CNewDeskDlg::OnTick() {
  const bool iconShown = KeepTrayIcon();
  // Without a taskbar on this desktop (its shell ended) the tray icon cannot bring the window
  // back: it stays shown, so its switch button stays within reach.
  const bool taskbar = FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
  if (!taskbar && !(GetWindowLongW(hwnd(), GWL_STYLE) & WS_VISIBLE)) ShowWindow(hwnd(), SW_SHOWNA);
  if (iconShown) {
    // Hidden only while the icon exists to bring it back.
    if (taskbar && GetForegroundWindow() != hwnd()) HideToCorner(hwnd());
    if (m_okSent == 0) {
      m_okSent = 1;
      SignalEvent(kFirstCopyEvents, kDeskNewOkEvent);
    }
  }
  SignalEvent(kFirstCopyEvents, kHelloEvent);
  if (++deadCount > kQuitThreshold && !SessionMayEnd()) {
    deadCount = 0;
    ShowDefaultDesktop();
    TrayIconDelete();
    PostQuitMessage(0);
  }
}
