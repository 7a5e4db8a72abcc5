#include "desktop/switching.h"

#include "app/log.h"
#include "desktop/desk_rules.h"
#include "desktop/events.h"
#include "desktop/make_desk.h"
#include "desktop/user_work.h"
#include "win/handles.h"
#include "win/immortal.h"
#include "win/sync.h"

std::atomic<int> deadCount{0};
std::atomic<int> switchRefused{0};

namespace {
std::atomic<bool> exitUnderWay{false};
std::atomic<int> session{static_cast<int>(Session::Running)};
}  // namespace

namespace {

// Desktop handles and started processes, written by the creation thread and read by the UI
// thread; every access takes the lock, and no window call is made while holding it.
struct DeskState {
  win::CriticalSection lock;
  HDESK defaultDesk = nullptr;
  win::Desktop openedDefault;  // owns defaultDesk when "Default" could be opened
  HDESK current = nullptr;
  HDESK fresh = nullptr;       // "desk new"; null while not ready
  HDESK previous = nullptr;    // handle of the run before, until the run ends
  HDESK retained = nullptr;    // an old handle still current while a run failed
  win::Handle explorer;
  win::Handle newCopy;
  // Set once a switch was seen to move the input desktop: from then on the input desktop's name
  // is believed over `current`. Wine never moves it, so there `current` alone decides.
  bool inputTrusted = false;
};

// Lives to the end of the process: worker threads may still use it while statics are destroyed.
win::Immortal<DeskState> deskState;
DeskState& State() { return *deskState; }

class DeskLock : public win::Lock {
 public:
  DeskLock() : win::Lock(State().lock) {}
};

void CloseIfUnused(HDESK h, const DeskState& s) {
  if (h && h != s.current && h != s.fresh && h != s.defaultDesk) CloseDesktop(h);
}

// The input desktop as the system reports it; `error` gets the reason when it cannot be opened.
InputDesk ReadInputDesk(DWORD* error) {
  win::Desktop input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
  if (!input) {
    *error = GetLastError();
    return InputDesk::Unreadable;
  }
  wchar_t name[64] = {};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(input.get(), UOI_NAME, name, sizeof name - sizeof name[0], &needed))
    return InputDesk::Other;
  return ClassifyInputDesk(name);
}

}  // namespace

bool OpenStartupDesktops() {
  HDESK opened = OpenDesktopW(L"Default", 0, FALSE, DESKTOP_CREATEWINDOW | DESKTOP_SWITCHDESKTOP);
  DeskLock lock;
  if (!opened) {
    State().defaultDesk = GetThreadDesktop(GetCurrentThreadId());
    State().current = State().defaultDesk;
    return false;
  }
  State().openedDefault.reset(opened);
  State().defaultDesk = opened;
  State().current = opened;
  return true;
}

HDESK DefaultDesktop() {
  DeskLock lock;
  return State().defaultDesk;
}

SwitchResult SwitchDesk() {
  using Outcome = SwitchOutcome;
  Outcome outcome = Outcome::NotReady;
  DWORD inputError = 0;
  {
    DeskLock lock;
    DeskState& s = State();
    if (s.current && s.defaultDesk && s.fresh) {
      const InputDesk before = ReadInputDesk(&inputError);
      const bool believedKnown = s.current == s.defaultDesk || s.current == s.fresh;
      const Desk believed = s.current == s.fresh ? Desk::New : Desk::Default;
      const SwitchTarget target = ChooseSwitchTarget(believed, before, s.inputTrusted);
      if (target == SwitchTarget::Refuse) {
        outcome = Outcome::NoInput;
      } else if (!s.inputTrusted && !believedKnown) {
        outcome = Outcome::Lost;
      } else {
        outcome = Outcome::Switched;
        HDESK to = target == SwitchTarget::ToNew ? s.fresh : s.defaultDesk;
        // The believed desktop changes only with a switch that happened, so a refused switch
        // does not turn the next request around.
        if (SwitchDesktop(to)) {
          s.current = to;
          DWORD ignored = 0;
          s.inputTrusted = InputConfirmsSwitch(s.inputTrusted, before, ReadInputDesk(&ignored), target);
        }
      }
    }
  }
  if (outcome == Outcome::NotReady) switchRefused = 1;
  return {outcome, inputError};
}

