// Switching between the first copy's desktops, and the exit of the whole arrangement. The
// liveness counters of both copies live here too.
#pragma once
#include <windows.h>

#include "desktop/desk_rules.h"

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
// Set by the exit steps: the shell they end stays ended.
[[nodiscard]] bool ExitUnderWay();
// Asked and not called off, ending, or the system says it is shutting down (SM_SHUTTINGDOWN).
[[nodiscard]] bool SessionMayEnd();
