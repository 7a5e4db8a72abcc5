#include "desktop/shell_watch.h"

#include <utility>

#include "desktop/desk_record.h"
#include "desktop/protocol.h"
#include "desktop/shell_launch.h"
#include "desktop/switching.h"
#include "desktop/user_work.h"
#include "services/log.h"

void WatchShell() {
  if (ExitUnderWay() || SessionMayEnd()) return;
  {
    DeskLock lock;
    const DeskState& s = DeskRecord();
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
