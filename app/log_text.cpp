#include "app/log_text.h"

std::size_t BoundedTextLength(const char* text, std::size_t maxBytes) {
  if (!text) return 0;
  std::size_t n = 0;
  while (text[n]) {
    const unsigned char lead = static_cast<unsigned char>(text[n]);
    // In code page 936 a byte from 0x81 to 0xFE opens a two-byte character.
    const std::size_t step = (lead >= 0x81 && lead <= 0xFE && text[n + 1]) ? 2 : 1;
    if (n + step > maxBytes) break;
    n += step;
  }
  return n;
}
