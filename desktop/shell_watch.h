// The first copy's watch over the shell on "desk new".
#pragma once

// First copy, UI thread, on each tick, while no exit is under way and the session goes on: when
// the tracked shell has ended, takes over a shell already running there or else starts one
// (within ShellRestartLimiter's bound); a shell that waits for the user's ordinary shell is
// started once that is up, or with a limited token after the wait.
void WatchShell();
