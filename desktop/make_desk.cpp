#include "desktop/make_desk.h"

#include <windows.h>

#include <utility>

#include "desktop/desk_rules.h"
#include "desktop/protocol.h"
#include "desktop/shell_launch.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

// How long the rerun waits for the ended copy to be gone; a process the system cannot end in
// this time is not waited for longer.
constexpr DWORD kCopyEndWaitMs = 5000;
// How long the exit waits for a run in flight to record what it started.
constexpr DWORD kRunHandOverWaitMs = 5000;

// This program's own path: 0, or why it cannot be had whole.
DWORD ProgramPath(win::WideText<MAX_PATH + 1>& self) {
  const DWORD length = GetModuleFileNameW(nullptr, self.Buffer(), MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return length ? ERROR_INSUFFICIENT_BUFFER : GetLastError();
  self.SetLength(length);
  return 0;
}

// A shell start as the creation run and the shell watch report it: a line for a token other than
// this program's own, and on failure the reason line in `reStr` (false then).
bool ReportShellStart(const ShellStart& start, ReasonLine& reStr) {
  if (start.usersTokenError)
    LogFormat("MakeDesktop: explorer not started with the token of the user's shell,error no %d \r\n",
              static_cast<int>(start.usersTokenError));
  if (start.error) {
    reStr = FormatReason("MakeDesktop: CreateProcess explorer failed,error no %d ,reason is %s   \r\n", start.error);
    return false;
  }
  if (start.launch == ShellLaunch::UsersToken)
    LogLine("MakeDesktop: explorer started with the token of the user's shell\r\n");
  else if (start.launch == ShellLaunch::LimitedToken)
    LogLine("MakeDesktop: explorer started with a limited token,administrators deny-only,medium integrity\r\n");
  return true;
}

}  // namespace

int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr) {
  // Looked for on "Default", before the thread moves to the new desktop.
  ShellPlan plan = PlanShell(0);
  run.desk.reset(CreateDesktopA(name, nullptr, nullptr, 0, MAXIMUM_ALLOWED, nullptr));
  if (!run.desk) {
    reStr = FormatReason("MakeDesktop: CreateDesktop  failed,error no %d ,reason is %s  \r\n", GetLastError());
    return 0;
  }
  if (!SetThreadDesktop(run.desk.get())) {
    reStr = FormatReason("MakeDesktop: SetThreadDesktop  failed,error no %d ,reason is %s   \r\n", GetLastError());
    return 0;
  }
  // A second explorer on a desktop that already has a shell only opens a folder window and
  // leaves, which would lose track of the live shell: one left there by an earlier run is kept.
  if (!run.trackedShellRunning && !run.cancel) {
    run.shellDecided = true;
    run.explorer.reset(FindShellOn(win::FromAnsi<32>(name).c_str()));
    if (run.explorer) {
      run.explorerAdopted = true;
      LogLine("MakeDesktop: explorer already runs on desk new,kept\r\n");
    } else if (plan.launch == ShellLaunch::Wait) {
      // The watch starts it once the user's shell is up, or after the wait.
      LogLine("MakeDesktop: the user's shell is not up yet,explorer waits for it\r\n");
      run.shellWaiting = true;
    } else if (!ReportShellStart(StartShell(name, plan, &run.explorer), reStr)) {
      return 0;
    }
  }
  // A path that fills the buffer was cut: starting it would start something else, or nothing.
  win::WideText<MAX_PATH + 1> self;
  if (const DWORD error = ProgramPath(self)) {
    reStr = FormatReason("MakeDesktop: GetModuleFileName failed,error no %d ,reason is %s   \r\n", error);
    return 0;
  }
  if (run.cancel) return 1;  // the exit ends what this run started; no second copy for it
  StartSecondCopy(name, number, &run.newCopy);  // not examined: the watch notices a missing copy
  return 1;
}

DWORD StartSecondCopy(const char* name, int number, win::Handle* process) {
  win::WideText<MAX_PATH + 1> self;
  if (const DWORD error = ProgramPath(self)) return error;
  win::WideText<64> commandLine;
  commandLine.Format(L" makedesktop %ls %d", win::FromAnsi<32>(name).c_str(), number);
  return StartOnDesktop(self.c_str(), commandLine.Buffer(), name, process);
}

