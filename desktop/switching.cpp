#include "desktop/switching.h"

#include <utility>

#include "desktop/desk_rules.h"
#include "desktop/events.h"
#include "desktop/make_desk.h"
#include "desktop/user_work.h"
#include "services/log.h"
#include "win/fixed_text.h"
#include "win/handles.h"
#include "win/sync.h"

std::atomic<int> deadCount{0};
std::atomic<int> switchRefused{0};

namespace {

std::atomic<bool> exitUnderWay{false};  // set by the exit steps: the shell they end stays ended
std::atomic<int> session{static_cast<int>(Session::Running)};

// Desktop handles and started processes, written by the creation thread and read by the UI
// thread; every access takes the lock, and no window call is made while holding it.
struct DeskState {
  win::CriticalSection lock;
  win::Desktop openedDefault;   // "Default" as opened at start
  HDESK defaultDesk = nullptr;  // openedDefault, or the UI thread's own desktop, which is not ours to close
  // "desk new" as the last run that opened it left it. A run keeps the handle open while it
  // reopens the desktop, so that a shell still running there keeps its desktop.
  win::Desktop deskNew;
  bool deskNewReady = false;  // false while a run is under way and after one that could not open it
  // Which of the two is shown: it changes only with a switch that happened. A rerun reopens the
  // same desktop, so it outlives the handle it was switched with.
  Desk shown = Desk::Default;
  win::Handle explorer;
  win::Handle newCopy;
  // Set once a switch was seen to move the input desktop: from then on the input desktop's name
  // is believed over `shown`. Wine never moves it, so there `shown` alone decides.
  bool inputTrusted = false;
};

DeskState deskState;
DeskState& State() { return deskState; }

class DeskLock : public win::Lock {
 public:
  DeskLock() : win::Lock(State().lock) {}
};

// The input desktop as the system reports it; `error` gets the reason when it cannot be opened.
InputDesk ReadInputDesk(DWORD* error) {
  win::Desktop input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
  if (!input) {
    *error = GetLastError();
    return InputDesk::Unreadable;
  }
  win::WideText<64> name;
  DWORD needed = 0;
  if (!GetUserObjectInformationW(input.get(), UOI_NAME, name.Buffer(), name.capacity() * sizeof(wchar_t), &needed))
    return InputDesk::Other;
  return ClassifyInputDesk(name.c_str());
}

}  // namespace

bool OpenStartupDesktops() {
  HDESK opened = OpenDesktopW(L"Default", 0, FALSE, DESKTOP_CREATEWINDOW | DESKTOP_SWITCHDESKTOP);
  DeskLock lock;
  State().openedDefault.reset(opened);
  State().defaultDesk = opened ? opened : GetThreadDesktop(GetCurrentThreadId());
  return opened != nullptr;
}

HDESK DefaultDesktop() {
  DeskLock lock;
  return State().defaultDesk;
}

SwitchResult SwitchDesk() {
  DWORD inputError = 0;
  {
    DeskLock lock;
    DeskState& s = State();
    if (s.defaultDesk && s.deskNewReady) {
      const InputDesk before = ReadInputDesk(&inputError);
      const SwitchTarget target = ChooseSwitchTarget(s.shown, before, s.inputTrusted);
      if (target == SwitchTarget::Refuse) return {SwitchOutcome::NoInput, inputError};
      const bool toNew = target == SwitchTarget::ToNew;
      // The shown desktop changes only with a switch that happened, so a refused switch does not
      // turn the next request around.
      if (SwitchDesktop(toNew ? s.deskNew.get() : s.defaultDesk)) {
        s.shown = toNew ? Desk::New : Desk::Default;
        DWORD ignored = 0;
        s.inputTrusted = InputConfirmsSwitch(s.inputTrusted, before, ReadInputDesk(&ignored), target);
      }
      return {SwitchOutcome::Switched, 0};
    }
  }
  switchRefused = 1;
  return {SwitchOutcome::NotReady, 0};
}

void TellSecondCopyToLeave() {
  exitUnderWay = true;  // the shell ended in the exit steps is not restarted
  SignalEvent(1, 1);  // "notify n exit"
  Sleep(200);         // lets the second copy leave by itself
}

BOOL ExitDesktops(bool keepShell) {
  exitUnderWay = true;
  DeskLock lock;
  DeskState& s = State();
  if (s.newCopy) TerminateProcess(s.newCopy.get(), 0);
  if (s.explorer && !keepShell) TerminateProcess(s.explorer.get(), 1);
  return s.defaultDesk ? SwitchDesktop(s.defaultDesk) : FALSE;
}

void SetSession(Session value) { session = static_cast<int>(value); }

bool SessionMayEnd() { return session != static_cast<int>(Session::Running); }

void WatchShell() {
  if (exitUnderWay || SessionMayEnd()) return;
  {
    DeskLock lock;
    const DeskState& s = State();
    // While a creation run is under way that run decides about the shell.
    if (!s.deskNewReady || !s.explorer || WaitForSingleObject(s.explorer.get(), 0) != WAIT_OBJECT_0) return;
  }
  static ShellRestartLimiter limiter;  // first reached on the UI thread
  switch (limiter.OnShellEnded(GetTickCount64())) {
    case ShellRestartLimiter::Verdict::GivenUp:
      return;
    case ShellRestartLimiter::Verdict::GiveUp:
      LogLine("explorer of desk new ended 3 times in 5 minutes,no more restarts\r\n");
      return;
    case ShellRestartLimiter::Verdict::Restart:
      break;
  }
  LogLine("explorer of desk new ended,restart it ..\r\n");
  const win::Handle token(PrepareShellToken());
  ReasonLine reStr;
  DeskRun run;  // the shell alone: the desktop and the second copy stay as they are
  if (!StartShell(kNewDesktopName, token.get(), &run.explorer, reStr)) {
    LogLine(reStr.c_str());
    return;
  }
  EndDesktopRun(std::move(run));
}

void ShowDefaultDesktop() {
  win::Desktop home(OpenDesktopW(L"Default", 0, FALSE, DESKTOP_SWITCHDESKTOP));
  if (home) SwitchDesktop(home.get());
}

bool TrackedShellRunning() {
  DeskLock lock;
  const DeskState& s = State();
  return s.explorer && WaitForSingleObject(s.explorer.get(), 0) == WAIT_TIMEOUT;
}

void BeginDesktopRun() {
  DeskLock lock;
  State().deskNewReady = false;
}

void EndDesktopRun(DeskRun&& run) {
  DeskLock lock;
  DeskState& s = State();
  if (run.desk) {
    s.deskNew = std::move(run.desk);  // closes the handle of the run before
    s.deskNewReady = true;
  }
  // A failed start leaves the record of the earlier run in place.
  if (run.explorer) s.explorer = std::move(run.explorer);
  if (run.newCopy) s.newCopy = std::move(run.newCopy);
}

int SwitchState() {
  DeskLock lock;
  const DeskState& s = State();
  if (!s.defaultDesk || !s.deskNewReady) return 0;
  return s.shown == Desk::Default ? 1 : 2;
}
