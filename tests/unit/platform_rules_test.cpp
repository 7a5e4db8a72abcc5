// Small rules of the Win32 side that are pure: event indices, tray field bounds, own-file size,
// the switch target, the shell and the fixed-size text.
#include <gtest/gtest.h>

#include <string>

#include "desktop/desk_rules.h"
#include "desktop/event_index.h"
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
