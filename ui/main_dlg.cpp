#include "ui/main_dlg.h"

#include "desktop/events.h"
#include "desktop/make_desk.h"
#include "desktop/protocol.h"
#include "desktop/shell_launch.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/tray.h"
#include "state/registry_store.h"
#include "ui/desk_window.h"
#include "ui/ids.h"
#include "update/update_worker.h"
#include "version/version.h"
#include "win/fixed_text.h"
#include "win/text.h"

namespace {

bool trayHidden = false;  // the user hid the icon with Ctrl+Alt+H: the tick leaves it away

constexpr int kRestartThreshold = 500;

// A creation run that was refused says why in one line; one that could not start is tried again
// by the watchdog.
void LogRunRefusal(RunStart start) {
  if (start == RunStart::RefusedExit)
    LogLine(RefusedByExit(ExitGated::CreationRun, true));
  else if (start == RunStart::RefusedBusy)
    LogLine(kRunBusyLine);
}

#ifndef TOLVA_NO_UPDATE
const UpdateCommands kUpdateCommands = {ID_UPDATE_NEWS, ID_UPDATE_EXIT};  // handed to the update worker
#endif

const char* const kBannerHead[] = {
    "hello\r\n", "Kalvo双桌面 " TOLVA_VERSION "\r\n", "欢迎使用双桌面\r\n", "快捷热键操作说明\r\n",
};

// The keys in effect, each under its heading; a key set to none reads "无".
void LogBanner(const Settings& settings) {
  for (const char* line : kBannerHead) LogLine(line);
  const struct {
    const char* heading;
    KeyAction action;
  } keys[] = {{"退出:\r\n", kExitKey}, {"隐藏/显示托盘:\r\n", kHideKey}, {"切换:\r\n", kSwitchKey}, {nullptr, kSwitchKey2}};
  for (const auto& key : keys) {
    if (key.heading) LogLine(key.heading);
    const win::Text<40> name = HotKeyName(settings.keys[key.action]);
    LogFormat("%s\r\n", name.empty() ? "无" : name.c_str());
  }
}

const DeskHotKey kHotKeys[] = {
    {HK_SWITCH_N, kSwitchKey},
    {HK_TRAY, kHideKey},
    {HK_EXIT, kExitKey},
    {HK_SWITCH_ENTER, kSwitchKey2},
};

void LogOwnEvent(int index, const char* name, unsigned long error) {
  if (error == ERROR_ALREADY_EXISTS)
    LogFormat("CreateEvent eventsStr[%d]%s return ERROR_ALREADY_EXISTS \r\n", index, name);
  else
    LogFormat("CreateEvent eventsStr[%d]%s failed,error no %lu \r\n", index, name, error);
}

// What the user learns of a switch that did not happen.
void ReportSwitch(const SwitchResult& switched) {
  switch (switched.outcome) {
    case SwitchOutcome::Switched:
    case SwitchOutcome::AlreadyShown:
      return;
    case SwitchOutcome::NoInput:
      // A secure desktop (log-on screen, elevation prompt) holds the input: no switch now.
      LogFormat("SwitchDesk: OpenInputDesktop failed,error no %d \r\n", static_cast<int>(switched.inputError));
      return;
    case SwitchOutcome::ExitUnderWay:
      LogLine(RefusedByExit(ExitGated::Switch, true));
      return;
    case SwitchOutcome::NotReady:
      LogLine("还没启动完毕，不能切换\r\n");
      TrayIconBalloon("提示", "还没启动完毕，不能切换\r\n");
      return;
  }
}

// A switch the exit question makes: while "desk new" is not ready there is nothing to go to or
// come back from, and the user asked for no switch.
void ReportNamedSwitch(const SwitchResult& switched) {
  if (switched.outcome != SwitchOutcome::NotReady) ReportSwitch(switched);
}

bool IsSpaceKey(const MSG& msg) {
  return ((msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) && msg.wParam == VK_SPACE) ||
         (msg.message == WM_CHAR && msg.wParam == L' ');
}

// The question before an exit that would leave the user's programs on "desk new" out of reach.
// Yes/No/Cancel with each button's meaning spelled out: a plain message box looks and works
// the same on every Windows from 7 on and needs nothing of the common controls.
int AskAboutUserWork(HWND owner, const UserWork& work) {
  win::WideText<512> text;
  text.Format(L"desk new 上还有 %d 个程序窗口开着:\r\n", work.count);
  for (int i = 0; i < work.count && i < static_cast<int>(kListedTitles); ++i) {
    text.Append(L"    ");
    text.Append(work.titles[i]);
    text.Append(L"\r\n");
  }
  if (work.count > static_cast<int>(kListedTitles)) text.Append(L"    ……\r\n");
  text.Append(L"\r\n是: 切换到 desk new 去处理, 不退出\r\n"
              L"否: 仍然退出, 这些程序留在 desk new 上继续运行, 下次启动双桌面时回来\r\n"
              L"取消: 不退出");
  return MessageBoxW(owner, text.c_str(), L"提示",
                     MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON1 | MB_SETFOREGROUND);
}

}  // namespace

