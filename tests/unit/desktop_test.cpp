// The desktops' decisions that Wine cannot show: the switch target, the system's shell, and what
// the program does about the user's own work on "desk new".
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "desktop/desk_rules.h"

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
  w = notepad;
  w.toolWindow = true;  // a floating palette or an input-method bar, never on the taskbar
  EXPECT_FALSE(IsUserWindow(w));
  w.appWindow = true;
  EXPECT_FALSE(IsUserWindow(w));
  w = notepad;
  w.cloaked = true;  // kept out of sight by the window manager
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

  // What MessageBox returns, as the platform numbers it: IDYES 6, IDNO 7; IDOK 1, IDCANCEL 2
  // (Esc, the close box), IDABORT 3, IDRETRY 4, IDIGNORE 5; 0 when the box could not be shown.
  EXPECT_EQ(ExitAnswerFromButton(6), ExitAnswer::GoToNew);
  EXPECT_EQ(ExitAnswerFromButton(7), ExitAnswer::ExitAnyway);
  for (int other : {0, 1, 2, 3, 4, 5}) EXPECT_EQ(ExitAnswerFromButton(other), ExitAnswer::Stay) << other;
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

TEST(ShellLaunch, NeverTheElevatedTokenOnTheNewDesktop) {
  // No split token (UAC off, a standard user): the program's own token is the user's.
  EXPECT_EQ(ChooseShellLaunch(false, false, false, false, 0), ShellLaunch::OwnToken);
  EXPECT_EQ(ChooseShellLaunch(false, true, true, true, kUsersShellWaitMs * 2), ShellLaunch::OwnToken);
  // Elevated: the ordinary shell's token whenever it can be used...
  EXPECT_EQ(ChooseShellLaunch(true, true, true, false, 0), ShellLaunch::UsersToken);
  EXPECT_EQ(ChooseShellLaunch(true, true, true, false, kUsersShellWaitMs * 2), ShellLaunch::UsersToken);
  // ...waits for it while it is on its way (logon, the shell restarting)...
  EXPECT_EQ(ChooseShellLaunch(true, false, false, true, 0), ShellLaunch::Wait);
  EXPECT_EQ(ChooseShellLaunch(true, false, false, true, kUsersShellWaitMs - 1), ShellLaunch::Wait);
  // ...and otherwise limits its own: after the wait, with no shell coming (another shell, none),
  // or when the shell is there but its token cannot be had or is itself elevated.
  EXPECT_EQ(ChooseShellLaunch(true, false, false, true, kUsersShellWaitMs), ShellLaunch::LimitedToken);
  EXPECT_EQ(ChooseShellLaunch(true, false, false, false, 0), ShellLaunch::LimitedToken);
  EXPECT_EQ(ChooseShellLaunch(true, true, false, true, 0), ShellLaunch::LimitedToken);
  // There is no way back to the full token.
  for (unsigned long long waited : {0ull, kUsersShellWaitMs, 10 * kUsersShellWaitMs})
    for (int found = 0; found < 2; ++found)
      for (int usable = 0; usable < 2; ++usable)
        for (int starting = 0; starting < 2; ++starting)
          EXPECT_NE(ChooseShellLaunch(true, found != 0, usable != 0, starting != 0, waited), ShellLaunch::OwnToken);

  // The limited token keeps a standard user's privileges (shut down, undock, time zone) only.
  EXPECT_TRUE(StandardUserPrivilege(L"SeShutdownPrivilege"));
  EXPECT_TRUE(StandardUserPrivilege(L"SeChangeNotifyPrivilege"));
  EXPECT_FALSE(StandardUserPrivilege(L"SeDebugPrivilege"));
  EXPECT_FALSE(StandardUserPrivilege(L"SeTakeOwnershipPrivilege"));
  EXPECT_FALSE(StandardUserPrivilege(L""));  // a name that could not be looked up goes
  EXPECT_FALSE(StandardUserPrivilege(nullptr));
}

