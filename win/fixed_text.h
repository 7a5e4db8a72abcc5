// A text in a fixed buffer: the capacity is part of the type, the text is always terminated, and
// appending or formatting past the end cuts the text instead of overflowing or allocating. Holds
// code page 936 bytes (FixedText<char, N>) or UTF-16 (FixedText<wchar_t, N>); the conversions
// between the two are in win/text.h. No <windows.h>: pure code uses it as well.
#pragma once
#include <cstdarg>
#include <cstddef>

// Formats follow the C runtime's printf: the Windows program uses the system's own (msvcrt).
#ifdef _WIN32
#define TOLVA_PRINTF(format_index, first_arg) __attribute__((format(ms_printf, format_index, first_arg)))
#else
#define TOLVA_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#endif

namespace win {

// Length of the longest prefix of the n bytes at `text` that is at most `maxBytes` long and does
// not split a code page 936 character: a byte 0x81..0xFE opens a two-byte character, unless it is
// the last of the n bytes. Every cut of a narrow text keeps to this rule.
std::size_t Cp936PrefixLength(const char* text, std::size_t n, std::size_t maxBytes);

// printf into out[capacity], cut to capacity - 1 units and always terminated (capacity > 0).
// Returns the length written.
std::size_t FormatInto(char* out, std::size_t capacity, const char* format, va_list args);
std::size_t FormatInto(wchar_t* out, std::size_t capacity, const wchar_t* format, va_list args);

template <typename Char, std::size_t N>
class FixedText {
  static_assert(N > 0, "room for the terminator");

 public:
  FixedText() = default;
  explicit FixedText(const Char* text) { Append(text); }

  const Char* c_str() const { return text_; }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }
  static constexpr std::size_t capacity() { return N - 1; }  // units, terminator excluded

  void clear() { Truncate(0); }
  // Shortens the text to at most `length` units.
  void Truncate(std::size_t length) {
    if (length < length_) length_ = length;
    text_[length_] = Char();
  }

  // Appends at most `n` units of `text` (stopping at its terminator), cut at the capacity.
  FixedText& Append(const Char* text, std::size_t n = static_cast<std::size_t>(-1)) {
    if (!text) return *this;
    for (std::size_t i = 0; i < n && text[i] && length_ < N - 1; ++i) text_[length_++] = text[i];
    text_[length_] = Char();
    return *this;
  }

  // Replaces the text with the printf result, cut at the capacity.
  FixedText& FormatV(const Char* format, va_list args) {
    length_ = FormatInto(text_, N, format, args);
    return *this;
  }

  // For a platform call that fills the buffer: at most capacity() units and a terminator go to
  // Buffer(); then SetLength(units written).
  Char* Buffer() { return text_; }
  void SetLength(std::size_t length) {
    length_ = length < N - 1 ? length : N - 1;
    text_[length_] = Char();
  }

 private:
  Char text_[N] = {};
  std::size_t length_ = 0;
};

// Code page 936 text of up to N - 1 bytes.
template <std::size_t N>
class Text : public FixedText<char, N> {
 public:
  using FixedText<char, N>::FixedText;
  Text& Format(const char* format, ...) TOLVA_PRINTF(2, 3) {
    va_list args;
    va_start(args, format);
    this->FormatV(format, args);
    va_end(args);
    return *this;
  }
  // Shortens the text to at most `maxBytes`, never splitting a two-byte character.
  void CutAt(std::size_t maxBytes) { this->Truncate(Cp936PrefixLength(this->c_str(), this->size(), maxBytes)); }
};

// UTF-16 text of up to N - 1 units.
template <std::size_t N>
class WideText : public FixedText<wchar_t, N> {
 public:
  using FixedText<wchar_t, N>::FixedText;
  WideText& Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    this->FormatV(format, args);
    va_end(args);
    return *this;
  }
};

}  // namespace win

// Bounding texts to a system record's fixed fields, such as the tray's.
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
