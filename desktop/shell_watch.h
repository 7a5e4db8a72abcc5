// The first copy's watch over the shell it started on "desk new".
#pragma once

// First copy, UI thread, on each tick: when the shell started on "desk new" has ended while no
// exit is under way and the session goes on, starts it again (within ShellRestartLimiter's bound).
void WatchShell();
