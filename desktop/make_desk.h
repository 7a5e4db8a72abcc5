// Creates (or reopens) "desk new" and starts the shell and the second copy on it. Runs on a
// short-lived worker thread at start-up and again whenever the watchdog finds the second copy dead.
#pragma once
#include "desktop/desk_record.h"
#include "desktop/shell_launch.h"

unsigned long __stdcall MakeDeskThreadFunc(void*);

// Opens `name` into `run` and starts on it the shell (unless the tracked one still runs) and the
// second copy. 1 on success; on failure 0 with one reason line in `reStr`. The calling thread is
// left on the new desktop when attaching to it succeeded.
int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr);

// Starts a second copy of this program on the desktop `name` (" makedesktop <name> <number>").
// False, with the last error set, when the system refuses.
bool StartSecondCopy(const char* name, int number, win::Handle* process);

// Puts the calling thread back on the default desktop and logs the outcome.
void checkMake(int result, const char* name, const char* reStr);
