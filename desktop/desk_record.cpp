#include "desktop/desk_record.h"

#include <atomic>
#include <utility>

#include "desktop/protocol.h"

namespace {
DeskState deskState;
std::atomic<bool> exitNoted{false};
}  // namespace

void NoteExit() { exitNoted = true; }
bool ExitNoted() { return exitNoted; }

DeskState& DeskRecord() { return deskState; }

bool OpenStartupDesktops() {
  HDESK opened = OpenDesktopW(kDefaultDesktopNameW, 0, FALSE, DESKTOP_CREATEWINDOW | DESKTOP_SWITCHDESKTOP);
  DeskLock lock;
  DeskRecord().openedDefault.reset(opened);
  DeskRecord().defaultDesk = opened ? opened : GetThreadDesktop(GetCurrentThreadId());
  return opened != nullptr;
}

HDESK DefaultDesktop() {
  DeskLock lock;
  return DeskRecord().defaultDesk;
}

bool TrackedShellRunning() {
  DeskLock lock;
  const DeskState& s = DeskRecord();
  return s.explorer && WaitForSingleObject(s.explorer.get(), 0) == WAIT_TIMEOUT;
}

void BeginDesktopRun() {
  DeskLock lock;
  DeskRecord().deskNewReady = false;
}

void EndDesktopRun(DeskRun&& run) {
  // Under the lock: the exit steps note the exit before they take it, so whatever this run
  // started is either ended here or found by them.
  DeskLock lock;
  DeskState& s = DeskRecord();
  if (ExitNoted()) {
    if (run.newCopy) TerminateProcess(run.newCopy.get(), 0);
    if (run.explorer && !run.explorerAdopted) TerminateProcess(run.explorer.get(), 1);
    return;
  }
  if (!run.shellWaiting)
    s.shellWaitSince = 0;
  else if (!s.shellWaitSince)
    s.shellWaitSince = GetTickCount64();
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
  const DeskState& s = DeskRecord();
  if (!s.defaultDesk || !s.deskNewReady) return kSwitchNotReady;
  return s.shown == Desk::Default ? kSwitchOnDefault : kSwitchOnNew;
}
