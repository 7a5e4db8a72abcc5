#include "desktop/user_work.h"

#include <cwchar>

#include "desktop/desk_rules.h"
#include "services/tray_text.h"

bool IsUserWindow(const DeskWindowFacts& window) {
  if (!window.visibleStyle || !window.titled || window.ofThisProgram) return false;
  if (window.toolWindow || window.cloaked) return false;
  if (window.owned && !window.appWindow) return false;
  if (!window.ofShell) return true;
  const wchar_t* name = window.className ? window.className : L"";
  return SameNameIgnoringCase(name, L"CabinetWClass") || SameNameIgnoringCase(name, L"OperationStatusWindow");
}

void UserWork::Add(const wchar_t* title, bool ofShell) {
  inShell = inShell || ofShell;
  if (count < static_cast<int>(kListedTitles)) {
    wchar_t* slot = titles[count];
    const std::size_t n = title ? FieldLength(title, std::wcslen(title), kListedTitleCapacity) : 0;
    std::wmemcpy(slot, title ? title : L"", n);
    slot[n] = L'\0';
  }
  ++count;
}

ExitPlan PlanExit(ExitRequest request, int userWindows) {
  if (userWindows <= 0) return ExitPlan::RunSteps;
  return request == ExitRequest::ByUser ? ExitPlan::Ask : ExitPlan::KeepRunning;
}

ExitAnswer ExitAnswerFromButton(int button) {
  if (button == kButtonYes) return ExitAnswer::GoToNew;
  if (button == kButtonNo) return ExitAnswer::ExitAnyway;
  return ExitAnswer::Stay;
}

ShellRestartLimiter::Verdict ShellRestartLimiter::OnShellEnded(unsigned long long nowMs) {
  if (givenUp_) return Verdict::GivenUp;
  if (used_ == kShellRestarts && nowMs - restarts_[0] < kShellRestartPeriodMs) {
    givenUp_ = true;
    return Verdict::GiveUp;
  }
  if (used_ == kShellRestarts) {
    for (int i = 1; i < kShellRestarts; ++i) restarts_[i - 1] = restarts_[i];
    --used_;
  }
  restarts_[used_++] = nowMs;
  return Verdict::Restart;
}

ShellLaunch ChooseShellLaunch(bool splitElevated, bool usersShellFound, bool usersTokenUsable,
                              bool usersShellStarting, unsigned long long waitedMs) {
  if (!splitElevated) return ShellLaunch::OwnToken;
  if (usersTokenUsable) return ShellLaunch::UsersToken;
  if (!usersShellFound && usersShellStarting && waitedMs < kUsersShellWaitMs) return ShellLaunch::Wait;
  return ShellLaunch::LimitedToken;
}

bool StandardUserPrivilege(const wchar_t* name) {
  static const wchar_t* const kKept[] = {L"SeChangeNotifyPrivilege", L"SeShutdownPrivilege", L"SeUndockPrivilege",
                                         L"SeIncreaseWorkingSetPrivilege", L"SeTimeZonePrivilege"};
  if (!name) return false;
  for (const wchar_t* kept : kKept)
    if (SameNameIgnoringCase(name, kept)) return true;
  return false;
}

bool IsShellWindowClass(const wchar_t* className) {
  return className && (SameNameIgnoringCase(className, L"Shell_TrayWnd") || SameNameIgnoringCase(className, L"Progman"));
}

bool IsShellWindow(const wchar_t* className, const wchar_t* image, const wchar_t* explorerImage) {
  if (!IsShellWindowClass(className) || !image || !explorerImage || !image[0]) return false;
  return SameNameIgnoringCase(image, explorerImage);
}

ShellStep ChooseShellStep(bool trackedRunning, bool shellFoundThere) {
  if (trackedRunning) return ShellStep::Nothing;
  return shellFoundThere ? ShellStep::Adopt : ShellStep::Start;
}