void TellSecondCopyToLeave() {
  exitUnderWay = true;
  SignalEvent(1, 1);  // "notify n exit"
  Sleep(200);         // lets the second copy leave by itself
}

BOOL ExitDesktops() {
  exitUnderWay = true;  // the shell ended here is not restarted
  DeskLock lock;
  DeskState& s = State();
  if (s.newCopy) TerminateProcess(s.newCopy.get(), 0);
  if (s.explorer) TerminateProcess(s.explorer.get(), 1);
  return s.defaultDesk ? SwitchDesktop(s.defaultDesk) : FALSE;
}

void SetSession(Session value) { session = static_cast<int>(value); }

bool SessionMayEnd() { return session != static_cast<int>(Session::Running); }

void WatchShell() {
  if (exitUnderWay || SessionMayEnd()) return;
  {
    DeskLock lock;
    const DeskState& s = State();
    // While a creation run is under way (no "desk new" yet) that run decides about the shell.
    if (!s.fresh || !s.explorer || WaitForSingleObject(s.explorer.get(), 0) != WAIT_OBJECT_0) return;
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
  win::Handle token(PrepareShellToken());
  char reStr[kReasonCapacity] = "";
  PROCESS_INFORMATION explorer{};
  if (!StartShell(kNewDesktopName, token.get(), &explorer, reStr)) {
    LogLine(reStr);
    return;
  }
  ReplaceStartedProcesses(&explorer, nullptr);
}

void ShowDefaultDesktop() {
  win::Desktop home(OpenDesktopW(L"Default", 0, FALSE, DESKTOP_SWITCHDESKTOP));
  if (home) SwitchDesktop(home.get());
}

bool TrackedShellRunning(bool* tracked) {
  DeskLock lock;
  const DeskState& s = State();
  *tracked = static_cast<bool>(s.explorer);
  return *tracked && WaitForSingleObject(s.explorer.get(), 0) == WAIT_TIMEOUT;
}

void BeginDesktopRun() {
  DeskLock lock;
  DeskState& s = State();
  s.previous = s.fresh;
  s.fresh = nullptr;
}

void EndDesktopRun(HDESK fresh) {
  DeskLock lock;
  DeskState& s = State();
  HDESK previous = s.previous;
  HDESK retained = s.retained;
  s.previous = nullptr;
  s.retained = nullptr;
  s.fresh = fresh;
  // A rerun while "desk new" is shown reopens that same desktop: carry the shown state over.
  if (fresh && s.current && (s.current == previous || s.current == retained)) s.current = fresh;
  for (HDESK old : {previous, retained}) {
    if (old && old == s.current)
      s.retained = old;  // still shown through a failed run: kept until a later run replaces it
    else
      CloseIfUnused(old, s);
  }
}

void ReplaceStartedProcesses(PROCESS_INFORMATION* explorer, PROCESS_INFORMATION* newCopy) {
  DeskLock lock;
  DeskState& s = State();
  // A failed start leaves the record of the earlier run in place.
  if (explorer && explorer->hProcess) {
    s.explorer.reset(explorer->hProcess);
    if (explorer->hThread) CloseHandle(explorer->hThread);
  }
  if (newCopy && newCopy->hProcess) {
    s.newCopy.reset(newCopy->hProcess);
    if (newCopy->hThread) CloseHandle(newCopy->hThread);
  }
}

int SwitchState() {
  DeskLock lock;
  const DeskState& s = State();
  if (!s.current || !s.defaultDesk || !s.fresh) return 0;
  if (s.current == s.defaultDesk) return 1;
  if (s.current == s.fresh) return 2;
  return 3;
}
