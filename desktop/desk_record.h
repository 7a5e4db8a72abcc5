// The first copy's record of its desktops and what runs on them, shared by the desktop-creation
// thread and the UI thread under one lock.
#pragma once
#include <windows.h>

#include "desktop/desk_rules.h"
#include "win/handles.h"
#include "win/sync.h"

// Desktop handles and started processes, written by the creation thread and read by the UI
// thread; every access takes the lock, and no window call is made while holding it.
struct DeskState {
  win::CriticalSection lock;
  win::Desktop openedDefault;   // "Default" as opened at start
  HDESK defaultDesk = nullptr;  // openedDefault, or the UI thread's own desktop, which is not ours to close
  // "desk new" as the last run that opened it left it. A run keeps the handle open while it
  // reopens the desktop, so that a shell still running there keeps its desktop.
  win::Desktop deskNew;
  bool deskNewReady = false;  // false while a run is under way and after one that could not open it
  // Which of the two is shown: it changes only with a switch that happened. A rerun reopens the
  // same desktop, so it outlives the handle it was switched with.
  Desk shown = Desk::Default;
  win::Handle explorer;
  win::Handle newCopy;
  // Set once a switch was seen to move the input desktop: from then on the input desktop's name
  // is believed over `shown`. Wine never moves it, so there `shown` alone decides.
  bool inputTrusted = false;
  // Since when (GetTickCount64) a shell waits for the user's ordinary shell to come up on
  // "Default"; 0 when none waits.
  unsigned long long shellWaitSince = 0;
};

// The one record; read or written only while a DeskLock is held.
DeskState& DeskRecord();

class DeskLock : public win::Lock {
 public:
  DeskLock() : win::Lock(DeskRecord().lock) {}
};

// Opens "Default" and makes it the current desktop. Runs on the UI thread at start-up. False when
// it cannot be opened: the UI thread's own desktop stands in for it then.
[[nodiscard]] bool OpenStartupDesktops();
HDESK DefaultDesktop();

// The exit steps note the exit before they end anything (ExitUnderWay reads it).
void NoteExit();
[[nodiscard]] bool ExitNoted();

// What one creation run opened and started; each is null when that step failed or did not run.
struct DeskRun {
  win::Desktop desk;
  win::Handle explorer;
  win::Handle newCopy;
  bool explorerAdopted = false;  // found running there, not started by this run
  bool shellWaiting = false;     // the shell waits for the user's ordinary shell (see ShellLaunch::Wait)
};
// The desktop-creation thread's side: a run makes "desk new" not ready, then publishes what it
// opened and started in one call. What the run replaces is closed. Once the exit is under way
// nothing is published: what the run started is ended instead (an adopted shell is left alone).
void BeginDesktopRun();
void EndDesktopRun(DeskRun&& run);
// Whether the shell an earlier run started still runs.
[[nodiscard]] bool TrackedShellRunning();

// Observation for tests and the soak script: a SwitchStateValue.
int SwitchState();
