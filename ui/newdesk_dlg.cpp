#include "ui/newdesk_dlg.h"

#include "desktop/desk_rules.h"
#include "desktop/events.h"
#include "desktop/protocol.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/tray.h"
#include "state/registry_store.h"
#include "ui/desk_window.h"
#include "ui/ids.h"
#include "win/text.h"

namespace {

// Ctrl+Alt+H stays a key of "Default": hiding this window and its icon would hide the way back.
const DeskHotKey kHotKeys[] = {
    {HK_SWITCH_N, kSwitchKey},
    {HK_EXIT, kExitKey},
    {HK_SWITCH_ENTER, kSwitchKey2},
};

void BalloonOwnEvent(int index, const char* name, unsigned long error) {
  win::Text<256> text;
  if (error == ERROR_ALREADY_EXISTS)
    text.Format("CreateEvent eventsStr[%d]%s return ERROR_ALREADY_EXISTS", index, name);
  else
    text.Format("CreateEvent eventsStr[%d]%s failed,error no %lu", index, name, error);
  TrayIconBalloon(deskNameStr.c_str(), text.c_str());
}

}  // namespace

CNewDeskDlg::CNewDeskDlg() : DeskWindow(IDD_NEWDESK, IDI_NEWDESK, {&m_btnSwitch}) {}

BOOL CNewDeskDlg::OnInitDialog() {
  Bind(IDC_SWITCH, m_btnSwitch);
  HWND wnd = hwnd();
  BeginDeskWindow();
  HICON icon = TrayIconInit(IDI_NEWDESK, wnd, WM_TRAYNOTIFY, deskNameStr.c_str());
  TrayIconAdd();  // a taskbar not up yet: the tick adds it again
  SetTimer(wnd, IDT_TICK, 1000, nullptr);
  SetClassLongPtrW(wnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  PlaceWindow(wnd);
  m_btnSwitch.LoadIcons(IDI_SWITCH);
  m_settings = ReadSettings();
  win::Text<128> tip("切换回原始桌面");
  const win::Text<96> switchKeys = SwitchKeyNames(m_settings);
  if (!switchKeys.empty()) tip.Append(" ").Append(switchKeys.c_str());
  m_btnSwitch.Describe(L"切换", CreateTooltips(wnd), win::FromAnsi(tip.c_str()).c_str());
  CreateOwnEvents(kSecondCopyEvents, BalloonOwnEvent);
  RegisterHotKeys();  // after the events: its balloon, if any, is the one left shown
  StartWorkerThread(EventsThreadFuncNew, &kListenerCommands);
  // The first copy that started this one: its end is seen, not guessed from silent ticks.
  m_firstCopy.reset(OpenFirstCopy());
  if (m_firstCopy) WatchFirstCopy(m_firstCopy.get(), wnd, WM_TOLVA_PARENT_ENDED);
  return TRUE;
}

void CNewDeskDlg::OnTaskbarRestart() {
  DeskWindow::OnTaskbarRestart();
  okSent_ = 0;
}

// As when the first copy tells it to go: the user's programs on "desk new" stay.
void CNewDeskDlg::OnSessionLeave() {
  TrayIconDelete();
  PostQuitMessage(0);
}

void CNewDeskDlg::RegisterHotKeys() {
  win::Text<128> failed;
  for (const DeskHotKey& key : kHotKeys) {
    const DWORD error = RegisterDeskKey(key.id, m_settings.keys[key.action]);
    if (error == 0 || HotKeyFailureIsSilent(error)) continue;
    failed.Append(" ");
    failed.Append(HotKeyName(m_settings.keys[key.action]).c_str());
  }
  if (failed.empty()) return;
  win::Text<256> text;
  text.Format("热键注册失败:%s\r\n请用切换按钮回到原始桌面\r\n", failed.c_str());
  TrayIconBalloon("提示", text.c_str());
}

bool CNewDeskDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (DeskWindow::OnMessage(msg, wp, lp, result)) return true;
  switch (msg) {
    case WM_HOTKEY:
      OnHotKey(static_cast<int>(wp));
      result = 1;
      return true;
    case WM_TOLVA_REQUEST:
      if (TakeListenerRequest(wp)) {
        if (wp == kNotifyExitEvent) Leave();
        if (wp == kAckEvent) deadCount = 0;
      }
      result = 0;
      return true;
    case WM_TOLVA_PARENT_ENDED:
      // Looked at here, not believed: any program can post the message.
      if (FirstCopyEnded()) LeaveWithFirstCopy();
      result = 0;
      return true;
    case WM_DESTROY:
      for (const DeskHotKey& key : kHotKeys) UnregisterHotKey(hwnd(), key.id);
      return false;
  }
  return false;
}

void CNewDeskDlg::OnHotKey(int id) {
  switch (id) {
    case HK_SWITCH_N:
    case HK_SWITCH_ENTER:
      SendMessageW(hwnd(), WM_COMMAND, IDC_SWITCH, 0);  // as the button
      break;
    case HK_EXIT:
      // As the already-running dialog's Exit: the first copy asks about the user's programs first.
      SignalEvent(kFirstCopyEvents, kExitTolvaEvent);
      break;
  }
}

bool CNewDeskDlg::FirstCopyEnded() const {
  return m_firstCopy && WaitForSingleObject(m_firstCopy.get(), 0) == WAIT_OBJECT_0;
}

void CNewDeskDlg::LeaveWithFirstCopy() {
  if (m_leaving || SessionMayEnd()) return;
  Leave();
}

void CNewDeskDlg::Leave() {
  m_leaving = true;
  if (!SessionMayEnd()) ShowDefaultDesktop();
  TrayIconDelete();
  PostQuitMessage(0);
}

bool CNewDeskDlg::OnCommand(int id, int) {
  switch (id) {
    case IDC_EXIT:
      Leave();
      return true;
    case IDC_SWITCH:
      // The first copy switches back; when its "switch desk" cannot be reached this copy shows
      // "Default" itself, so the way home never depends on that name.
      if (!SignalEvent(kFirstCopyEvents, kSwitchDeskEvent)) ShowDefaultDesktop();
      return true;
  }
  return false;
}

void CNewDeskDlg::OnTick() {
  // The heartbeat first: a slow taskbar below must not silence it.
  SignalEvent(kFirstCopyEvents, kHelloEvent);
  const bool iconShown = KeepTrayIcon();
  // Without a taskbar on this desktop (its shell ended) the tray icon cannot bring the window
  // back: it stays shown, so its switch button stays within reach.
  const bool taskbar = FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
  if (!taskbar && !(GetWindowLongW(hwnd(), GWL_STYLE) & WS_VISIBLE)) ShowWindow(hwnd(), SW_SHOWNA);
  if (iconShown) {
    // Hidden only while the icon exists to bring it back.
    if (taskbar && GetForegroundWindow() != hwnd()) HideToCorner(hwnd());
    if (okSent_ == 0) {
      okSent_ = 1;
      SignalEvent(kFirstCopyEvents, kDeskNewOkEvent);
    }
  }
  ++deadCount;
  if (SecondCopyLeaves(FirstCopyEnded(), deadCount) && !SessionMayEnd() && !m_leaving) {
    deadCount = 0;
    Leave();
  }
}