CMainDlg::CMainDlg()
    : DeskWindow(IDD_MAIN, IDI_DEFAULT, {&m_btnSwitch, &m_btnExit}),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_DEFAULT))) {}

BOOL CMainDlg::OnInitDialog() {
  Bind(IDC_SWITCH, m_btnSwitch);
  Bind(IDC_EXIT, m_btnExit);
  HWND wnd = hwnd();
  SendMessageW(wnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageW(wnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  BeginDeskWindow();
  AttachLogWindow(GetDlgItem(wnd, IDC_LOG));
  PlaceWindow(wnd);
  ShowWindow(wnd, SW_SHOW);
  SetTimer(wnd, IDT_TICK, 1000, nullptr);

  m_settings = ReadSettings();
  LogBanner(m_settings);
  for (int i = 0; i < kSettingCount; ++i)
    if (m_settings.rejected & (1u << i)) LogFormat("设置值 %s 无效, 已忽略, 用默认值\r\n", kSettingNames[i]);
  const win::Text<128> failedKeys = RegisterHotKeys();
  if (!OpenStartupDesktops())
    MessageBoxW(wnd, win::FromAnsi("无法获取缺省桌面信息!\r\n所以当前桌面将被视为原始桌面!").c_str(), L"Error",
                MB_ICONERROR);
  CountStartInRecord();
  // A program file that cannot be read whole, or of a size no build has, ends the start here.
  const OwnFileCheck ownFile = CheckOwnFile();
  if (ownFile.verdict == OwnFileVerdict::NoPath)
    LogFormat("CheckOwnFile: GetModuleFileName failed,error no %d \r\n", static_cast<int>(ownFile.error));
  else if (ownFile.verdict == OwnFileVerdict::ShortRead)
    LogLine("!!!!!!(fsize!=dwRW)!!!!!!!!\r\n");
  if (ownFile.verdict != OwnFileVerdict::Accepted) ExitProcess(1);

  TrayIconInit(IDI_DEFAULT, wnd, WM_TRAYNOTIFY, deskNameStr.c_str());
  TrayIconAdd();
  if (!failedKeys.empty()) {
    win::Text<256> text;
    text.Format("热键没能注册, 可能已被其他程序占用:%s\r\n这次运行请用窗口上的按钮\r\n", failedKeys.c_str());
    TrayIconBalloon("提示", text.c_str());
  }

  m_btnSwitch.LoadIcons(IDI_SWITCH);
  m_btnExit.LoadIcons(IDI_EXIT);
  const HWND tips = CreateTooltips(wnd);
  const win::Text<96> switchKeys = SwitchKeyNames(m_settings);
  const win::Text<40> exitKey = HotKeyName(m_settings.keys[kExitKey]);
  win::Text<128> switchTip("切换"), exitTip("退出");
  if (!switchKeys.empty()) switchTip.Append(" ").Append(switchKeys.c_str());
  if (!exitKey.empty()) exitTip.Append(" ").Append(exitKey.c_str());
  m_btnSwitch.Describe(L"切换", tips, win::FromAnsi(switchTip.c_str()).c_str());
  m_btnExit.Describe(L"退出", tips, win::FromAnsi(exitTip.c_str()).c_str());

  CreateOwnEvents(kFirstCopyEvents, LogOwnEvent);
  StartWorkerThread(EventsThreadFunc, &kListenerCommands);
  // A second before the creation run, on a timer: what comes meanwhile is handled (a switch is
  // refused as not ready), and the run and the update worker start when it fires (OnStartTimer).
  SetTimer(wnd, IDT_START, 1000, nullptr);
  // The log takes the keyboard: on the exit button, the only tab stop, one stray Space would exit.
  FocusLog();
  return FALSE;
}

void CMainDlg::FocusLog() { SetFocus(GetDlgItem(hwnd(), IDC_LOG)); }

void CMainDlg::OnStartTimer() {
  KillTimer(hwnd(), IDT_START);
  if (ExitUnderWay()) return;  // the exit came first: nothing to start
  LogRunRefusal(StartDesktopRun(hwnd(), false));
#ifndef TOLVA_NO_UPDATE
  StartWorkerThread(UpdateThreadFunc, &kUpdateCommands);
#endif
}

void CMainDlg::RequestExit(bool byUser) {
  if (const char* refused = RefusedByExit(ExitGated::Exit, ExitUnderWay())) {
    LogLine(refused);
    return;
  }
  if (m_asking) {
    LogLine("exit skipped,the exit question is open\r\n");
    return;
  }
  if (SessionMayEnd()) {
    // The user's programs may be showing their save prompts on "desk new" right now.
    LogLine("exit skipped,the session may end\r\n");
    return;
  }
  const UserWork work = FindUserWork();
  switch (PlanExit(byUser ? ExitRequest::ByUser : ExitRequest::ByUpdate, work.count)) {
    case ExitPlan::RunSteps:
      Exit();
      return;
    case ExitPlan::KeepRunning:
      LogFormat("exit skipped,%d windows open on desk new\r\n", work.count);
      return;
    case ExitPlan::Ask:
      break;
  }
  if (InSendMessage()) {
    // Sent by another process, which would wait out the question: ask from this thread's own
    // queue instead (the listener posts).
    PostMessageW(hwnd(), WM_COMMAND, IDC_EXIT, 0);
    return;
  }
  // The question is asked on "Default", where this window is: the user is brought there first,
  // from wherever the screen really is.
  const SwitchResult toQuestion = SwitchDesk(SwitchRequest::ToDefault);
  ReportNamedSwitch(toQuestion);
  const bool wasOnNew = toQuestion.outcome == SwitchOutcome::Switched && toQuestion.fromNew;
  m_asking = true;
  const ExitAnswer answer = ExitAnswerFromButton(AskAboutUserWork(hwnd(), work));
  m_asking = false;
  // The exit came while the question was open (the Restart Manager's close, see Exit): the
  // answer switches nothing, and the screen stays where the exit left it.
  if (ExitUnderWay()) return;
  switch (answer) {
    case ExitAnswer::ExitAnyway:
      Exit(work.inShell);
      return;
    case ExitAnswer::GoToNew:
      ReportNamedSwitch(SwitchDesk(SwitchRequest::ToNew));
      return;
    case ExitAnswer::Stay:
      if (wasOnNew) ReportNamedSwitch(SwitchDesk(SwitchRequest::ToNew));
      return;
  }
}

// Asked before the user's programs: their save prompts will appear on "desk new", so the user
// must see it.
void CMainDlg::OnSessionQuery(bool closeApp) {
  const SessionStep step = AnswerSessionQuery(closeApp, FindUserWork().count, SwitchState() == kSwitchOnNew);
  if (step.showNew) ReportNamedSwitch(SwitchDesk(SwitchRequest::ToNew));  // where the save questions appear
}

// The logoff was cancelled, perhaps by a program on "desk new" asking about its unsaved work.
void CMainDlg::OnSessionEndCancelled() {
  if (TellCancelledLogoff(FindUserWork().count, SwitchState() == kSwitchOnNew))
    TrayIconBalloon("提示", "desk new 上还有程序窗口开着, 注销或关机前请先切换过去处理\r\n");
}

void CMainDlg::OnSessionLeave() {
  LogLine("WM_ENDSESSION: closed by the restart manager\r\n");
  Exit(FindUserWork().inShell);
}

win::Text<128> CMainDlg::RegisterHotKeys() {
  // A held key acts once: without MOD_NOREPEAT auto-repeat would flip the desktops back and forth
  // or run the exit twice.
  win::Text<128> failed;
  for (const DeskHotKey& key : kHotKeys) {
    const HotKeyCode code = m_settings.keys[key.action];
    if (RegisterDeskKey(key.id, code) == 0) continue;
    const win::Text<40> name = HotKeyName(code);
    LogFormat("RegisterHotKey %s failed\r\n", name.c_str());
    failed.Append(" ");
    failed.Append(name.c_str());
  }
  return failed;
}

// Enter and Esc never end the window; Space never presses a button of it.
bool CMainDlg::PreTranslateMessage(MSG& msg) {
  return DeskWindow::PreTranslateMessage(msg) || ((msg.hwnd == hwnd() || IsChild(hwnd(), msg.hwnd)) && IsSpaceKey(msg));
}

bool CMainDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (DeskWindow::OnMessage(msg, wp, lp, result)) return true;
  switch (msg) {
    case WM_PAINT:
      return PaintMinimized();
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(m_hIcon);
      return true;
    case WM_HOTKEY:
      OnHotKey(static_cast<int>(wp));
      result = 1;
      return true;
    case WM_TOLVA_REQUEST:
      OnListenerRequest(wp);
      result = 0;
      return true;
    case kDeskRunDoneMessage:
      TakeDesktopRun(lp);
      result = 0;
      return true;
    case WM_TIMER:
      if (wp == IDT_START) {
        OnStartTimer();
        return true;
      }
      if (wp == IDT_EXIT) {
        EndExit();
        return true;
      }
      return false;
    case WM_DESTROY:
      LogLine("WM_DESTROY:\r\n");
      return false;
    case WM_ACTIVATE:
    case WM_SETFOCUS:
      // Activated with no focus to restore, the dialog puts the keyboard on its first tab stop,
      // the exit button, where one stray Space would end both copies: the log takes it instead.
      result = win::Dialog::DefWindowProc(msg, wp, lp);
      if ((msg == WM_SETFOCUS || LOWORD(wp) != WA_INACTIVE) && GetFocus() == m_btnExit.hwnd()) FocusLog();
      return true;
  }
  return false;
}

bool CMainDlg::PaintMinimized() {
  if (!IsIconic(hwnd())) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd(), &ps);
  SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT r;
  GetClientRect(hwnd(), &r);
  const int x = (r.right - r.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (r.bottom - r.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(hwnd(), &ps);
  return true;
}

void CMainDlg::OnTaskbarRestart() {
  LogLine("explorer restarted..\r\n");
  DeskWindow::OnTaskbarRestart();
  m_lastTrayReAdd = 0;  // the taskbar says it is up: the next tick may add the icon at once
}

void CMainDlg::OnTrayClick() { FocusLog(); }

// Every command is the window's own: none reaches the dialog manager, which would end the window
// on IDOK or IDCANCEL.
bool CMainDlg::OnCommand(int id, int) {
  switch (id) {
    case IDC_EXIT:
      RequestExit(true);
      break;
    case ID_UPDATE_EXIT:
      RequestExit(false);
      break;
    case IDC_SWITCH:
      ReportSwitch(SwitchDesk());
      break;
#ifndef TOLVA_NO_UPDATE
    case ID_UPDATE_NEWS:
      ShowUpdateNews();
      break;
#endif
  }
  return true;
}

// What the listener heard, one request at a time.
void CMainDlg::OnListenerRequest(WPARAM position) {
  if (!TakeListenerRequest(position)) return;
  switch (position) {
    case kSwitchDeskEvent:
      SendMessageW(hwnd(), WM_COMMAND, IDC_SWITCH, 0);
      break;
    case kExitTolvaEvent:
      LogLine("WAIT_OBJECT_0+1\r\n");
      LogLine("tolva exit\r\n");
      RequestExit(true);
      break;
    case kHelloEvent:
      deadCount = 0;
      break;
    case kHideMainEvent:
      OnHotKey(HK_TRAY);
      break;
    case kDeskNewOkEvent:
      LogLine("desk new ok\r\n");
      if (switchRefused) TrayIconBalloon("提示", "启动已OK\r\n");
      break;
  }
}

void CMainDlg::OnHotKey(int id) {
  switch (id) {
    case HK_SWITCH_N:
    case HK_SWITCH_ENTER:
      SendMessageW(hwnd(), WM_COMMAND, IDC_SWITCH, 0);
      break;
    case HK_TRAY:
      ToggleTray();
      break;
    case HK_EXIT:
      RequestExit(true);
      break;
  }
}

void CMainDlg::Exit(bool keepShell) {
  if (const char* refused = RefusedByExit(ExitGated::Exit, ExitUnderWay())) {
    LogLine(refused);
    return;
  }
  NoteExitUnderWay();  // first: from here nothing switches, restarts or starts
  // Said now, while the log can still be read: the question's answer will switch nothing.
  if (m_asking) LogLine("exit question closed by the exit,the screen stays\r\n");
  if (!FinishRunForExit()) LogLine("MakeDeskThreadFunc: the run did not hand over in time,the exit goes on\r\n");
  m_exitKeepsShell = keepShell;
  TellSecondCopyToLeave();
  // The second copy's 200 ms to leave by itself, on a timer: requests meanwhile are refused in a line.
  if (!SetTimer(hwnd(), IDT_EXIT, 200, nullptr)) EndExit();
}

void CMainDlg::EndExit() {
  KillTimer(hwnd(), IDT_EXIT);
  TrayIconDelete();
  ExitDesktops(m_exitKeepsShell);
  PostQuitMessage(0);
}

void CMainDlg::ToggleTray() {
  if (TrayIconShown() == 1) {
    ShowWindow(hwnd(), SW_HIDE);
    TrayIconDelete();
    trayHidden = true;
  } else {
    TrayIconAdd();
    trayHidden = false;
  }
}

void CMainDlg::OnTick() {
  // The heartbeat first: a slow taskbar below must not silence it.
  SignalEvent(kSecondCopyEvents, kAckEvent);
  DrainLog();  // lines of the creation thread while it was on "desk new"
  if (ExitUnderWay()) return;
  PollDesktopRun();
  const ULONGLONG now = GetTickCount64();
  if (!trayHidden && TrayIconShown() != 1 && TrayReAddDue(m_lastTrayReAdd, now)) {
    m_lastTrayReAdd = now;
    KeepTrayIcon();
  }
  WatchShell();
  WatchSecondCopy();
  if (++deadCount > kRestartThreshold && !SessionMayEnd()) {
    deadCount = 0;
    LogLine("desk n is dead\r\nnow restart it ..\r\n");
    // A hung copy is ended first, so that exactly one runs after the creation.
    LogRunRefusal(StartDesktopRun(hwnd(), true));
  }
}
