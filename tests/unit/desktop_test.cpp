// The desktops' decisions that Wine cannot show: the switch target and the system's shell.
#include <gtest/gtest.h>

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
