#include "desktop/shell_watch.h"

#include <windows.h>

#include <utility>

#include "desktop/desk_record.h"
#include "desktop/protocol.h"
#include "desktop/shell_launch.h"
#include "desktop/switching.h"
#include "desktop/user_work.h"
#include "services/log.h"

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
  if (!StartShell(kNewDesktopName, plan, &run.explorer, reStr)) LogLine(reStr.c_str());
  EndDesktopRun(std::move(run));
}
