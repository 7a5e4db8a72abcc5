// Bounding texts to the tray record's fixed fields (pure logic).
#pragma once
#include <cstddef>

// How many UTF-16 units of an n-unit text fit a field of `capacity` units with its terminator,
// never ending on the first half of a surrogate pair.
template <typename Unit>
std::size_t FieldLength(const Unit* text, std::size_t n, std::size_t capacity) {
  if (!text || capacity == 0) return 0;
  if (n < capacity) return n;
  std::size_t kept = capacity - 1;
  if (kept > 0 && text[kept - 1] >= 0xD800 && text[kept - 1] <= 0xDBFF) --kept;
  return kept;
}
