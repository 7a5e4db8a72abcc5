// The desktops' decisions that Wine cannot show: the switch target, the system's shell, and what
// the program does about the user's own work on "desk new".
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "desktop/copy_rules.h"
#include "desktop/desk_rules.h"
#include "desktop/user_work.h"

TEST(SwitchTarget, FollowsTheShownDesktopOnceThePlatformReportsIt) {
  // Lock/unlock or the elevation prompt brought the user back to "Default" behind the program's
  // back: the request goes to "desk new", not to the desktop already shown.
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Default, true), SwitchTarget::ToNew);
  // Something else showed "desk new" while the program believed "Default".
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::New, true), SwitchTarget::ToDefault);
  // A desktop of another program: the way leads home.
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Other, true), SwitchTarget::ToDefault);
  EXPECT_EQ(ClassifyInputDesk(L"DEFAULT"), InputDesk::Default);
  EXPECT_EQ(ClassifyInputDesk(L"Desk New"), InputDesk::New);
  EXPECT_EQ(ClassifyInputDesk(L"Winlogon"), InputDesk::Other);
}

TEST(SwitchTarget, RefusedWhileASecureDesktopHoldsTheInput) {
  EXPECT_EQ(ClassifyInputDesk(nullptr), InputDesk::Unreadable);
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::Unreadable, true), SwitchTarget::Refuse);
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Unreadable, false), SwitchTarget::Refuse);
  EXPECT_FALSE(InputConfirmsSwitch(false, InputDesk::Default, InputDesk::Default, SwitchTarget::Refuse));
}

TEST(SwitchTarget, BelievedDesktopDecidesOnAPlatformThatNeverReportsAChange) {
  // The input desktop reads "Default" whatever was switched: it is never trusted, and requests
  // alternate by the believed desktop.
  bool trusted = false;
  Desk believed = Desk::Default;
  for (int i = 0; i < 4; ++i) {
    const SwitchTarget target = ChooseSwitchTarget(believed, InputDesk::Default, trusted);
    EXPECT_EQ(target, believed == Desk::Default ? SwitchTarget::ToNew : SwitchTarget::ToDefault);
    trusted = InputConfirmsSwitch(trusted, InputDesk::Default, InputDesk::Default, target);
    EXPECT_FALSE(trusted);
    believed = target == SwitchTarget::ToNew ? Desk::New : Desk::Default;
  }
  // A switch seen to move the input desktop makes it trusted for good.
  EXPECT_TRUE(InputConfirmsSwitch(false, InputDesk::Default, InputDesk::New, SwitchTarget::ToNew));
  EXPECT_TRUE(InputConfirmsSwitch(true, InputDesk::Default, InputDesk::Default, SwitchTarget::ToNew));
}

TEST(SwitchTarget, NamedRequestsGoWhereTheyMeanFromWhereTheUserReallyIs) {
  using R = SwitchRequest;
  // Lock and unlock showed "Default" while the program believed "desk new": the exit question is
  // already in view, and going on to "desk new" is a switch, not a toggle back to "Default".
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Default, true, R::ToDefault), SwitchTarget::Stay);
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Default, true, R::ToNew), SwitchTarget::ToNew);
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::New, true, R::ToDefault), SwitchTarget::ToDefault);
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::New, true, R::ToNew), SwitchTarget::Stay);
  // Another program's desktop: both named requests switch.
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::Other, true, R::ToDefault), SwitchTarget::ToDefault);
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Other, true, R::ToNew), SwitchTarget::ToNew);
  EXPECT_EQ(WhereUserIs(Desk::New, InputDesk::Other, true), InputDesk::Other);
  // Before the platform was seen to report switches, the believed desktop decides as ever.
  EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Default, false, R::ToDefault), SwitchTarget::ToDefault);
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::Default, false, R::ToDefault), SwitchTarget::Stay);
  EXPECT_EQ(ChooseSwitchTarget(Desk::Default, InputDesk::Default, false, R::ToNew), SwitchTarget::ToNew);
  EXPECT_EQ(WhereUserIs(Desk::New, InputDesk::Default, false), InputDesk::New);
  // A secure desktop: nothing is switched, whatever was asked.
  for (R request : {R::Other, R::ToDefault, R::ToNew})
    EXPECT_EQ(ChooseSwitchTarget(Desk::New, InputDesk::Unreadable, false, request), SwitchTarget::Refuse);
  // Staying put proves nothing about the platform.
  EXPECT_FALSE(InputConfirmsSwitch(false, InputDesk::Default, InputDesk::Default, SwitchTarget::Stay));
}

