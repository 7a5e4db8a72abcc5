#include "desktop/desk_rules.h"

#include <cwchar>

#include "desktop/protocol.h"
#include "win/fixed_text.h"

namespace {

InputDesk AsInput(SwitchTarget target) {
  return target == SwitchTarget::ToNew ? InputDesk::New : InputDesk::Default;
}

}  // namespace

bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    wchar_t x = *a;
    wchar_t y = *b;
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
    if (!x) return true;
  }
}

InputDesk ClassifyInputDesk(const wchar_t* name) {
  if (!name) return InputDesk::Unreadable;
  if (SameNameIgnoringCase(name, kDefaultDesktopNameW)) return InputDesk::Default;
  if (SameNameIgnoringCase(name, kNewDesktopNameW)) return InputDesk::New;
  return InputDesk::Other;
}

InputDesk WhereUserIs(Desk believed, InputDesk input, bool inputTrusted) {
  if (input == InputDesk::Unreadable || inputTrusted) return input;
  return believed == Desk::Default ? InputDesk::Default : InputDesk::New;
}

SwitchTarget ChooseSwitchTarget(Desk believed, InputDesk input, bool inputTrusted, SwitchRequest request) {
  const InputDesk where = WhereUserIs(believed, input, inputTrusted);
  if (where == InputDesk::Unreadable) return SwitchTarget::Refuse;
  switch (request) {
    case SwitchRequest::ToDefault:
      return where == InputDesk::Default ? SwitchTarget::Stay : SwitchTarget::ToDefault;
    case SwitchRequest::ToNew:
      return where == InputDesk::New ? SwitchTarget::Stay : SwitchTarget::ToNew;
    case SwitchRequest::Other:
      break;
  }
  // From a desktop of some other program the way leads home, as the exit does.
  return where == InputDesk::Default ? SwitchTarget::ToNew : SwitchTarget::ToDefault;
}

bool InputConfirmsSwitch(bool inputTrusted, InputDesk before, InputDesk after, SwitchTarget target) {
  if (inputTrusted) return true;
  if (target == SwitchTarget::Refuse || target == SwitchTarget::Stay) return false;
  return before != AsInput(target) && after == AsInput(target);
}

bool ExplorerPath(const wchar_t* windowsDir, wchar_t* out, std::size_t capacity) {
  static const wchar_t kShell[] = L"explorer.exe";
  if (!out || capacity == 0) return false;
  out[0] = L'\0';
  if (!windowsDir || !windowsDir[0]) return false;
  const std::size_t dirLength = std::wcslen(windowsDir);
  const bool hasSeparator = windowsDir[dirLength - 1] == L'\\';
  const std::size_t total = dirLength + (hasSeparator ? 0 : 1) + (sizeof kShell / sizeof kShell[0]);
  if (total > capacity) return false;
  std::wmemcpy(out, windowsDir, dirLength);
  std::size_t n = dirLength;
  if (!hasSeparator) out[n++] = L'\\';
  std::wmemcpy(out + n, kShell, sizeof kShell / sizeof kShell[0]);
  return true;
}

bool SessionHolds(Session session, bool systemShuttingDown) {
  return session != Session::Running || systemShuttingDown;
}

SessionStep AnswerSessionQuery(bool closeApp, int userWindows, bool newShown) {
  SessionStep step{Session::Asked};
  step.showNew = !closeApp && userWindows > 0 && !newShown;
  return step;
}

SessionStep AnswerSessionEnd(bool ending, bool closeApp) {
  SessionStep step{Session::Running};
  if (ending && closeApp)
    step.leave = true;
  else if (ending)
    step.next = Session::Ending;
  else
    step.cancelled = !closeApp;
  return step;
}

bool TellCancelledLogoff(int userWindows, bool newShown) { return userWindows > 0 && !newShown; }

const char* RefusedByExit(ExitGated request, bool exitUnderWay) {
  if (!exitUnderWay) return nullptr;
  switch (request) {
    case ExitGated::Switch:
      return "SwitchDesk: refused,the exit is under way\r\n";
    case ExitGated::CreationRun:
      return "MakeDeskThreadFunc: refused,the exit is under way\r\n";
    case ExitGated::Exit:
      return "exit skipped,the exit is already under way\r\n";
  }
  return nullptr;
}

RunVerdict DecideCreationRun(bool exitUnderWay, bool runInFlight) {
  if (exitUnderWay) return RunVerdict::RefuseExit;
  return runInFlight ? RunVerdict::RefuseBusy : RunVerdict::Start;
}

unsigned long long ShellWaitAfterRun(unsigned long long waitingSince, bool shellDecided, bool shellWaiting,
                                     unsigned long long nowMs) {
  if (!shellDecided) return waitingSince;
  if (!shellWaiting) return 0;
  if (waitingSince) return waitingSince;
  return nowMs ? nowMs : 1;  // 0 means none waits
}

bool TrayReAddDue(unsigned long long lastTryMs, unsigned long long nowMs) {
  return lastTryMs == 0 || nowMs - lastTryMs >= kTrayReAddPeriodMs;
}

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

WaitSet BuildWaitSet(const bool created[kEventsPerGroup]) {
  WaitSet set;
  for (int k = 0; k < kEventsPerGroup; ++k)
    if (created[k]) set.position[set.count++] = k;
  return set;
}

int WokenPosition(const WaitSet& set, unsigned long waitResult) {
  // WAIT_OBJECT_0 is 0: a result below the count is the index of the handle that woke the wait.
  if (waitResult >= static_cast<unsigned long>(set.count)) return kNoEvent;
  return set.position[waitResult];
}

bool HotKeyFailureIsSilent(unsigned long error) { return error == kHotKeyAlreadyRegistered; }

CopyAction DecideCopyEnded(const CopyFacts& facts, CopyRestartLimiter& limiter, unsigned long long nowMs) {
  if (!facts.tracked || !facts.ended || facts.runUnderWay) return CopyAction::Nothing;
  if (facts.exitUnderWay || facts.sessionMayEnd) return CopyAction::Nothing;
  switch (limiter.OnShellEnded(nowMs)) {
    case CopyRestartLimiter::Verdict::Restart:
      return CopyAction::Restart;
    case CopyRestartLimiter::Verdict::GiveUp:
      return CopyAction::GiveUp;
    case CopyRestartLimiter::Verdict::GivenUp:
      break;
  }
  return CopyAction::Forget;
}

bool CopyShowedDefault(unsigned long exitCode) { return exitCode == kSecondCopyLeftItself; }

bool AcceptParent(const ParentFacts& facts) { return facts.opened && facts.sameProgram && facts.startedBefore; }

bool SecondCopyLeaves(bool parentEnded, int silentTicks) {
  return parentEnded || silentTicks >= kSecondCopySilentTicks;
}
