// The desktops' decisions, as pure logic, many of them what Wine cannot show: which desktop a
// switch goes to, when the input desktop's name can be believed, where the system's shell lives,
// what a copy does while the session may end; which windows are the user's and what an exit does
// while they are open, how often a dead shell or second copy is started again and with whose
// token the shell starts; what a listener waits on; and the second copy's life.
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

// The user's own work on "desk new": which windows there are the user's, what an exit does while
// they are open, how often a dead shell is started again, and with whose token an elevated copy
// starts the shell.
// A top-level window of "desk new", as the enumeration sees it.
struct DeskWindowFacts {
  bool visibleStyle = false;   // WS_VISIBLE set: IsWindowVisible depends on the shown desktop
  bool titled = false;
  bool owned = false;
  bool appWindow = false;      // WS_EX_APPWINDOW: on the taskbar although owned
  bool toolWindow = false;     // WS_EX_TOOLWINDOW: a palette or an input-method bar, never on the taskbar
  bool cloaked = false;        // kept out of sight by the window manager (a suspended app, another virtual desktop)
  bool ofThisProgram = false;  // a window of a copy of this program (the second copy)
  bool ofShell = false;        // a window of a shell process (explorer.exe)
  const wchar_t* className = nullptr;
};

// Whether the window is one the user works in: shown, titled, not cloaked, on the taskbar (unowned
// or an app window, never a tool window), not this program's, and of the shell's own windows only
// folders and file-operation progress, never the taskbar, the desktop or their helpers.
bool IsUserWindow(const DeskWindowFacts& window);

// The user's windows: how many, and the first few titles, each cut to its slot. `inShell` when
// some are the shell's own (a folder, a copy under way): an exit then leaves the shell running,
// since ending it would end them, and the next start takes it over.
constexpr std::size_t kListedTitles = 3;
constexpr std::size_t kListedTitleCapacity = 48;  // units with the terminator
struct UserWork {
  int count = 0;
  bool inShell = false;
  wchar_t titles[kListedTitles][kListedTitleCapacity] = {};
  void Add(const wchar_t* title, bool ofShell = false);
};

// Who asked for the exit: the user (hot key, button, the already-running dialog), or the update
// worker, which the user did not ask.
enum class ExitRequest { ByUser, ByUpdate };
enum class ExitPlan { RunSteps, Ask, KeepRunning };
// With none of the user's windows open the exit runs as ever; with some the user is asked, and
// the update worker's exit never ends the program under them.
ExitPlan PlanExit(ExitRequest request, int userWindows);

// The question's three answers, by the message box's buttons: Yes goes to "desk new", No exits
// anyway, Cancel (and a box that could not be shown) changes nothing.
enum class ExitAnswer { GoToNew, ExitAnyway, Stay };
constexpr int kButtonYes = 6;   // IDYES
constexpr int kButtonNo = 7;    // IDNO
ExitAnswer ExitAnswerFromButton(int button);

// At most kShellRestarts restarts of the shell within kShellRestartPeriodMs; past that the
// program stops restarting for the rest of its run, so a shell that ends at once cannot loop.
constexpr int kShellRestarts = 3;
constexpr unsigned long long kShellRestartPeriodMs = 5ull * 60 * 1000;
class ShellRestartLimiter {
 public:
  enum class Verdict { Restart, GiveUp, GivenUp };  // GiveUp once, when it first refuses
  Verdict OnShellEnded(unsigned long long nowMs);

 private:
  unsigned long long restarts_[kShellRestarts] = {};  // times of the last restarts, oldest first
  int used_ = 0;
  bool givenUp_ = false;
};

// How the shell on "desk new" starts. A copy that runs elevated from an administrator's split
// token never hands that token on: it takes the token of the user's ordinary shell on "Default".
// While that shell is on its way (its process runs but has no shell window yet: the program
// started at logon, or the shell restarts) it asks again on each tick for up to kUsersShellWaitMs.
// After that, with no shell on its way, or when the shell's token cannot be had or is itself
// elevated, it starts the shell with a limited token made from its own (administrators
// deny-only, medium integrity). A copy without a split token (UAC off, or a
// standard user) starts the shell with its own token, as any program would.
enum class ShellLaunch { OwnToken, UsersToken, Wait, LimitedToken };
constexpr unsigned long long kUsersShellWaitMs = 60ull * 1000;
ShellLaunch ChooseShellLaunch(bool splitElevated, bool usersShellFound, bool usersTokenUsable,
                              bool usersShellStarting, unsigned long long waitedMs);
