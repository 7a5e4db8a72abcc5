// The user's own work on "desk new" and what the program may do about it (pure logic): which
// windows there are the user's, what an exit does while they are open, how often a dead shell is
// started again, and with whose token an elevated copy starts the shell.
#pragma once
#include <cstddef>

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
// or an app window, never a tool window), not this program's, and of the shell's own windows only folders and file-operation
// progress, never the taskbar, the desktop or their helpers.
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
