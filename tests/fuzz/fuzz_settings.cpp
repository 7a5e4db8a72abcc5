// The settings parser on any values: bytes split into values of (name length, name, type, size,
// data). Checked: every key in effect is usable or none, no two actions share a key.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "state/settings.h"
#include "tests/fuzz/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::wstring> names;
  std::vector<SettingValue> values;
  names.reserve(size);
  std::size_t i = 0;
  while (i + 3 <= size) {
    const std::size_t nameLength = data[i] % 16, type = data[i + 1] % 8, length = data[i + 2] % 8;
    i += 3;
    if (i + nameLength + length > size) break;
    names.emplace_back(data + i, data + i + nameLength);
    i += nameLength;
    values.push_back({names.back().c_str(), type, data + i, length});
    i += length;
  }
  const Settings s = ParseSettings(values.data(), values.size());
  for (int a = 0; a < kKeyActionCount; ++a) {
    const HotKeyCode key = s.keys[a];
    FUZZ_CHECK(key == 0 || ((key >> 16) & ~0xFu) == 0);
    FUZZ_CHECK(key == 0 || ((key >> 16) & 0xBu) != 0);
    FUZZ_CHECK(key == 0 || (key & 0xFFFF) != 0x7B);
    for (int b = 0; b < a; ++b) FUZZ_CHECK(key == 0 || key != s.keys[b]);
    FUZZ_CHECK(HotKeyName(key).empty() == (key == 0));
  }
  FUZZ_CHECK(s.rejected < 32u);
  return 0;
}
