// The framework layer's pure part: the fixed-size text and the one rule that cuts narrow text.
#include <gtest/gtest.h>

#include <string>

#include "services/log_queue.h"
#include "win/fixed_text.h"

TEST(TextCut, LogBoundOf1023BytesNeverSplitsADoubleByteCharacter) {
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

TEST(LogQueue, KeepsOrderUpToItsBoundThenCountsWhatItDrops) {
  LogQueue queue;
  LogText out;
  EXPECT_FALSE(queue.Pop(out));
  for (std::size_t i = 0; i < kLogQueueSlots + 3; ++i) queue.Push(std::to_string(i).c_str());
  EXPECT_EQ(queue.size(), kLogQueueSlots);
  EXPECT_EQ(queue.TakeDropped(), 3u);
  EXPECT_EQ(queue.TakeDropped(), 0u);
  // Taking some makes room again; the order wraps around the slots unchanged.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(queue.Pop(out));
  EXPECT_STREQ(out.c_str(), "4");
  for (std::size_t i = 0; i < 5; ++i) queue.Push(("again " + std::to_string(i)).c_str());
  EXPECT_EQ(queue.TakeDropped(), 0u);
  std::string last;
  std::size_t popped = 0;
  while (queue.Pop(out)) last = out.c_str(), ++popped;
  EXPECT_EQ(popped, kLogQueueSlots);
  EXPECT_EQ(last, "again 4");

  // A text longer than the log's bound is cut there, never inside a double-byte character.
  queue.Push((std::string(1022, 'a') + "\xd6\xd0" + "tail").c_str());
  ASSERT_TRUE(queue.Pop(out));
  EXPECT_EQ(out.size(), 1022u);
}
