// The user's settings: each value's checks, the defaults a bad value falls back to, key names.
#include <gtest/gtest.h>

#include <cstdint>

#include "state/settings.h"

namespace {

constexpr HotKeyCode kN = kCtrlAlt | 'N', kEnter = kCtrlAlt | 0x0D, kH = kCtrlAlt | 'H', kK = kCtrlAlt | 'K';

struct Dword {
  unsigned char bytes[4];
  explicit Dword(std::uint32_t v) : bytes{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)} {}
};

}  // namespace

TEST(Settings, EachValueCheckedInOrder) {
  const struct {
    const wchar_t* name;
    unsigned long type;
    std::uint32_t value;
    HotKeyCode keys[4];
    unsigned rejected;
  } cases[] = {
      {L"switch key", 4, kCtrlAlt | 'M', {kCtrlAlt | 'M', kEnter, kH, kK}, 0},
      {L"SWITCH KEY", 4, (8u << 16) | 0x70, {(8u << 16) | 0x70, kEnter, kH, kK}, 0},
      {L"switch key", 4, 0, {0, kEnter, kH, kK}, 0},
      {L"switch key", 1, kCtrlAlt | 'M', {kN, kEnter, kH, kK}, 1},         // wrong type
      {L"switch key", 4, (0x13u << 16) | 'M', {kN, kEnter, kH, kK}, 1},   // unknown modifier
      {L"switch key", 4, kCtrlAlt, {kN, kEnter, kH, kK}, 1},              // no key code
      {L"switch key", 4, (4u << 16) | 'M', {kN, kEnter, kH, kK}, 1},      // Shift alone
      {L"switch key", 4, kCtrlAlt | 0x7B, {kN, kEnter, kH, kK}, 1},       // F12
      {L"exit key", 4, kH, {kN, kEnter, kH, kK}, 8},                      // an earlier action's key
      {L"switch key", 4, kK, {kK, kEnter, kH, 0}, 0},                     // the exit key's default taken
      {L"hide key", 4, kN, {kN, kEnter, kH, kK}, 4},
      {L"other", 4, kCtrlAlt | 'M', {kN, kEnter, kH, kK}, 0},
  };
  for (const auto& c : cases) {
    const Dword d(c.value);
    const SettingValue value{c.name, c.type, d.bytes, 4};
    const Settings s = ParseSettings(&value, 1);
    for (int i = 0; i < kKeyActionCount; ++i) EXPECT_EQ(s.keys[i], c.keys[i]) << c.value << " action " << i;
    EXPECT_EQ(s.rejected, c.rejected) << c.value;
    EXPECT_TRUE(s.showDeskName);
  }
}

TEST(Settings, SwappedKeysAndDeskNameFlag) {
  const Dword enter(kEnter), n(kN), off(0), two(2);
  const SettingValue swapped[] = {{L"switch key", 4, enter.bytes, 4}, {L"switch key 2", 4, n.bytes, 4},
                                  {L"show desk name", 4, off.bytes, 4}};
  Settings s = ParseSettings(swapped, 3);
  EXPECT_EQ(s.keys[kSwitchKey], kEnter);
  EXPECT_EQ(s.keys[kSwitchKey2], kN);
  EXPECT_FALSE(s.showDeskName);
  const SettingValue bad[] = {{L"show desk name", 4, two.bytes, 4}, {L"hide key", 4, nullptr, 9}};
  s = ParseSettings(bad, 2);
  EXPECT_TRUE(s.showDeskName);
  EXPECT_EQ(s.rejected, 16u | 4u);
  EXPECT_EQ(s.keys[kHideKey], kH);
}

TEST(Settings, FixedKeyNames) {
  EXPECT_STREQ(HotKeyName(kN).c_str(), "Ctrl+Alt+N");
  EXPECT_STREQ(HotKeyName(kEnter).c_str(), "Ctrl+Alt+Enter");
  EXPECT_STREQ(HotKeyName((15u << 16) | 0x87).c_str(), "Ctrl+Alt+Shift+Win+F24");
  EXPECT_STREQ(HotKeyName((8u << 16) | 0x22).c_str(), "Win+PgDn");
  EXPECT_STREQ(HotKeyName(kCtrlAlt | 0xC0).c_str(), "Ctrl+Alt+0xC0");
  EXPECT_STREQ(HotKeyName(0).c_str(), "");
  Settings s = ParseSettings(nullptr, 0);
  EXPECT_STREQ(SwitchKeyNames(s).c_str(), "Ctrl+Alt+N / Ctrl+Alt+Enter");
  s.keys[kSwitchKey] = 0;
  EXPECT_STREQ(SwitchKeyNames(s).c_str(), "Ctrl+Alt+Enter");
}
