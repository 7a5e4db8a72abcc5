#include "desktop/make_desk.h"

#include <utility>

#include "desktop/desk_record.h"
#include "desktop/protocol.h"
#include "desktop/shell_launch.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "services/process.h"
#include "win/heap_object.h"
#include "win/text.h"

namespace {

// How long the rerun waits for the ended copy to be gone; a process the system cannot end in
// this time is not waited for longer.
constexpr DWORD kCopyEndWaitMs = 5000;
// How long the exit waits for a run in flight to record what it started.
constexpr DWORD kRunHandOverWaitMs = 5000;

// This program's own path; false, with the last error set, when it cannot be had whole.
bool ProgramPath(win::WideText<MAX_PATH + 1>& self) {
  const DWORD length = GetModuleFileNameW(nullptr, self.Buffer(), MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) {
    if (length) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  self.SetLength(length);
  return true;
}

}  // namespace

int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr) {
  // Looked for on "Default", before the thread moves to the new desktop.
  ShellPlan plan = PlanShell(0);
  run.desk.reset(CreateDesktopA(name, nullptr, nullptr, 0, MAXIMUM_ALLOWED, nullptr));
  if (!run.desk) {
    FormatReason(reStr, "MakeDesktop: CreateDesktop  failed,error no %d ,reason is %s  \r\n");
    return 0;
  }
  if (!SetThreadDesktop(run.desk.get())) {
    FormatReason(reStr, "MakeDesktop: SetThreadDesktop  failed,error no %d ,reason is %s   \r\n");
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
    } else if (!StartShell(name, plan, &run.explorer, reStr)) {
      return 0;
    }
  }
  // A path that fills the buffer was cut: starting it would start something else, or nothing.
  win::WideText<MAX_PATH + 1> self;
  if (!ProgramPath(self)) {
    FormatReason(reStr, "MakeDesktop: GetModuleFileName failed,error no %d ,reason is %s   \r\n");
    return 0;
  }
  if (run.cancel) return 1;  // the exit ends what this run started; no second copy for it
  StartSecondCopy(name, number, &run.newCopy);  // not examined: the watch notices a missing copy
  return 1;
}

bool StartSecondCopy(const char* name, int number, win::Handle* process) {
  win::WideText<MAX_PATH + 1> self;
  if (!ProgramPath(self)) return false;
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

bool StartDesktopRun(HWND owner, bool rerun) {
  DeskState& s = DeskRecord();
  switch (DecideCreationRun(ExitUnderWay(), s.runInFlight != nullptr)) {
    case RunVerdict::RefuseExit:
      LogLine(RefusedByExit(ExitGated::CreationRun, true));
      return false;
    case RunVerdict::RefuseBusy:
      LogLine(kRunBusyLine);
      return false;
    case RunVerdict::Start:
      break;
  }
  DeskRun* run = win::NewOnHeap<DeskRun>();
  if (!run) return false;
  run->owner = owner;
  run->defaultDesk = s.defaultDesk;
  run->trackedShellRunning = TrackedShellRunning();
  run->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!run->done) {
    win::DeleteOnHeap(run);
    return false;
  }
  // From here until the run hands over, the copy watch leaves the copy to the run.
  if (rerun) run->endFirst = std::move(s.newCopy);
  s.runInFlight = run;
  if (!StartWorkerThread(MakeDeskThreadFunc, run)) {
    s.runInFlight = nullptr;
    if (run->endFirst) s.newCopy = std::move(run->endFirst);
    win::DeleteOnHeap(run);
    return false;
  }
  return true;
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

void FinishRunForExit() {
  DeskRun* run = DeskRecord().runInFlight;
  if (!run) return;
  run->cancel = true;
  if (WaitForSingleObject(run->done.get(), kRunHandOverWaitMs) != WAIT_OBJECT_0) {
    // Not waited for longer: what it starts from now on is not tracked, and the log says so.
    LogLine("MakeDeskThreadFunc: the run did not hand over in time,the exit goes on\r\n");
    return;
  }
  TakeBack(run);  // the exit is noted: what the run started is ended
}
