// The user's settings under HKEY_CURRENT_USER\Software\qz57tolva2\settings: the four hot keys and
// whether a switch shows the desktop's name, parsed and checked, and the fixed names of keys.
#pragma once
#include <cstddef>
#include <cstdint>

#include "win/fixed_text.h"

// The actions with a key, in the order their values are read.
enum KeyAction { kSwitchKey, kSwitchKey2, kHideKey, kExitKey, kKeyActionCount };
constexpr int kShowDeskName = kKeyActionCount;  // index of the fifth value
constexpr int kSettingCount = kKeyActionCount + 1;

// Value names, in the order they are read.
extern const char* const kSettingNames[kSettingCount];

// A key: low word the virtual-key code, high word the RegisterHotKey modifiers (Alt 1, Ctrl 2,
// Shift 4, Win 8). 0 is no key.
using HotKeyCode = std::uint32_t;
constexpr HotKeyCode kCtrlAlt = 3u << 16;

// One value as the registry gave it: name, type and bytes (data may be null when size says the
// value was too long to read).
struct SettingValue {
  const wchar_t* name;
  unsigned long type;
  const unsigned char* data;
  std::size_t size;
};

struct Settings {
  HotKeyCode keys[kKeyActionCount];
  bool showDeskName;
  unsigned rejected;  // bit i: the value kSettingNames[i] was there and ignored
};

// The settings in effect for these values. A bad value keeps its action's default, or no key when
// an earlier action has that key already; unknown names are ignored.
Settings ParseSettings(const SettingValue* values, std::size_t count);

// "Ctrl+Alt+N": the modifiers as Ctrl+Alt+Shift+Win, then the key's fixed name (never a
// localised one); a key outside the table by its code, "0xC0". Empty for no key.
win::Text<40> HotKeyName(HotKeyCode key);
// The two switch keys' names joined by " / ", or the one there is.
win::Text<96> SwitchKeyNames(const Settings& settings);
