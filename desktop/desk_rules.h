// Decisions about the shown desktop, the shell and the session's end that Wine cannot show (pure
// logic): which desktop a switch goes to, when the input desktop's name can be believed, where the
// system's shell lives, and what a copy does while the session may end.
#pragma once
#include <cstddef>

enum class Desk { Default, New };

// Desktop and window class names compare without regard to case, as the system compares them
// (ASCII letters: the names the program looks for are ASCII).
bool SameNameIgnoringCase(const wchar_t* a, const wchar_t* b);

// What the input desktop reports: one of the two desktops, another one (a desktop of some other
// program), or nothing, when it cannot be opened (a secure desktop such as the log-on screen or
// the elevation prompt holds the input).
enum class InputDesk { Default, New, Other, Unreadable };

// Classifies a desktop name as the system reports it; desktop names are case-insensitive.
InputDesk ClassifyInputDesk(const wchar_t* name);

// What a request asks for: the other desktop (the switch keys and buttons), or a named one (the
// exit question brings the user to "Default", and may send them on to "desk new").
enum class SwitchRequest { Other, ToDefault, ToNew };
enum class SwitchTarget { ToDefault, ToNew, Refuse, Stay };  // Stay: the one asked for is shown

// Where the user is: once the platform has been seen to report switches truthfully
// (`inputTrusted`), the input desktop; until then the believed one. Unreadable stays unreadable.
InputDesk WhereUserIs(Desk believed, InputDesk input, bool inputTrusted);

// The desktop a request goes to, from where the user is, so that a change the program did not
// make (lock and unlock, the elevation prompt, resume from sleep) never turns a request into a
// switch to the desktop already shown, nor a named request into a toggle that leads away. While
// a secure desktop holds the input nothing is switched.
SwitchTarget ChooseSwitchTarget(Desk believed, InputDesk input, bool inputTrusted,
                                SwitchRequest request = SwitchRequest::Other);

// Whether the input desktop can be believed from now on: it can once a switch was seen to take
// effect, that is, the input desktop moved from elsewhere to the switch's target.
bool InputConfirmsSwitch(bool inputTrusted, InputDesk before, InputDesk after, SwitchTarget target);

// "<windowsDir>\explorer.exe" into `out` (capacity in characters, terminator included): the
// system's shell by full path, so that no explorer.exe in the program's or the current folder
// runs instead. False, with `out` empty, when the directory is empty or the path does not fit.
bool ExplorerPath(const wchar_t* windowsDir, wchar_t* out, std::size_t capacity);

// Where the session stands for a copy. From the system's question (logoff, shutdown, or the
// Restart Manager closing this program) until the end comes or is called off, neither copy
// leaves, restarts anything or shows "Default": a program on "desk new" may be showing its save
// prompt there, and the system ends the processes itself.
enum class Session { Running, Asked, Ending };
// Whether a copy holds still: the session may end by its own record or by the system's word.
bool SessionHolds(Session session, bool systemShuttingDown);

struct SessionStep {
  Session next;
  bool showNew = false;    // bring the screen to "desk new" before answering
  bool leave = false;      // leave as "exit anyway" does: the user's programs stay
  bool cancelled = false;  // a logoff or shutdown was called off
};
// WM_QUERYENDSESSION to the first copy, always answered yes. It is asked before the user's
// programs: with their work open on "desk new" it shows that desktop, where their save prompts will
// appear. The Restart Manager (`closeApp`) asks this program alone to close: nothing to show.
SessionStep AnswerSessionQuery(bool closeApp, int userWindows, bool newShown);
// WM_ENDSESSION. With `closeApp` and `ending` the copy leaves and the session goes on; without
// `ending` the question is over and the copy runs on.
SessionStep AnswerSessionEnd(bool ending, bool closeApp);
// After a called-off logoff: the user is told of the work left on "desk new" only while it is
// not shown, since there it is in sight.
bool TellCancelledLogoff(int userWindows, bool newShown);

// What the first copy's UI thread may still do once the exit is under way: nothing that starts,
// switches or restarts anything; each refusal says so in one log line.
enum class ExitGated { Switch, CreationRun, Exit };
// (The watches' restarts and shell starts are no requests: the tick runs none once the exit is noted.)
// The one log line of a request refused because the exit is under way; null when `exitUnderWay`
// is false (the request goes on).
const char* RefusedByExit(ExitGated request, bool exitUnderWay);

// One creation run at a time, marked started by the step that starts it.
enum class RunVerdict { Start, RefuseExit, RefuseBusy };
RunVerdict DecideCreationRun(bool exitUnderWay, bool runInFlight);
// The line a run refused as busy logs (the exit's refusal is RefusedByExit's).
constexpr const char kRunBusyLine[] = "MakeDeskThreadFunc: a run is under way,none started beside it\r\n";

// Since when a shell waits for the user's ordinary shell (0: none waits), after a run handed over:
// only a run that decided about the shell (`shellDecided`: it started, adopted or deferred it)
// changes the wait; one that started the second copy alone leaves it as it was.
unsigned long long ShellWaitAfterRun(unsigned long long waitingSince, bool shellDecided, bool shellWaiting,
                                     unsigned long long nowMs);

// The first copy's tick re-adds a missing tray icon at most once in this many ms: against a slow
// taskbar each try can take seconds.
constexpr unsigned long long kTrayReAddPeriodMs = 5000;
bool TrayReAddDue(unsigned long long lastTryMs, unsigned long long nowMs);
