#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "state/record_format.h"
#include "update/update_parser.h"
#include "version/version.h"

namespace {
const char kFormatError[] = "内部错误，下载到的更新数据格式错误,请使用内部命令'net updata'重新读取\r\n";

struct Parse {
  UpdateElements elements;  // kept between parses, as in the program
  std::vector<std::string> lines;
  bool Run(const std::string& text) {
    lines.clear();
    return ParseUpdateText(text.c_str(), text.size(), elements,
                           [this](const char* line) { lines.emplace_back(line); });
  }
};
}  // namespace

TEST(UpdateParser, WellFormedFileReachesTheStoredRecord) {
  Parse p;
  ASSERT_TRUE(p.Run("<TOLVA_UPDATA>\r\n<ver>2.30</ver>\r\n<message>新版本\r\nline two</message>\r\n"
                    "<md5size>abc 123</md5size>\r\n</TOLVA_UPDATA>\r\n"));
  EXPECT_TRUE(p.lines.empty());

  RecordFields f;
  SetRecordDefaults(f);
  ApplyUpdate(p.elements, "20240501", f);
  unsigned char value[kRecordValueMax];
  RecordFields back;
  ASSERT_TRUE(LoadRecordValue(value, EncipherRecord(f, value), back, LineSink()));
  EXPECT_STREQ(back.r_ver, "2.30");
  EXPECT_STREQ(back.r_message, "新版本\r\nline two");
  EXPECT_STREQ(back.r_md5size, "abc 123");
  EXPECT_STREQ(back.r_lastupdata, "20240501");
  EXPECT_EQ(back.r_time, 1);
  EXPECT_TRUE(IsNewerVersion(back.r_ver, kProgramVersion));

  const MessageLine line = FormatMessageLine(back.r_message);
  EXPECT_EQ(line.size(), std::strlen("新版本\r\nline two\r\n"));
  EXPECT_STREQ(line.c_str(), "新版本\r\nline two\r\n");
}

TEST(UpdateParser, OuterTagsAreRequiredButNotTheirOrder) {
  Parse p;
  std::strcpy(p.elements.updVer, "old");
  for (const char* text : {"", "<html>404</html>", "<TOLVA_UPDATA><ver>9</ver>", "<ver>9</ver></TOLVA_UPDATA>"}) {
    EXPECT_FALSE(p.Run(text)) << text;
    EXPECT_EQ(p.lines, std::vector<std::string>{kFormatError});
    EXPECT_STREQ(p.elements.updVer, "old");
  }
  // Closing tag first, and elements outside the outer tags, are accepted.
  EXPECT_TRUE(p.Run("<ver>3.0</ver></TOLVA_UPDATA><message>m</message><TOLVA_UPDATA><md5size>5</md5size>"));
  EXPECT_TRUE(p.lines.empty());
  EXPECT_STREQ(p.elements.updVer, "3.0");
  EXPECT_STREQ(p.elements.updMessage, "m");
  EXPECT_STREQ(p.elements.updMd5size, "5");
}

TEST(UpdateParser, MissingElementsKeepEarlierValuesAndReport) {
  Parse p;
  ASSERT_TRUE(p.Run("<TOLVA_UPDATA><message>hi</message></TOLVA_UPDATA>"));
  EXPECT_EQ(p.lines, std::vector<std::string>{"_tolva_UPDATA:goahead<ver>failed\r\n"});
  RecordFields f;
  SetRecordDefaults(f);
  ApplyUpdate(p.elements, "20240501", f);
  EXPECT_STREQ(f.r_ver, "");  // first parse of a run: nothing newer announced
  EXPECT_FALSE(IsNewerVersion(f.r_ver, kProgramVersion));

  ASSERT_TRUE(p.Run("<TOLVA_UPDATA><ver>2.5</ver><md5size>x</md5size></TOLVA_UPDATA>"));
  ASSERT_TRUE(p.Run("<TOLVA_UPDATA><ver>2.6<message>new<md5size>y</TOLVA_UPDATA>"));
  EXPECT_EQ(p.lines, (std::vector<std::string>{"_tolva_UPDATA:goahead</ver>failed\r\n",
                                               "_tolva_UPDATA:goahead</message>failed\r\n"}));
  EXPECT_STREQ(p.elements.updVer, "2.5");
  EXPECT_STREQ(p.elements.updMessage, "hi");
  EXPECT_STREQ(p.elements.updMd5size, "x");
}

TEST(UpdateParser, FirstElementWinsAndLongValuesAreCut) {
  Parse p;
  const std::string message(3000, 'm');
  ASSERT_TRUE(p.Run("<TOLVA_UPDATA><ver>2.1</ver><ver>9.9</ver><message>" + message + "</message><md5size>" +
                    std::string(125, 'a') + "\xB0\xA1\xB0\xA1</md5size></TOLVA_UPDATA>"));
  EXPECT_STREQ(p.elements.updVer, "2.1");
  EXPECT_EQ(std::string(p.elements.updMessage), std::string(kMessageCapacity - 1, 'm'));
  EXPECT_EQ(std::string(p.elements.updMd5size), std::string(125, 'a') + "\xB0\xA1");

  const MessageLine line = FormatMessageLine(p.elements.updMessage);
  EXPECT_EQ(line.size(), kMessageLineCapacity - 1);
  EXPECT_EQ(std::string(line.c_str()), std::string(kMessageLineCapacity - 3, 'm') + "\r\n");
}

TEST(Version, ByteWiseComparison) {
  EXPECT_TRUE(IsNewerVersion("2.3", "2.22"));
  EXPECT_TRUE(IsNewerVersion("2.22a", "2.22"));
  EXPECT_TRUE(IsNewerVersion("\xB0\xA1", "2.22"));  // bytes above 0x7F compare unsigned
  EXPECT_FALSE(IsNewerVersion("2.22", "2.22"));
  EXPECT_FALSE(IsNewerVersion("10.0", "2.22"));
  EXPECT_FALSE(IsNewerVersion("", "2.22"));
  EXPECT_FALSE(IsNewerVersion(nullptr, "2.22"));
  RecordFields fresh;
  SetRecordDefaults(fresh);
  EXPECT_STREQ(fresh.r_ver, kProgramVersion);
}