void checkMake(int result, const char* name, const char* reStr) {
  win::Text<2024> line;
  if (!SetThreadDesktop(DefaultDesktop())) {
    line.Format("checkMake:SetThreadDesktop to %s failed,error no %d \r\n", name,
                static_cast<int>(GetLastError()));
    LogLine(line.c_str());
  }
  if (result == 1)
    line.Format("Making %s..   \r\n", name);
  else
    line.Format("Make %s failed,reStr is %s\r\n", name, reStr);
  LogLine(line.c_str());
}

unsigned long __stdcall MakeDeskThreadFunc(void* param) {
  DeskRun& run = *static_cast<DeskRun*>(param);
  ReasonLine reStr;
  Sleep(1000);
  if (run.endFirst) {
    // The watchdog's rerun: the hung copy is ended first, and its end awaited, so that exactly one
    // runs afterwards.
    TerminateProcess(run.endFirst.get(), 1);
    if (WaitForSingleObject(run.endFirst.get(), kCopyEndWaitMs) != WAIT_OBJECT_0)
      LogLine("second copy of desk new did not end,a new one starts beside it\r\n");
  }
  if (!SetThreadDesktop(run.defaultDesk)) {
    reStr.Format("SetThread3Desktop0 failed,error no %d \r\n", static_cast<int>(GetLastError()));
    LogLine(reStr.c_str());
  }
  const int result = MakeDesktop(run, kNewDesktopName, 1, reStr);
  checkMake(result, kNewDesktopName, reStr.c_str());
  // Hand over: after the signal the run belongs to the UI thread, so nothing of it is read again.
  const HWND owner = run.owner;
  const LPARAM handed = reinterpret_cast<LPARAM>(param);
  SetEvent(run.done.get());
  PostMessageW(owner, kDeskRunDoneMessage, 0, handed);
  return 1;
}

namespace {

// Takes the run back from its thread once it is done: the record takes in what it started.
void TakeBack(DeskRun* run) {
  DeskState& s = DeskRecord();
  s.runInFlight = nullptr;
  EndDesktopRun(std::move(*run));
  win::DeleteOnHeap(run);
}

}  // namespace

RunStart StartDesktopRun(HWND owner, bool rerun) {
  DeskState& s = DeskRecord();
  switch (DecideCreationRun(ExitUnderWay(), s.runInFlight != nullptr)) {
    case RunVerdict::RefuseExit:
      return RunStart::RefusedExit;
    case RunVerdict::RefuseBusy:
      return RunStart::RefusedBusy;
    case RunVerdict::Start:
      break;
  }
  DeskRun* run = win::NewOnHeap<DeskRun>();
  if (!run) return RunStart::NotStarted;
  run->owner = owner;
  run->defaultDesk = s.defaultDesk;
  run->trackedShellRunning = TrackedShellRunning();
  run->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!run->done) {
    win::DeleteOnHeap(run);
    return RunStart::NotStarted;
  }
  // From here until the run hands over, the copy watch leaves the copy to the run.
  if (rerun) run->endFirst = std::move(s.newCopy);
  s.runInFlight = run;
  if (!StartWorkerThread(MakeDeskThreadFunc, run)) {
    s.runInFlight = nullptr;
    if (run->endFirst) s.newCopy = std::move(run->endFirst);
    win::DeleteOnHeap(run);
    return RunStart::NotStarted;
  }
  return RunStart::Started;
}

void TakeDesktopRun(LPARAM handed) {
  DeskRun* run = DeskRecord().runInFlight;
  // Only the run in flight is taken, and only once it says it is done: the message can come
  // from any program, and what it carries is compared, never followed.
  if (!run || reinterpret_cast<LPARAM>(run) != handed) return;
  if (WaitForSingleObject(run->done.get(), 0) != WAIT_OBJECT_0) return;
  TakeBack(run);
}

void PollDesktopRun() {
  DeskRun* run = DeskRecord().runInFlight;
  if (run && WaitForSingleObject(run->done.get(), 0) == WAIT_OBJECT_0) TakeBack(run);
}

