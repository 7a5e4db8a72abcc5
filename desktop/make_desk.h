// Creates (or reopens) "desk new" and starts the shell and the second copy on it, on a short-lived
// worker thread at start-up and again whenever the watchdog finds the second copy dead; and the
// first copy's watches, on each tick, over the shell and the second copy there.
#pragma once
#include "desktop/shell_launch.h"
#include "desktop/switching.h"

// The run's thread: its parameter is the DeskRun the UI thread made for it (StartDesktopRun). When
// done it signals the run's `done` and posts kDeskRunDoneMessage with the run as lParam.
unsigned long __stdcall MakeDeskThreadFunc(void* run);

// A run's thread tells its owner that it is done; lParam is the run, which the owner compares with
// the run it started and never follows otherwise.
constexpr unsigned kDeskRunDoneMessage = 0x8000 + 0x33;  // WM_APP + 0x33

// UI thread. Starts a creation run unless the exit is under way or a run is in flight (the
// caller logs each refusal in one line: RefusedByExit's, or kRunBusyLine); `rerun`: the
// watchdog's, which ends the tracked (hung) copy first. The run is marked in flight here, on the
// step that starts it. NotStarted: no memory, event or thread for it; the watchdog tries again.
enum class RunStart { Started, RefusedExit, RefusedBusy, NotStarted };
RunStart StartDesktopRun(HWND owner, bool rerun);
// UI thread, on kDeskRunDoneMessage: takes in the run in flight when `handed` names it.
void TakeDesktopRun(LPARAM handed);
// UI thread, each tick: takes in a run that is done whose message was lost.
void PollDesktopRun();
// UI thread, the exit steps (the exit already under way): a run in flight is told to start nothing
// more and waited for, bounded, until it has recorded what it started, which is then ended. False
// when it did not hand over in time: what it starts from then on is not tracked.
bool FinishRunForExit();

// Opens `name` into `run` and starts on it the shell (unless the tracked one still runs) and the
// second copy. 1 on success; on failure 0 with one reason line in `reStr`. The calling thread is
// left on the new desktop when attaching to it succeeded.
int MakeDesktop(DeskRun& run, const char* name, int number, ReasonLine& reStr);

// Starts a second copy of this program on the desktop `name` (" makedesktop <name> <number>"):
// 0, or the system's error code.
DWORD StartSecondCopy(const char* name, int number, win::Handle* process);

// Puts the calling thread back on the default desktop and logs the outcome.
void checkMake(int result, const char* name, const char* reStr);

// The first copy's watch over the second copy it started on "desk new".
// First copy, UI thread, on each tick: when the second copy has ended while no exit is under way
// and the session goes on, starts a new one (within the bound of DecideCopyEnded). A copy that
// left by itself has shown "Default", which the first copy then takes as the shown desktop.
void WatchSecondCopy();

// The first copy's watch over the shell on "desk new".
// First copy, UI thread, on each tick, while no exit is under way and the session goes on: when
// the tracked shell has ended, takes over a shell already running there or else starts one
// (within ShellRestartLimiter's bound); a shell that waits for the user's ordinary shell is
// started once that is up, or with a limited token after the wait.
void WatchShell();
