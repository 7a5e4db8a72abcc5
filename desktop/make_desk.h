// Creates (or reopens) "desk new" and starts the shell and the second copy on it. Runs on a
// short-lived worker thread at start-up and again whenever the watchdog finds the second copy dead.
#pragma once
#include "desktop/desk_record.h"
#include "desktop/shell_launch.h"

// The run's thread: its parameter is the DeskRun the UI thread made for it (StartDesktopRun). When
// done it signals the run's `done` and posts kDeskRunDoneMessage with the run as lParam.
unsigned long __stdcall MakeDeskThreadFunc(void* run);

// A run's thread tells its owner that it is done; lParam is the run, which the owner compares with
// the run it started and never follows otherwise.
constexpr unsigned kDeskRunDoneMessage = 0x8000 + 0x33;  // WM_APP + 0x33

// UI thread. Starts a creation run unless the exit is under way or a run is in flight (each
// refusal logged in one line); `rerun`: the watchdog's, which ends the tracked (hung) copy first.
// The run is marked in flight here, on the step that starts it.
bool StartDesktopRun(HWND owner, bool rerun);
// UI thread, on kDeskRunDoneMessage: takes in the run in flight when `handed` names it.
void TakeDesktopRun(LPARAM handed);
// UI thread, each tick: takes in a run that is done whose message was lost.
void PollDesktopRun();
// UI thread, the exit steps (the exit already noted): a run in flight is told to start nothing
// more and waited for, bounded, until it has recorded what it started, which is then ended.
void FinishRunForExit();

// Opens `name` into `run` and starts on it the shell (unless the tracked one still runs) and the
// second copy. 1 on success; on failure 0 with one reason line in `reStr`. The calling thread is
// left on the new desktop when attaching to it succeeded.
int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr);

// Starts a second copy of this program on the desktop `name` (" makedesktop <name> <number>").
// False, with the last error set, when the system refuses.
bool StartSecondCopy(const char* name, int number, win::Handle* process);

// Puts the calling thread back on the default desktop and logs the outcome.
void checkMake(int result, const char* name, const char* reStr);
