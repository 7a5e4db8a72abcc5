// Small rules of the Win32 side that are pure: event indices, tray field bounds, own-file size,
// the switch target, the shell, the user's work on "desk new" and the fixed-size text.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "desktop/desk_rules.h"
#include "desktop/event_index.h"
#include "desktop/user_work.h"
#include "state/own_file_rules.h"
#include "app/tray_text.h"
#include "win/fixed_text.h"

TEST(EventIndex, GroupsOfFiveAndOnlyValidPositions) {
  EXPECT_EQ(EventIndex(0, 4), 4);
  EXPECT_EQ(EventIndex(1, 1), 6);  // "notify n exit"
  EXPECT_EQ(EventIndex(1, 4), kEventCount - 1);
  EXPECT_TRUE(ValidEventPosition(1, 4));
  EXPECT_FALSE(ValidEventPosition(2, 0));
  EXPECT_FALSE(ValidEventPosition(0, 5));
  EXPECT_FALSE(ValidEventPosition(-1, 0));
  EXPECT_FALSE(ValidEventPosition(0, -1));
}

TEST(TrayText, FitsFieldWithTerminator) {
  const std::u16string shortText = u"desk new";
  EXPECT_EQ(FieldLength(shortText.data(), shortText.size(), 128), shortText.size());
  const std::u16string exact(127, u'x');
  EXPECT_EQ(FieldLength(exact.data(), exact.size(), 128), 127u);
  const std::u16string longText(300, u'x');
  EXPECT_EQ(FieldLength(longText.data(), longText.size(), 256), 255u);
  EXPECT_EQ(FieldLength(longText.data(), longText.size(), 64), 63u);
  EXPECT_EQ(FieldLength(longText.data(), longText.size(), 0), 0u);
}

TEST(TrayText, NeverEndsOnHalfASurrogatePair) {
  std::u16string s(62, u'x');
  s += u"\U0001F600";  // units 62 (high) and 63 (low)
  s += u"tail";
  EXPECT_EQ(FieldLength(s.data(), s.size(), 64), 62u);
  std::u16string t(61, u'x');
  t += u"\U0001F600tail";  // the pair fits whole in 63 units
  EXPECT_EQ(FieldLength(t.data(), t.size(), 64), 63u);
}

TEST(OwnFile, SizeBoundsAreInclusive) {
  EXPECT_FALSE(OwnFileSizeAccepted(0));
  EXPECT_FALSE(OwnFileSizeAccepted(1023));
  EXPECT_TRUE(OwnFileSizeAccepted(1024));
  EXPECT_TRUE(OwnFileSizeAccepted(1048576));
  EXPECT_FALSE(OwnFileSizeAccepted(1048577));
  EXPECT_FALSE(OwnFileSizeAccepted(0x100000000ull + 2048));  // beyond 4 GiB does not wrap
}

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

TEST(Shell, NewOneOnlyWhenTheTrackedOneIsGone) {
  EXPECT_TRUE(NeedsNewShell(false, false));
  EXPECT_TRUE(NeedsNewShell(true, false));
  EXPECT_FALSE(NeedsNewShell(true, true));
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

TEST(FixedText, AppendAndFormatCutAtCapacityAndStayTerminated) {
  win::Text<8> t;
  EXPECT_STREQ(t.c_str(), "");
  t.Append("abc").Append("defghij");
  EXPECT_EQ(t.size(), 7u);
  EXPECT_STREQ(t.c_str(), "abcdefg");
  t.Format("%d-%s", 42, "xyz");
  EXPECT_STREQ(t.c_str(), "42-xyz");
  t.Format("%s%d", "abcdef", 12345);  // one past the capacity
  EXPECT_EQ(t.size(), 7u);
  EXPECT_STREQ(t.c_str(), "abcdef1");
  t.Format("%.*s|", 3, "abcdef");
  EXPECT_STREQ(t.c_str(), "abc|");
  t.Truncate(2);
  EXPECT_STREQ(t.c_str(), "ab");
  t.Truncate(5);  // never lengthens
  EXPECT_STREQ(t.c_str(), "ab");

  win::WideText<6> w;
  w.Format(L"%ls %d", L"desk", 1);
  EXPECT_STREQ(w.c_str(), L"desk ");
  w.SetLength(99);  // a platform call reporting too much is held to the capacity
  EXPECT_EQ(w.size(), 5u);
}
