// The application's pure rules: the role a start plays, the tray's text fields, where a window
// opened at the pointer goes.
#include <gtest/gtest.h>

#include <string>

#include "app/role.h"
#include "ui/placement.h"
#include "win/fixed_text.h"

TEST(Role, TailSkipsQuotedAndPlainProgramPath) {
  EXPECT_STREQ(ArgumentTail(L"\"C:\\a b\\tolva2.exe\"  makedesktop desk new 1"), L"makedesktop desk new 1");
  EXPECT_STREQ(ArgumentTail(L"C:\\tolva2.exe x"), L"x");
  EXPECT_STREQ(ArgumentTail(L"tolva2.exe"), L"");
  EXPECT_STREQ(ArgumentTail(L"\"unterminated"), L"");
  EXPECT_STREQ(ArgumentTail(nullptr), L"");
}

TEST(Role, WordAnywhereSelectsSecondCopyButNotInCapitals) {
  EXPECT_TRUE(SelectsSecondCopy(L"makedesktop"));
  EXPECT_TRUE(SelectsSecondCopy(L" makedesktop desk new 1"));
  EXPECT_TRUE(SelectsSecondCopy(L"xxmakedesktopyy"));
  EXPECT_FALSE(SelectsSecondCopy(L"MAKEDESKTOP"));
  EXPECT_FALSE(SelectsSecondCopy(L"make desktop"));
  EXPECT_FALSE(SelectsSecondCopy(L""));
  EXPECT_FALSE(SelectsSecondCopy(nullptr));
}

TEST(Role, LongTailsAreCutNotOverflowed) {
  std::wstring tail(5000, L'a');
  EXPECT_FALSE(SelectsSecondCopy(tail.c_str()));
  std::wstring early = L"makedesktop" + tail;
  EXPECT_TRUE(SelectsSecondCopy(early.c_str()));
  // The word ends exactly at the last kept character, then one character later.
  std::wstring edge(kArgTailCapacity - 1 - 11, L'a');
  EXPECT_TRUE(SelectsSecondCopy((edge + L"makedesktop" + tail).c_str()));
  EXPECT_FALSE(SelectsSecondCopy((edge + L"a" + L"makedesktop").c_str()));
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

TEST(Placement, DialogAtThePointerIsKeptInsideTheWorkArea) {
  // 1024x768 with a 30-pixel taskbar at the bottom; a 277x213 dialog.
  const WorkArea work{0, 0, 1024, 738};
  // Room enough: the top-left corner stays at the pointer.
  WindowOrigin o = KeptInside(300, 200, 277, 213, work);
  EXPECT_EQ(o.x, 300);
  EXPECT_EQ(o.y, 200);
  // Started from a taskbar button at the bottom right: flush into the corner, wholly on screen.
  o = KeptInside(1015, 760, 277, 213, work);
  EXPECT_EQ(o.x, 747);
  EXPECT_EQ(o.y, 525);
  // Only the edge it crosses moves it; exactly flush stays.
  o = KeptInside(747, 100, 277, 213, work);
  EXPECT_EQ(o.x, 747);
  EXPECT_EQ(o.y, 100);
  // A second monitor left of the first (negative coordinates) and a taskbar at its top.
  const WorkArea left{-1280, 40, 0, 1024};
  o = KeptInside(-100, 1000, 277, 213, left);
  EXPECT_EQ(o.x, -277);
  EXPECT_EQ(o.y, 811);
  o = KeptInside(-1400, 0, 277, 213, left);
  EXPECT_EQ(o.x, -1280);
  EXPECT_EQ(o.y, 40);
  // Larger than the area: the top-left corner (the caption) stays in it.
  o = KeptInside(500, 500, 1100, 800, work);
  EXPECT_EQ(o.x, 0);
  EXPECT_EQ(o.y, 0);
}

TEST(Role, MarkerDecidesFirstOrRunningCopyAndStopsWhenItsNameIsAnotherObject) {
  EXPECT_EQ(ReadMarker(true, 0), MarkerVerdict::FirstCopy);
  EXPECT_EQ(ReadMarker(true, 183), MarkerVerdict::RunningCopy);  // ERROR_ALREADY_EXISTS
  EXPECT_EQ(ReadMarker(false, 5), MarkerVerdict::RunningCopy);   // closed to this start: an elevated copy's
  EXPECT_EQ(ReadMarker(false, 6), MarkerVerdict::NameTaken);     // a mutex or section by that name
  EXPECT_EQ(ReadMarker(false, 8), MarkerVerdict::FirstCopy);     // out of memory: start rather than nothing
}
