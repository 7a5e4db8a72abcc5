// The first copy's record of its desktops, switching between them, and the exit of the whole
// arrangement. The liveness counters of both copies live here too.
#pragma once
#include <windows.h>

#include <atomic>

#include "desktop/desk_rules.h"
#include "win/handles.h"

// Both are the UI thread's: the listener's hello or acknowledgement reaches it as a message.
extern int deadCount;      // ticks since the partner last said it is alive
extern int switchRefused;  // 1 once a switch was refused for want of "desk new"

enum class SwitchOutcome {
  Switched,      // or SwitchDesktop refused, which leaves the shown desktop as it was
  AlreadyShown,  // a named request for the desktop the user is on
  NotReady,      // no "desk new" yet: a request for the other desktop sets switchRefused
  NoInput,       // a secure desktop holds the input; `inputError` says why it cannot be opened
  ExitUnderWay,  // nothing is switched once the exit steps began
};
struct SwitchResult {
  SwitchOutcome outcome;
  DWORD inputError;
  bool fromNew;  // the user was on "desk new" when the request came
};
// UI thread: shows the other desktop, or the one named, or says why not.
SwitchResult SwitchDesk(SwitchRequest request = SwitchRequest::Other);
// Second copy: shows "Default" before it leaves on its own, since without the first copy no hot
// key and no button would lead the user back.
void ShowDefaultDesktop();
// UI thread, the exit steps: first tells the second copy to go; the caller gives it 200 ms (a
// timer, so the UI thread goes on serving) to leave by itself. Then ExitDesktops ends it and its
// shell (unless `keepShell`: the user's folders or file operations are the shell's windows) and
// returns to "Default".
void TellSecondCopyToLeave();
BOOL ExitDesktops(bool keepShell = false);

// Where the session stands (see Session): while it may end neither copy leaves, restarts anything
// or shows "Default".
void SetSession(Session session);
// The exit steps mark the exit under way before they end anything: from then on nothing starts,
// switches or restarts, and the shell they end stays ended. UI thread.
void NoteExitUnderWay();
[[nodiscard]] bool ExitUnderWay();
// Asked and not called off, ending, or the system says it is shutting down (SM_SHUTTINGDOWN).
[[nodiscard]] bool SessionMayEnd();

// The record of the desktops and what runs on them. Owned by the UI thread: a creation run works
// on a DeskRun of its own and hands it over whole (make_desk.h).
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
  bool exitUnderWay = false;       // the exit steps began: nothing starts or switches any more
  DeskRun* runInFlight = nullptr;  // the creation run under way (its thread's until it hands over)
};

// The one record (UI thread).
DeskState& DeskRecord();

// Opens "Default" and makes it the current desktop. Runs on the UI thread at start-up, before
// any worker starts. False when it cannot be opened: the UI thread's own desktop stands in for it then.
[[nodiscard]] bool OpenStartupDesktops();
// Written once by OpenStartupDesktops before any worker starts, then only read: any thread.
HDESK DefaultDesktop();

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
