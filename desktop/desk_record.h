// The first copy's record of its desktops and what runs on them. Owned by the UI thread: a
// creation run works on a DeskRun of its own and hands it over whole (make_desk.h).
#pragma once
#include <windows.h>

#include <atomic>

#include "desktop/desk_rules.h"
#include "win/handles.h"

struct DeskRun;

// Desktop handles, started processes, the exit and the run in flight; read and written on the UI
// thread only.
struct DeskState {
  win::Desktop openedDefault;   // "Default" as opened at start
  HDESK defaultDesk = nullptr;  // openedDefault, or the UI thread's own desktop, which is not ours to close
  // "desk new" as the last run that opened it left it. A run keeps the handle open while it
  // reopens the desktop, so that a shell still running there keeps its desktop.
  win::Desktop deskNew;
  bool deskNewReady = false;  // false until a run opened it
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
  bool exitNoted = false;          // the exit steps began: nothing starts or switches any more
  DeskRun* runInFlight = nullptr;  // the creation run under way (its thread's until it hands over)
};

// The one record (UI thread).
DeskState& DeskRecord();

// Opens "Default" and makes it the current desktop. Runs on the UI thread at start-up, before
// any worker starts. False when it cannot be opened: the UI thread's own desktop stands in for it then.
[[nodiscard]] bool OpenStartupDesktops();
// Written once by OpenStartupDesktops before any worker starts, then only read: any thread.
HDESK DefaultDesktop();

// The exit steps note the exit before they end anything (ExitUnderWay reads it). UI thread.
void NoteExit();
[[nodiscard]] bool ExitNoted();

// What one creation run opened and started; each is null when that step failed or did not run.
// Made by the UI thread, worked on by the run's thread alone, then handed back whole.
struct DeskRun {
  // What the run was given.
  HWND owner = nullptr;             // told when the run is done (kDeskRunDoneMessage)
  HDESK defaultDesk = nullptr;      // where the run's thread returns
  bool trackedShellRunning = false;  // the shell an earlier run started still runs
  win::Handle endFirst;             // the watchdog's rerun: the hung copy to end first
  win::Handle done;                 // signalled when the run has recorded all it started
  std::atomic<bool> cancel{false};  // set by the exit: start nothing more
  // What the run did.
  win::Desktop desk;
  win::Handle explorer;
  win::Handle newCopy;
  bool explorerAdopted = false;  // found running there, not started by this run
  bool shellWaiting = false;     // the shell waits for the user's ordinary shell (see ShellLaunch::Wait)
  bool shellDecided = false;     // the run started, adopted or deferred the shell
};
// UI thread: takes in what a run (or a watch) opened and started. What the run replaces is closed.
// Once the exit is under way nothing is taken in: what the run started is ended instead (an
// adopted shell is left alone).
void EndDesktopRun(DeskRun&& run);
// Whether the shell an earlier run started still runs.
[[nodiscard]] bool TrackedShellRunning();

// Observation for tests and the soak script: a SwitchStateValue.
int SwitchState();
