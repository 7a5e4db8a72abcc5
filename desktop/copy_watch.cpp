#include "desktop/copy_watch.h"

#include <utility>

#include "desktop/copy_rules.h"
#include "desktop/desk_record.h"
#include "desktop/make_desk.h"
#include "desktop/protocol.h"
#include "desktop/switching.h"
#include "services/log.h"
#include "win/error_text.h"

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
  if (!StartSecondCopy(kNewDesktopName, 1, &run.newCopy)) {
    // The watchdog tries the whole creation again later.
    const DWORD error = GetLastError();
    LogFormat("WatchSecondCopy: CreateProcess failed,error no %d ,reason is %s\r\n", static_cast<int>(error),
              ReasonText(error).c_str());
    return;
  }
  EndDesktopRun(std::move(run));
}