TEST(SecondCopy, OnlyKeysAlreadyRegisteredInTheSessionFailSilently) {
  EXPECT_TRUE(HotKeyFailureIsSilent(1409));  // ERROR_HOTKEY_ALREADY_REGISTERED
  EXPECT_FALSE(HotKeyFailureIsSilent(87));   // ERROR_INVALID_PARAMETER
  EXPECT_FALSE(HotKeyFailureIsSilent(5));    // ERROR_ACCESS_DENIED
  EXPECT_FALSE(HotKeyFailureIsSilent(1400));  // ERROR_INVALID_WINDOW_HANDLE
}

TEST(SecondCopy, RestartedWhenItEndsOnItsOwnAtMostThreeTimesInFiveMinutes) {
  using A = CopyAction;
  CopyRestartLimiter limiter;
  CopyFacts ended;
  ended.tracked = true;
  ended.ended = true;
  // Nothing to do while it runs, while nothing is watched, or while someone else ends it or starts one.
  CopyFacts f = ended;
  f.ended = false;
  EXPECT_EQ(DecideCopyEnded(f, limiter, 0), A::Nothing);
  f = ended;
  f.tracked = false;
  EXPECT_EQ(DecideCopyEnded(f, limiter, 0), A::Nothing);
  for (bool CopyFacts::*busy : {&CopyFacts::runUnderWay, &CopyFacts::exitUnderWay, &CopyFacts::sessionMayEnd}) {
    f = ended;
    f.*busy = true;
    EXPECT_EQ(DecideCopyEnded(f, limiter, 0), A::Nothing);
  }
  // Those did not count against the bound: three restarts, then one refusal, then silence.
  EXPECT_EQ(DecideCopyEnded(ended, limiter, 1000), A::Restart);
  EXPECT_EQ(DecideCopyEnded(ended, limiter, 2000), A::Restart);
  EXPECT_EQ(DecideCopyEnded(ended, limiter, 3000), A::Restart);
  EXPECT_EQ(DecideCopyEnded(ended, limiter, 4000), A::GiveUp);
  EXPECT_EQ(DecideCopyEnded(ended, limiter, 100 * kShellRestartPeriodMs), A::Forget);

  // Only a copy that left by itself has shown "Default"; a killed or crashed one has not.
  EXPECT_TRUE(CopyShowedDefault(0));
  EXPECT_FALSE(CopyShowedDefault(1));           // TerminateProcess by Task Manager
  EXPECT_FALSE(CopyShowedDefault(0xC0000005));  // a crash
  EXPECT_FALSE(CopyShowedDefault(259));         // STILL_ACTIVE
}

TEST(Shell, SystemExplorerByFullPath) {
  wchar_t path[32];
  EXPECT_TRUE(ExplorerPath(L"C:\\Windows", path, 32));
  EXPECT_STREQ(path, L"C:\\Windows\\explorer.exe");
  EXPECT_TRUE(ExplorerPath(L"D:\\", path, 32));
  EXPECT_STREQ(path, L"D:\\explorer.exe");
  EXPECT_TRUE(ExplorerPath(L"C:\\Windows", path, 24));  // exactly fits with its terminator
  EXPECT_FALSE(ExplorerPath(L"C:\\Windows", path, 23));
  EXPECT_STREQ(path, L"");
  EXPECT_FALSE(ExplorerPath(L"", path, 32));
}

TEST(UserWork, OnlyShownTitledTaskbarWindowsOfOtherProgramsAndShellFolders) {
  DeskWindowFacts notepad;
  notepad.visibleStyle = true;
  notepad.titled = true;
  notepad.className = L"Notepad";
  EXPECT_TRUE(IsUserWindow(notepad));

  DeskWindowFacts w = notepad;
  w.visibleStyle = false;  // a hidden helper window
  EXPECT_FALSE(IsUserWindow(w));
  w = notepad;
  w.titled = false;
  EXPECT_FALSE(IsUserWindow(w));
  w = notepad;
  w.owned = true;  // a tool window or dialog of another window: that one counts
  EXPECT_FALSE(IsUserWindow(w));
  w.appWindow = true;  // owned, but on the taskbar
  EXPECT_TRUE(IsUserWindow(w));
  w = notepad;
  w.ofThisProgram = true;  // the second copy's window
  EXPECT_FALSE(IsUserWindow(w));

  // The shell's own windows: folders and a running copy or move count, the taskbar, the desktop
  // and the tray do not.
  DeskWindowFacts shell = notepad;
  shell.ofShell = true;
  for (const wchar_t* name : {L"CabinetWClass", L"cabinetwclass", L"OperationStatusWindow"}) {
    shell.className = name;
    EXPECT_TRUE(IsUserWindow(shell)) << "class " << name;
  }
  for (const wchar_t* name : {L"Shell_TrayWnd", L"Progman", L"WorkerW", L"Shell_SecondaryTrayWnd", L""}) {
    shell.className = name;
    EXPECT_FALSE(IsUserWindow(shell)) << "class " << name;
  }
  shell.className = nullptr;
  EXPECT_FALSE(IsUserWindow(shell));
}

