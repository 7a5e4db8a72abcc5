// The first copy's desktops: which one is shown, switching between them, and the exit of the
// whole arrangement. The liveness counters of both copies live here too.
#pragma once
#include <windows.h>

#include <atomic>

#include "win/handles.h"

extern std::atomic<int> deadCount;      // ticks since the partner last said it is alive
extern std::atomic<int> switchRefused;  // 1 once a switch was refused for want of "desk new"

// Opens "Default" and makes it the current desktop. Runs on the UI thread at start-up. False when
// it cannot be opened: the UI thread's own desktop stands in for it then.
[[nodiscard]] bool OpenStartupDesktops();
HDESK DefaultDesktop();

enum class SwitchOutcome {
  Switched,  // or SwitchDesktop refused, which leaves the shown desktop as it was
  NotReady,  // no "desk new" yet: switchRefused is set
  NoInput,   // a secure desktop holds the input; `inputError` says why it cannot be opened
};
struct SwitchResult {
  SwitchOutcome outcome;
  DWORD inputError;
};
// UI thread: flips the input desktop between "Default" and "desk new", or says why not.
SwitchResult SwitchDesk();
// Second copy: shows "Default" before it leaves on its own, since without the first copy no hot
// key and no button would lead the user back.
void ShowDefaultDesktop();
// UI thread, the exit steps: first tells the second copy to go and gives it 200 ms to leave by
// itself; then ExitDesktops ends it and its shell (unless `keepShell`: the user's folders or file
// operations are the shell's windows) and returns to "Default".
void TellSecondCopyToLeave();
BOOL ExitDesktops(bool keepShell = false);

// Where the session stands: while it may end (asked, not yet cancelled) and once it ends, neither
// copy restarts, switches or ends anything; the system ends the processes itself.
enum class Session { Running, Asked, Ending };
void SetSession(Session session);
bool SessionMayEnd();
// First copy, UI thread, on each tick: when the shell started on "desk new" has ended while no
// exit is under way and the session goes on, starts it again (within ShellRestartLimiter's bound).
void WatchShell();

// What one creation run opened and started; each is null when that step failed or did not run.
struct DeskRun {
  win::Desktop desk;
  win::Handle explorer;
  win::Handle newCopy;
};
// The desktop-creation thread's side: a run makes "desk new" not ready, then publishes what it
// opened and started in one call. What the run replaces is closed.
void BeginDesktopRun();
void EndDesktopRun(DeskRun&& run);
// Whether the shell an earlier run started still runs.
bool TrackedShellRunning();

// Observation for tests and the soak script: 0 not ready, 1 on Default, 2 on New.
int SwitchState();