// The privileges a standard user's token holds; the limited token drops every other.
bool StandardUserPrivilege(const wchar_t* name);

// The shell's taskbar ("Shell_TrayWnd") or its desktop window ("Progman").
bool IsShellWindowClass(const wchar_t* className);
// Whether a top-level window of "desk new" is a shell there: its taskbar or its desktop window,
// of the system's explorer (`image` against `explorerImage`, both full paths).
bool IsShellWindow(const wchar_t* className, const wchar_t* image, const wchar_t* explorerImage);
// What the watch does on a tick about the shell of "desk new". A shell found there (explorer
// restarting itself, or one the user started) is taken over, never joined by a second one: an
// argument-less explorer beside a live shell only opens a folder window and ends.
enum class ShellStep { Nothing, Adopt, Start };
ShellStep ChooseShellStep(bool trackedRunning, bool shellFoundThere);

// What a listener waits on and what a wake names. Any program of the session can
// take an event's name first, so a listener must not depend on having all five.
constexpr int kEventCount = 10;
constexpr int kEventsPerGroup = 5;

// The events of one group that exist, in slot order: the wait runs over these only, so a name
// that could not be created silences nothing but itself.
struct WaitSet {
  int count = 0;
  int position[kEventsPerGroup] = {};  // the group position of each waited handle
};
WaitSet BuildWaitSet(const bool created[kEventsPerGroup]);

// The group position that a wait's result names, or kNoEvent for a failed wait or any result
// outside the set.
constexpr int kNoEvent = -1;
int WokenPosition(const WaitSet& set, unsigned long waitResult);

// The second copy's life: which failure of its hot keys the user need not hear of,
// whether the first copy starts an ended second copy again, and what the end says about the
// shown desktop.
// ERROR_HOTKEY_ALREADY_REGISTERED: the keys are taken in the table this registration went to.
constexpr unsigned long kHotKeyAlreadyRegistered = 1409;

// The second copy registers the switch and exit keys on "desk new" as well, since where hot keys
// belong to a desktop the first copy's never reach it. Where the table is one per session its
// registration fails with 1409: the first copy's keys already work there, and that is no fault.
// Every other failure leaves "desk new" without the key and is reported.
bool HotKeyFailureIsSilent(unsigned long error);

// What the first copy knows on its tick of the second copy it started.
struct CopyFacts {
  bool tracked = false;        // a second copy was started and is still watched
  bool ended = false;          // its process has ended
  bool runUnderWay = false;    // a creation run is under way: that run starts the copy
  bool exitUnderWay = false;   // the exit steps end the copy themselves
  bool sessionMayEnd = false;  // at logoff the system ends the processes; nothing restarts
};
enum class CopyAction {
  Nothing,  // running, or not ours to restart
  Restart,  // a new second copy, with a log line
  GiveUp,   // the bound is reached: one log line, then no more restarts
  Forget,   // ended, and the bound was reached before: only stop watching it
};
// The same bound as the shell's: at most 3 restarts in 5 minutes, then none for the rest of the run.
using CopyRestartLimiter = ShellRestartLimiter;
// Decides about an ended second copy; the limiter counts only the copies it lets restart.
CopyAction DecideCopyEnded(const CopyFacts& facts, CopyRestartLimiter& limiter, unsigned long long nowMs);

// A second copy that leaves by itself (the first copy fell silent, or "notify n exit" came from
// whichever process) shows "Default" first and ends with exit code 0; one that was killed or
// crashed left the screen as it was.
constexpr unsigned long kSecondCopyLeftItself = 0;
bool CopyShowedDefault(unsigned long exitCode);

// The second copy's partner: the process that started it (its parent), taken as the first copy
// only when it runs this program's file and started before it (a parent id can be reused).
struct ParentFacts {
  bool opened = false;         // the parent's id was found and the process opened
  bool sameProgram = false;    // its image is this program's file
  bool startedBefore = false;  // its start time lies before this copy's
};
bool AcceptParent(const ParentFacts& facts);

// The second copy leaves when its watched first copy has ended, and else after this many ticks in
// a row without the first copy's acknowledgement (a UI thread busy for seconds is not a dead one).
constexpr int kSecondCopySilentTicks = 30;
bool SecondCopyLeaves(bool parentEnded, int silentTicks);
