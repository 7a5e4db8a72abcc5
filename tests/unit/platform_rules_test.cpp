// Small rules of the Win32 side that are pure: event indices, tray field bounds, own-file size,
// the fixed-size text.
#include <gtest/gtest.h>

#include <string>

#include "desktop/event_index.h"
#include "state/own_file_rules.h"
#include "ui/tray_text.h"
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
