#include "desktop/make_desk.h"

#include <utility>

#include "desktop/desk_record.h"
#include "desktop/protocol.h"
#include "desktop/shell_launch.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "win/text.h"

namespace {

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
  if (!TrackedShellRunning() && !ExitUnderWay()) {
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
  if (ExitUnderWay()) return 1;  // the exit ends what this run started; no second copy for it
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

unsigned long __stdcall MakeDeskThreadFunc(void*) {
  ReasonLine reStr;
  Sleep(1000);
  if (!SetThreadDesktop(DefaultDesktop())) {
    reStr.Format("SetThread3Desktop0 failed,error no %d \r\n", static_cast<int>(GetLastError()));
    LogLine(reStr.c_str());
  }
  BeginDesktopRun();
  DeskRun run;
  const int result = MakeDesktop(run, kNewDesktopName, 1, reStr);
  checkMake(result, kNewDesktopName, reStr.c_str());
  EndDesktopRun(std::move(run));
  return 1;
}
