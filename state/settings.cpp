#include "state/settings.h"

const char* const kSettingNames[kSettingCount] = {"switch key", "switch key 2", "hide key", "exit key",
                                                   "show desk name"};

namespace {

constexpr unsigned long kRegDword = 4;
constexpr unsigned kVkF12 = 0x7B;
constexpr HotKeyCode kDefaults[kKeyActionCount] = {kCtrlAlt | 'N', kCtrlAlt | 0x0D, kCtrlAlt | 'H', kCtrlAlt | 'K'};

// Registry names do not tell case apart.
bool SameName(const wchar_t* name, const char* known) {
  for (; *known; ++name, ++known) {
    wchar_t c = *name;
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    const unsigned want = static_cast<unsigned char>(*known);
    if (static_cast<unsigned>(c) != want) return false;
  }
  return *name == 0;
}

bool ReadDword(const SettingValue& value, std::uint32_t* out) {
  if (value.type != kRegDword || value.size != 4 || !value.data) return false;
  *out = value.data[0] | value.data[1] << 8 | value.data[2] << 16 | static_cast<std::uint32_t>(value.data[3]) << 24;
  return true;
}

bool Taken(const HotKeyCode* keys, int before, HotKeyCode key) {
  for (int i = 0; i < before; ++i)
    if (keys[i] == key) return true;
  return false;
}

// A key the program can hold: a real key code, known modifiers with one of Ctrl, Alt and Win, and
// not F12, which the system keeps for debuggers.
bool UsableKey(HotKeyCode key) {
  const unsigned vk = key & 0xFFFF;
  const unsigned mods = key >> 16;
  return vk != 0 && vk <= 0xFE && (mods & ~0xFu) == 0 && (mods & 0xBu) != 0 && vk != kVkF12;
}

const char* FixedKeyName(unsigned vk, char* digit) {
  switch (vk) {
    case 0x0D: return "Enter";
    case 0x20: return "Space";
    case 0x21: return "PgUp";
    case 0x22: return "PgDn";
    case 0x23: return "End";
    case 0x24: return "Home";
    case 0x25: return "Left";
    case 0x26: return "Up";
    case 0x27: return "Right";
    case 0x28: return "Down";
    case 0x2D: return "Insert";
  }
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    digit[0] = static_cast<char>(vk);
    digit[1] = 0;
    return digit;
  }
  return nullptr;
}

}  // namespace

Settings ParseSettings(const SettingValue* values, std::size_t count) {
  const SettingValue* found[kSettingCount] = {};
  for (std::size_t i = 0; i < count; ++i)
    for (int k = 0; k < kSettingCount; ++k)
      if (values[i].name && !found[k] && SameName(values[i].name, kSettingNames[k])) found[k] = &values[i];

  Settings settings{{}, true, 0};
  for (int k = 0; k < kKeyActionCount; ++k) {
    std::uint32_t key = 0;
    const bool present = found[k] != nullptr;
    const bool good = present && ReadDword(*found[k], &key) && (key == 0 || UsableKey(key)) &&
                      (key == 0 || !Taken(settings.keys, k, key));
    if (present && !good) settings.rejected |= 1u << k;
    if (!good) key = Taken(settings.keys, k, kDefaults[k]) ? 0 : kDefaults[k];
    settings.keys[k] = key;
  }
  if (const SettingValue* show = found[kShowDeskName]) {
    std::uint32_t flag = 0;
    if (ReadDword(*show, &flag) && flag <= 1)
      settings.showDeskName = flag == 1;
    else
      settings.rejected |= 1u << kShowDeskName;
  }
  return settings;
}

win::Text<40> HotKeyName(HotKeyCode key) {
  win::Text<40> name;
  const unsigned vk = key & 0xFFFF;
  const unsigned mods = key >> 16;
  if (key == 0) return name;
  if (mods & 2) name.Append("Ctrl+");
  if (mods & 1) name.Append("Alt+");
  if (mods & 4) name.Append("Shift+");
  if (mods & 8) name.Append("Win+");
  char digit[2];
  if (const char* fixed = FixedKeyName(vk, digit)) {
    name.Append(fixed);
  } else if (vk >= 0x70 && vk <= 0x87) {
    win::Text<8> f;
    name.Append(f.Format("F%u", vk - 0x6F).c_str());
  } else {
    win::Text<8> code;
    name.Append(code.Format("0x%02X", vk).c_str());
  }
  return name;
}

win::Text<96> SwitchKeyNames(const Settings& settings) {
  win::Text<96> names(HotKeyName(settings.keys[kSwitchKey]).c_str());
  const win::Text<40> second = HotKeyName(settings.keys[kSwitchKey2]);
  if (!names.empty() && !second.empty()) names.Append(" / ");
  names.Append(second.c_str());
  return names;
}