bool FinishRunForExit() {
  DeskRun* run = DeskRecord().runInFlight;
  if (!run) return true;
  run->cancel = true;
  // Not waited for longer: the exit goes on without it.
  if (WaitForSingleObject(run->done.get(), kRunHandOverWaitMs) != WAIT_OBJECT_0) return false;
  TakeBack(run);  // the exit is under way: what the run started is ended
  return true;
}

void WatchSecondCopy() {
  static CopyRestartLimiter limiter;  // constant-initialised; the UI thread's alone
  CopyAction action = CopyAction::Nothing;
  {
    DeskState& s = DeskRecord();
    CopyFacts facts;
    facts.tracked = static_cast<bool>(s.newCopy);
    facts.ended = facts.tracked && WaitForSingleObject(s.newCopy.get(), 0) == WAIT_OBJECT_0;
    facts.runUnderWay = s.runInFlight != nullptr;
    facts.exitUnderWay = ExitUnderWay();
    facts.sessionMayEnd = SessionMayEnd();
    action = DecideCopyEnded(facts, limiter, GetTickCount64());
    if (action == CopyAction::Nothing) return;
    // Looked at once: an ended copy that is not replaced is watched no more.
    const win::Handle ended(std::move(s.newCopy));
    DWORD code = STILL_ACTIVE;
    if (GetExitCodeProcess(ended.get(), &code) && CopyShowedDefault(code)) s.shown = Desk::Default;
  }
  switch (action) {
    case CopyAction::Nothing:
    case CopyAction::Forget:
      return;
    case CopyAction::GiveUp:
      LogLine("second copy of desk new ended 3 times in 5 minutes,no more restarts\r\n");
      return;
    case CopyAction::Restart:
      break;
  }
  LogLine("second copy of desk new ended,restart it ..\r\n");
  DeskRun run;  // the copy alone: the desktop and its shell stay as they are
  if (const DWORD error = StartSecondCopy(kNewDesktopName, 1, &run.newCopy)) {
    // The watchdog tries the whole creation again later.
    LogFormat("WatchSecondCopy: CreateProcess failed,error no %d ,reason is %s\r\n", static_cast<int>(error),
              ReasonText(error).c_str());
    return;
  }
  EndDesktopRun(std::move(run));
}

void WatchShell() {
  if (ExitUnderWay() || SessionMayEnd()) return;
  unsigned long long waitingSince = 0;
  bool trackedRunning = false;
  {
    const DeskState& s = DeskRecord();
    // While a creation run is under way that run decides about the shell.
    if (!s.deskNewReady || s.runInFlight || (!s.explorer && !s.shellWaitSince)) return;
    waitingSince = s.shellWaitSince;
    trackedRunning = s.explorer && WaitForSingleObject(s.explorer.get(), 0) == WAIT_TIMEOUT;
  }
  if (trackedRunning && !waitingSince) return;
  DeskRun run;  // the shell alone: the desktop and the second copy stay as they are
  run.shellDecided = true;
  // Explorer restarting itself hands over to its new process, and the user may start one.
  run.explorer.reset(FindShellOn(kNewDesktopNameW));
  switch (ChooseShellStep(trackedRunning, static_cast<bool>(run.explorer))) {
    case ShellStep::Nothing:
      return;
    case ShellStep::Adopt:
      run.explorerAdopted = true;
      LogLine("explorer of desk new handed over to a running one,kept\r\n");
      EndDesktopRun(std::move(run));
      return;
    case ShellStep::Start:
      break;
  }
  if (!waitingSince) {
    static ShellRestartLimiter limiter;  // constant-initialised; the UI thread's alone
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
  }
  ShellPlan plan = PlanShell(waitingSince ? GetTickCount64() - waitingSince : 0);
  if (plan.launch == ShellLaunch::Wait) {
    if (!waitingSince) LogLine("MakeDesktop: the user's shell is not up yet,explorer waits for it\r\n");
    run.shellWaiting = true;
    EndDesktopRun(std::move(run));
    return;
  }
  ReasonLine reStr;
  if (!ReportShellStart(StartShell(kNewDesktopName, plan, &run.explorer), reStr)) LogLine(reStr.c_str());
  EndDesktopRun(std::move(run));
}
