#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "state/cipher.h"
#include "state/record_format.h"
#include "version/version.h"

namespace {
const char kDefaultText[] =
    "<r_time>1</r_time><r_lastupdata>20080101</r_lastupdata><r_ver>" TOLVA_VERSION "</r_ver>"
    "<r_message>hello!</r_message><r_md5size>null</r_md5size>";

struct Lines {
  std::vector<std::string> lines;
  void operator()(const char* line) { lines.emplace_back(line); }
  LineSink Sink() { return LineSink(*this); }
};

RecordFields Defaults() {
  RecordFields f;
  SetRecordDefaults(f);
  return f;
}

// All five fields on one line, so a test states them in one comparison.
std::string Summary(const RecordFields& f) {
  return std::to_string(f.r_time) + "|" + f.r_lastupdata + "|" + f.r_ver + "|" + f.r_message + "|" + f.r_md5size;
}

std::vector<std::string> Extract(const std::string& text, RecordFields& f) {
  Lines log;
  ExtractRecordFields(text.data(), text.size(), f, log.Sink());
  return log.lines;
}

std::string Line(const char* tag) { return std::string("_tolva_Reg_GET:goahead") + tag + "failed\r\n"; }
const std::vector<std::string> kNoLines;
}  // namespace

TEST(RecordStore, DefaultRecordIs130BytesStoredAs140) {
  const RecordText text = FormatRecordText(Defaults());
  ASSERT_EQ(text.size(), 130u);
  EXPECT_STREQ(text.c_str(), kDefaultText);

  unsigned char value[kRecordValueMax];
  std::memset(value, 0x5A, sizeof value);
  ASSERT_EQ(EncipherRecord(Defaults(), value), 140u);
  const unsigned char first[8] = {0x1A, 0xBA, 0xF2, 0x1E, 0x94, 0x18, 0x7A, 0x87};  // "<r_time>" stored
  EXPECT_EQ(std::memcmp(value, first, 8), 0);
  EXPECT_EQ(std::vector<unsigned char>(value + 136, value + 140), std::vector<unsigned char>(4, 0x5A));

  RecordFields back;
  Lines log;
  ASSERT_TRUE(LoadRecordValue(value, 140, back, log.Sink()));
  EXPECT_EQ(log.lines, kNoLines);
  EXPECT_EQ(Summary(back), "1|20080101|" TOLVA_VERSION "|hello!|null");
}

TEST(RecordStore, LongMessageIsShortenedToFit1014Bytes) {
  RecordFields f = Defaults();
  f.r_time = 10;  // leaves an odd 889 bytes for the message
  std::string message;
  while (message.size() < kMessageCapacity - 1) message += "\xC4\xE3";  // two-byte characters
  std::memcpy(f.r_message, message.data(), kMessageCapacity - 1);
  const RecordText text = FormatRecordText(f);
  ASSERT_EQ(text.size(), 1013u);
  EXPECT_NE(std::string(text.c_str()).find("<r_message>" + message.substr(0, 888) + "</r_message>"), std::string::npos);

  std::memset(f.r_message, 'x', kMessageCapacity - 1);
  unsigned char value[kRecordValueMax];
  ASSERT_EQ(EncipherRecord(f, value), kRecordValueMax);
  RecordFields back;
  ASSERT_TRUE(LoadRecordValue(value, kRecordValueMax, back, LineSink()));
  EXPECT_EQ(Summary(back), "10|20080101|" TOLVA_VERSION "|" + std::string(889, 'x') + "|null");
}

TEST(RecordLoad, FullSizeValueAndOversizeRefusal) {
  // 1024 plain bytes ending in a closing tag: found, with the NUL in the extra byte.
  const std::string plain = "<r_message>" + std::string(kRecordValueMax - 23, 'm') + "</r_message>";
  std::vector<unsigned char> value(kRecordValueMax + 1, 'z');
  for (std::size_t i = 0; i < kRecordValueMax; i += 8)
    des_block(&value[i], reinterpret_cast<const unsigned char*>(&plain[i]), 0);
  RecordFields f = Defaults();
  Lines log;
  ASSERT_TRUE(LoadRecordValue(value.data(), kRecordValueMax, f, log.Sink()));
  EXPECT_EQ(std::string(f.r_message), std::string(kRecordValueMax - 23, 'm'));
  EXPECT_EQ(log.lines.size(), 4u);

  f = Defaults();
  log.lines.clear();
  EXPECT_FALSE(LoadRecordValue(value.data(), kRecordValueMax + 1, f, log.Sink()));
  EXPECT_EQ(log.lines, std::vector<std::string>{"_tolva_Reg_GET:读取注册表失败\r\n"});
  EXPECT_EQ(Summary(f), "1|20080101|" TOLVA_VERSION "|hello!|null");
}

