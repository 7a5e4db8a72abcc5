// The application's pure rules: the role a start plays, and the tray's text fields.
#include <gtest/gtest.h>

#include <string>

#include "app/role.h"
#include "app/tray_text.h"

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
