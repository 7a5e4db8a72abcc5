#include "desktop/user_work.h"

namespace {

bool SameClass(const wchar_t* a, const wchar_t* b) {
  // Class names compare without regard to case, as the system compares them.
  for (;; ++a, ++b) {
    wchar_t x = *a;
    wchar_t y = *b;
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
    if (!x) return true;
  }
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

bool IsUserWindow(const DeskWindowFacts& window) {
  if (!window.visibleStyle || !window.titled || window.ofThisProgram) return false;
  if (window.owned && !window.appWindow) return false;
  if (!window.ofShell) return true;
  const wchar_t* name = window.className ? window.className : L"";
  return SameClass(name, L"CabinetWClass") || SameClass(name, L"OperationStatusWindow");
}

void UserWork::Add(const wchar_t* title, bool ofShell) {
  inShell = inShell || ofShell;
  if (count < static_cast<int>(kListedTitles)) {
    wchar_t* slot = titles[count];
    std::size_t n = 0;
    for (; title && title[n] && n < kListedTitleCapacity - 1; ++n) slot[n] = title[n];
    if (title && title[n] && n > 0 && IsHighSurrogate(slot[n - 1])) --n;  // never half a pair
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

ShellLaunch ChooseShellLaunch(bool selfElevated, bool usersShellFound, bool usersTokenReady,
                              bool usersTokenElevated) {
  if (!selfElevated || !usersShellFound) return ShellLaunch::Ordinary;
  if (!usersTokenReady) return ShellLaunch::OrdinaryAfterFallback;
  return usersTokenElevated ? ShellLaunch::Ordinary : ShellLaunch::UsersToken;
}
