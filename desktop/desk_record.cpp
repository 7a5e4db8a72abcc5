#include "desktop/desk_record.h"

#include <utility>

#include "desktop/protocol.h"

namespace {
DeskState deskState;
}  // namespace

void NoteExit() { deskState.exitNoted = true; }
bool ExitNoted() { return deskState.exitNoted; }

DeskState& DeskRecord() { return deskState; }

bool OpenStartupDesktops() {
  HDESK opened = OpenDesktopW(kDefaultDesktopNameW, 0, FALSE, DESKTOP_CREATEWINDOW | DESKTOP_SWITCHDESKTOP);
  DeskRecord().openedDefault.reset(opened);
  DeskRecord().defaultDesk = opened ? opened : GetThreadDesktop(GetCurrentThreadId());
  return opened != nullptr;
}

HDESK DefaultDesktop() { return DeskRecord().defaultDesk; }

bool TrackedShellRunning() {
  const DeskState& s = DeskRecord();
  return s.explorer && WaitForSingleObject(s.explorer.get(), 0) == WAIT_TIMEOUT;
}

void EndDesktopRun(DeskRun&& run) {
  DeskState& s = DeskRecord();
  if (ExitNoted()) {
    if (run.newCopy) TerminateProcess(run.newCopy.get(), 0);
    if (run.explorer && !run.explorerAdopted) TerminateProcess(run.explorer.get(), 1);
    return;
  }
  s.shellWaitSince = ShellWaitAfterRun(s.shellWaitSince, run.shellDecided, run.shellWaiting, GetTickCount64());
  if (run.desk) {
    s.deskNew = std::move(run.desk);  // closes the handle of the run before
    s.deskNewReady = true;
  }
  // A failed start leaves the record of the earlier run in place.
  if (run.explorer) s.explorer = std::move(run.explorer);
  if (run.newCopy) s.newCopy = std::move(run.newCopy);
}

int SwitchState() {
  const DeskState& s = DeskRecord();
  if (!s.defaultDesk || !s.deskNewReady) return kSwitchNotReady;
  return s.shown == Desk::Default ? kSwitchOnDefault : kSwitchOnNew;
}