TEST(RecordLoad, EmptyValueAndPartialLastBlock) {
  RecordFields f = Defaults();
  Lines log;
  ASSERT_TRUE(LoadRecordValue(nullptr, 0, f, log.Sink()));
  EXPECT_EQ(log.lines, (std::vector<std::string>{Line("<r_time>"), Line("<r_ver>"), Line("<r_message>"),
                                                 Line("<r_md5size>"), Line("<r_lastupdata>")}));
  EXPECT_EQ(Summary(f), "1|20080101|" TOLVA_VERSION "|hello!|null");

  // 130 of the 140 stored bytes: the last two, inside "</r_md5size>", stay enciphered.
  unsigned char value[kRecordValueMax];
  EncipherRecord(Defaults(), value);
  RecordFields g;
  std::strcpy(g.r_md5size, "old");
  log.lines.clear();
  ASSERT_TRUE(LoadRecordValue(value, 130, g, log.Sink()));
  EXPECT_EQ(log.lines, std::vector<std::string>{Line("</r_md5size>")});
  EXPECT_EQ(Summary(g), "1|20080101|" TOLVA_VERSION "|hello!|old");
}

TEST(RecordExtract, OrderAndExtraTextDoNotMatterFirstOccurrenceWins) {
  RecordFields f;
  EXPECT_EQ(Extract("junk<r_md5size>m</r_md5size>\r\n<r_ver>3.0</r_ver><r_ver>9.9</r_ver><r_message>a<b>c"
                    "</r_message><r_lastupdata>20240229</r_lastupdata>x<r_time>-7</r_time>",
                    f),
            kNoLines);
  EXPECT_EQ(Summary(f), "-7|20240229|3.0|a<b>c|m");
}

TEST(RecordExtract, MissingClosingTagKeepsOnlyThatField) {
  std::string text = kDefaultText;
  text.erase(text.find("</r_ver>"), 8);
  RecordFields f;
  std::strcpy(f.r_ver, "keep");
  EXPECT_EQ(Extract(text, f), std::vector<std::string>{Line("</r_ver>")});
  EXPECT_EQ(Summary(f), "1|20080101|keep|hello!|null");
}

TEST(RecordExtract, CounterReadLikePercentD) {
  RecordFields f;
  Extract("<r_time>12abc</r_time>", f);
  EXPECT_EQ(f.r_time, 12);
  EXPECT_STREQ(f.r_time_text, "12abc");
  for (const char* text : {"<r_time></r_time>", "<r_time>abc</r_time>", "<r_time>-</r_time>"}) {
    Extract(text, f);
    EXPECT_EQ(f.r_time, 12) << text;
  }
  Extract("<r_time>99999999999</r_time>", f);
  EXPECT_EQ(f.r_time, 2147483647);
}

TEST(RecordExtract, LongValuesAreCutAtACharacterBoundary) {
  RecordFields f;
  Extract("<r_ver>" + std::string(126, 'a') + "\xC4\xE3tail</r_ver><r_md5size>" + std::string(500, 'b') +
              "</r_md5size>",
          f);
  EXPECT_EQ(std::string(f.r_ver), std::string(126, 'a'));
  EXPECT_EQ(std::string(f.r_md5size), std::string(kFieldCapacity - 1, 'b'));
}

TEST(FindTag, MovesCursorOnlyOnAMatchWhollyInsideTheRange) {
  const char text[] = "ab<x>cd<x>";
  const char* cursor = text + 3;
  EXPECT_EQ(find_tag(cursor, "<x>", text + 9), nullptr);
  EXPECT_EQ(cursor, text + 3);
  EXPECT_EQ(find_tag(cursor, "<x>", text + 10), text + 10);
  EXPECT_EQ(cursor, text + 7);
}