TEST(ShellWatch, AdoptsAShellAlreadyThereBeforeStartingOne) {
  const wchar_t* explorer = L"C:\\Windows\\explorer.exe";
  EXPECT_TRUE(IsShellWindow(L"Shell_TrayWnd", L"c:\\windows\\EXPLORER.EXE", explorer));
  EXPECT_TRUE(IsShellWindow(L"Progman", explorer, explorer));
  // A folder window of the shell, or a taskbar of some other program, is no shell.
  EXPECT_FALSE(IsShellWindow(L"CabinetWClass", explorer, explorer));
  EXPECT_FALSE(IsShellWindow(L"Shell_TrayWnd", L"C:\\Tools\\explorer.exe", explorer));
  EXPECT_FALSE(IsShellWindow(L"Shell_TrayWnd", L"", explorer));  // image unreadable

  EXPECT_EQ(ChooseShellStep(true, false), ShellStep::Nothing);
  EXPECT_EQ(ChooseShellStep(true, true), ShellStep::Nothing);
  // Explorer handed over to its own new process, or the user started one: kept, not joined.
  EXPECT_EQ(ChooseShellStep(false, true), ShellStep::Adopt);
  EXPECT_EQ(ChooseShellStep(false, false), ShellStep::Start);
}

TEST(SessionEnd, ShowsTheUsersPromptsAndHoldsUntilTheEndComesOrIsCalledOff) {
  // Asked first, with the user's work open on "desk new" while "Default" is shown: show it.
  SessionStep asked = AnswerSessionQuery(false, 2, false);
  EXPECT_EQ(asked.next, Session::Asked);
  EXPECT_TRUE(asked.showNew);
  EXPECT_FALSE(AnswerSessionQuery(false, 2, true).showNew);   // already shown
  EXPECT_FALSE(AnswerSessionQuery(false, 0, false).showNew);  // nothing to save there
  EXPECT_FALSE(AnswerSessionQuery(true, 2, false).showNew);   // the Restart Manager closes this program only
  EXPECT_EQ(AnswerSessionQuery(true, 0, false).next, Session::Asked);

  // Held from the question until the end is called off; the system's word holds too.
  EXPECT_TRUE(SessionHolds(Session::Asked, false));
  EXPECT_TRUE(SessionHolds(Session::Ending, false));
  EXPECT_TRUE(SessionHolds(Session::Running, true));
  EXPECT_FALSE(SessionHolds(Session::Running, false));

  const SessionStep ending = AnswerSessionEnd(true, false);
  EXPECT_EQ(ending.next, Session::Ending);
  EXPECT_FALSE(ending.leave || ending.cancelled);
  const SessionStep cancelled = AnswerSessionEnd(false, false);
  EXPECT_EQ(cancelled.next, Session::Running);
  EXPECT_TRUE(cancelled.cancelled);
  // The Restart Manager: closed, the copy leaves and the session goes on; not closed, it runs on
  // and no logoff was cancelled.
  const SessionStep closed = AnswerSessionEnd(true, true);
  EXPECT_EQ(closed.next, Session::Running);
  EXPECT_TRUE(closed.leave);
  const SessionStep kept = AnswerSessionEnd(false, true);
  EXPECT_EQ(kept.next, Session::Running);
  EXPECT_FALSE(kept.leave || kept.cancelled);

  EXPECT_TRUE(TellCancelledLogoff(1, false));
  EXPECT_FALSE(TellCancelledLogoff(1, true));  // "desk new" shown: the work is in sight
  EXPECT_FALSE(TellCancelledLogoff(0, false));
}

TEST(Listener, WaitsOnlyOnTheCreatedEventsAndMapsAWakeBackToItsName) {
  const bool someMissing[kEventsPerGroup] = {false, true, true, false, true};
  const WaitSet set = BuildWaitSet(someMissing);
  ASSERT_EQ(set.count, 3);
  EXPECT_EQ(WokenPosition(set, 0), 1);
  EXPECT_EQ(WokenPosition(set, 1), 2);
  EXPECT_EQ(WokenPosition(set, 2), 4);
  // Past the set, failed (0xFFFFFFFF) or abandoned (0x80): no event.
  for (unsigned long r : {3ul, 0xFFFFFFFFul, 0x80ul}) EXPECT_EQ(WokenPosition(set, r), kNoEvent) << r;

  const bool none[kEventsPerGroup] = {};
  EXPECT_EQ(BuildWaitSet(none).count, 0);
  EXPECT_EQ(WokenPosition(BuildWaitSet(none), 0), kNoEvent);
  const bool all[kEventsPerGroup] = {true, true, true, true, true};
  const WaitSet full = BuildWaitSet(all);
  for (int k = 0; k < kEventsPerGroup; ++k) EXPECT_EQ(WokenPosition(full, static_cast<unsigned long>(k)), k);
}