TEST(UserWork, CountsAllAndKeepsTheFirstTitlesBounded) {
  UserWork work;
  work.Add(L"a.txt - Notepad");
  std::wstring longTitle(200, L'x');
  work.Add(longTitle.c_str());
  work.Add(nullptr);
  work.Add(L"fourth");
  EXPECT_EQ(work.count, 4);
  EXPECT_FALSE(work.inShell);
  work.Add(L"Documents", true);  // a folder window: the exit must not end the shell
  EXPECT_TRUE(work.inShell);
  EXPECT_EQ(work.count, 5);
  EXPECT_STREQ(work.titles[0], L"a.txt - Notepad");
  EXPECT_EQ(std::wcslen(work.titles[1]), kListedTitleCapacity - 1);
  EXPECT_STREQ(work.titles[2], L"");

  // A title cut inside a surrogate pair loses the whole pair.
  UserWork pair;
  std::wstring t(kListedTitleCapacity - 2, L'y');
  t += static_cast<wchar_t>(0xD83D);
  t += static_cast<wchar_t>(0xDE00);
  pair.Add(t.c_str());
  EXPECT_EQ(std::wcslen(pair.titles[0]), kListedTitleCapacity - 2);
}

TEST(ExitQuestion, AskedOnlyWhileTheUsersWorkIsOpenAndNeverEndedByTheUpdate) {
  EXPECT_EQ(PlanExit(ExitRequest::ByUser, 0), ExitPlan::RunSteps);
  EXPECT_EQ(PlanExit(ExitRequest::ByUpdate, 0), ExitPlan::RunSteps);
  EXPECT_EQ(PlanExit(ExitRequest::ByUser, 2), ExitPlan::Ask);
  EXPECT_EQ(PlanExit(ExitRequest::ByUpdate, 1), ExitPlan::KeepRunning);

  EXPECT_EQ(ExitAnswerFromButton(kButtonYes), ExitAnswer::GoToNew);
  EXPECT_EQ(ExitAnswerFromButton(kButtonNo), ExitAnswer::ExitAnyway);
  EXPECT_EQ(ExitAnswerFromButton(2), ExitAnswer::Stay);  // IDCANCEL, Esc, the close box
  EXPECT_EQ(ExitAnswerFromButton(0), ExitAnswer::Stay);  // the box could not be shown
}

TEST(ShellRestart, AtMostThreeInFiveMinutesThenNoMore) {
  ShellRestartLimiter limiter;
  using V = ShellRestartLimiter::Verdict;
  // Spread out, restarts go on for ever.
  for (unsigned long long t = 0; t < 10; ++t) EXPECT_EQ(limiter.OnShellEnded(t * 150000), V::Restart) << t;

  ShellRestartLimiter quick;
  EXPECT_EQ(quick.OnShellEnded(1000), V::Restart);
  EXPECT_EQ(quick.OnShellEnded(2000), V::Restart);
  EXPECT_EQ(quick.OnShellEnded(kShellRestartPeriodMs), V::Restart);
  // The fourth end within five minutes of the first restart: refused once with a report...
  EXPECT_EQ(quick.OnShellEnded(kShellRestartPeriodMs + 999), V::GiveUp);
  // ...and never again, however long after.
  EXPECT_EQ(quick.OnShellEnded(100 * kShellRestartPeriodMs), V::GivenUp);

  ShellRestartLimiter edge;
  edge.OnShellEnded(0);
  edge.OnShellEnded(1);
  edge.OnShellEnded(2);
  EXPECT_EQ(edge.OnShellEnded(kShellRestartPeriodMs), V::Restart);  // the first fell out of the period
}

TEST(ShellLaunch, ElevatedCopyUsesTheUsersOrdinaryShellTokenOrSaysWhyNot) {
  EXPECT_EQ(ChooseShellLaunch(false, true, true, false), ShellLaunch::Ordinary);
  EXPECT_EQ(ChooseShellLaunch(true, true, true, false), ShellLaunch::UsersToken);
  // The shell's process or token could not be opened, or the start with it failed.
  EXPECT_EQ(ChooseShellLaunch(true, true, false, false), ShellLaunch::OrdinaryAfterFallback);
  // No shell on "Default" to take a token from; UAC off, the user's shell as elevated as the program.
  EXPECT_EQ(ChooseShellLaunch(true, false, false, false), ShellLaunch::Ordinary);
  EXPECT_EQ(ChooseShellLaunch(true, true, true, true), ShellLaunch::Ordinary);
}
