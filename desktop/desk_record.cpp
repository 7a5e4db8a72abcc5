#include "desktop/desk_record.h"

#include <utility>

#include "desktop/protocol.h"

namespace {
DeskState deskState;
}  // namespace

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
  DeskLock lock;
  DeskState& s = DeskRecord();
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