TEST(ExitUnderWay, RefusesEverySwitchRunAndExitWithOneLineEach) {
  struct Row {
    ExitGated request;
    const char* line;
  };
  const Row rows[] = {
      {ExitGated::Switch, "SwitchDesk: refused,the exit is under way\r\n"},
      {ExitGated::CreationRun, "MakeDeskThreadFunc: refused,the exit is under way\r\n"},
      {ExitGated::Exit, "exit skipped,the exit is already under way\r\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RefusedByExit(row.request, false), nullptr) << row.line;  // before the exit: goes on
    ASSERT_NE(RefusedByExit(row.request, true), nullptr) << row.line;
    EXPECT_STREQ(RefusedByExit(row.request, true), row.line);
  }
}

TEST(CreationRun, OneAtATimeAndNoneOnceTheExitIsUnderWay) {
  struct Row {
    bool exitUnderWay;
    bool runInFlight;
    RunVerdict verdict;
  };
  const Row rows[] = {
      {false, false, RunVerdict::Start},
      {false, true, RunVerdict::RefuseBusy},  // the watchdog while a run is under way
      {true, false, RunVerdict::RefuseExit},
      {true, true, RunVerdict::RefuseExit},  // the exit's refusal is the one told
  };
  for (const Row& row : rows)
    EXPECT_EQ(DecideCreationRun(row.exitUnderWay, row.runInFlight), row.verdict)
        << row.exitUnderWay << row.runInFlight;
  EXPECT_STREQ(kRunBusyLine, "MakeDeskThreadFunc: a run is under way,none started beside it\r\n");
}

TEST(ShellWait, OnlyARunThatDecidedAboutTheShellChangesTheWait) {
  struct Row {
    unsigned long long since;
    bool decided;
    bool waiting;
    unsigned long long now;
    unsigned long long after;
  };
  const Row rows[] = {
      // A second copy restarted during the wait for the user's shell: the wait goes on.
      {5000, false, false, 9000, 5000},
      {0, false, false, 9000, 0},
      // A run that deferred the shell starts the wait, or keeps the one that runs.
      {0, true, true, 9000, 9000},
      {5000, true, true, 9000, 5000},
      {0, true, true, 0, 1},  // 0 means none waits: a wait begun at tick 0 still waits
      // A run that started or adopted the shell ends the wait.
      {5000, true, false, 9000, 0},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ShellWaitAfterRun(row.since, row.decided, row.waiting, row.now), row.after)
        << row.since << " " << row.decided << row.waiting;
}

TEST(FirstCopyWatch, AParentIsTheFirstCopyOnlyWhenItRunsThisProgramAndStartedBefore) {
  struct Row {
    bool opened, sameProgram, startedBefore, accepted;
  };
  const Row rows[] = {
      {true, true, true, true},
      {false, false, false, false},  // started by hand from a process gone or closed to it
      {true, false, true, false},    // a shell or a test driver started it
      {true, true, false, false},    // the parent's id went to a later process of this program
      {false, true, true, false},
  };
  for (const Row& row : rows) {
    ParentFacts facts;
    facts.opened = row.opened;
    facts.sameProgram = row.sameProgram;
    facts.startedBefore = row.startedBefore;
    EXPECT_EQ(AcceptParent(facts), row.accepted) << row.opened << row.sameProgram << row.startedBefore;
  }
}

TEST(FirstCopyWatch, LeavesAtOnceWhenTheFirstCopyEndsAndElseAfterThirtySilentTicks) {
  struct Row {
    bool parentEnded;
    int silentTicks;
    bool leaves;
  };
  const Row rows[] = {
      {true, 0, true},    // seen to end: no ticks counted
      {false, 6, false},  // six silent ticks: a busy first copy, not a dead one
      {false, 8, false},  // stopped for 8 s
      {false, 29, false},
      {false, 30, true},
      {true, 30, true},
  };
  for (const Row& row : rows)
    EXPECT_EQ(SecondCopyLeaves(row.parentEnded, row.silentTicks), row.leaves) << row.parentEnded << row.silentTicks;
}

TEST(TrayIcon, AMissingIconIsAddedAgainAtMostOnceInFiveSeconds) {
  struct Row {
    unsigned long long last, now;
    bool due;
  };
  const Row rows[] = {
      {0, 1000, true},  // never tried, or the taskbar's restart notice cleared the last try
      {10000, 11000, false},
      {10000, 14999, false},
      {10000, 15000, true},
      {10000, 60000, true},
  };
  for (const Row& row : rows) EXPECT_EQ(TrayReAddDue(row.last, row.now), row.due) << row.last << " " << row.now;
}
