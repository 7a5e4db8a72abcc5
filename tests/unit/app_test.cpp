#include <gtest/gtest.h>

#include <string>

#include "app/log_text.h"
#include "app/placement.h"
#include "app/role.h"
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

TEST(LogText, CutsAt1023BytesWithoutSplittingDoubleByteCharacters) {
  // Every narrow text is cut by the one rule of win/fixed_text.h; the log's bound is 1023 bytes.
  auto cut = [](const std::string& text) { return win::Cp936PrefixLength(text.data(), text.size(), kLogTextMaxBytes); };
  EXPECT_EQ(cut("hello\r\n"), 7u);
  EXPECT_EQ(cut(std::string(1023, 'x')), 1023u);
  EXPECT_EQ(cut(std::string(5000, 'x')), 1023u);
  // 1022 ASCII bytes and a two-byte character would end at byte 1024: the character goes.
  std::string s(1022, 'x');
  s += "\xC4\xE3";
  EXPECT_EQ(cut(s), 1022u);
  std::string t(1021, 'x');
  t += "\xC4\xE3";
  EXPECT_EQ(cut(t), 1023u);
  // A lone lead byte at the end counts as one byte.
  EXPECT_EQ(cut("ab\xC4"), 3u);
  EXPECT_EQ(cut(""), 0u);
}

TEST(LogText, TrimsOnlyAbove400Lines) {
  EXPECT_FALSE(LogNeedsTrim(400));
  EXPECT_TRUE(LogNeedsTrim(401));
}

TEST(Placement, FlushIntoBottomRightOfWorkArea) {
  // 1024x768 screen with a 30-pixel taskbar at the bottom: work area ends at 1024, 738.
  WindowOrigin o = BottomRightOrigin(1024, 738, 200, 120);
  EXPECT_EQ(o.x, 824);
  EXPECT_EQ(o.y, 618);
  // A taskbar on the right narrows the work area instead.
  o = BottomRightOrigin(964, 768, 200, 120);
  EXPECT_EQ(o.x, 764);
  EXPECT_EQ(o.y, 648);
}
