// Small, deliberately naive re-statements of the record and update-file rules, written with
// std::string so the fuzzers can compare the pointer-walking code against them on any input.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "state/record_format.h"

// A broken rule is a crash, so libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "rule broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace ref {

using Lines = std::vector<std::string>;

// A sink that appends to `lines`; pass it straight to the call, which the sink refers to it for.
struct Collect {
  explicit Collect(Lines& into) : lines(into) {}
  void operator()(const char* line) const { lines.emplace_back(line); }
  Lines& lines;
};

// In code page 936 a byte 0x81..0xFE opens a two-byte character; a lead byte that is the last
// byte of the text stands alone.
inline bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Every character boundary of s, 0 and s.size() included.
inline std::vector<std::size_t> Boundaries(const std::string& s) {
  std::vector<std::size_t> at{0};
  std::size_t i = 0;
  while (i < s.size()) {
    i += (IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    at.push_back(i);
  }
  return at;
}

// The longest prefix of s at a character boundary that is at most maxBytes long.
inline std::string CutAtBoundary(const std::string& s, std::size_t maxBytes) {
  std::size_t best = 0;
  for (std::size_t b : Boundaries(s))
    if (b <= maxBytes) best = b;
  return s.substr(0, best);
}

struct Element {
  bool found = false;
  std::string value;    // cut to the capacity, as stored
  std::string missing;  // the tag that was not found
};

// First "<name>" anywhere, then the first "</name>" after it.
inline Element Find(const std::string& text, const std::string& name, std::size_t capacity) {
  Element e;
  const std::string open = "<" + name + ">";
  const std::string close = "</" + name + ">";
  const std::size_t at = text.find(open);
  if (at == std::string::npos) {
    e.missing = open;
    return e;
  }
  const std::size_t from = at + open.size();
  const std::size_t to = text.find(close, from);
  if (to == std::string::npos) {
    e.missing = close;
    return e;
  }
  e.found = true;
  e.value = CutAtBoundary(text.substr(from, to - from), capacity - 1);
  return e;
}

// The bytes of a field up to and including its terminator equal value and a NUL.
inline bool Holds(const char* field, const std::string& value) {
  return std::memcmp(field, value.data(), value.size()) == 0 && field[value.size()] == '\0';
}

inline bool Terminated(const char* field, std::size_t capacity) {
  return std::memchr(field, '\0', capacity) != nullptr;
}

// "%d" with the value clamped to int: blanks, an optional sign, digits. No digits, no number.
inline bool ReadCounter(const std::string& text, int& counter) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value <= INT_MAX + 1LL) value = value * 10 + (text[i] - '0');
  if (negative) value = -value;
  counter = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
  return true;
}

// What loading a record whose plain text is `plain` must do to `fields` and the log.
inline void ExtractRecord(const std::string& plain, RecordFields& fields, Lines& lines) {
  const std::string op = "_tolva_Reg_GET";
  auto take = [&](const char* name, char* dest, std::size_t capacity) {
    const Element e = Find(plain, name, capacity);
    if (!e.found) {
      lines.push_back(op + ":goahead" + e.missing + "failed\r\n");
      return false;
    }
    std::memcpy(dest, e.value.data(), e.value.size());
    dest[e.value.size()] = '\0';
    return true;
  };
  if (take("r_time", fields.r_time_text, kFieldCapacity))
    ReadCounter(std::string(fields.r_time_text), fields.r_time);
  take("r_ver", fields.r_ver, kFieldCapacity);
  take("r_message", fields.r_message, kMessageCapacity);
  take("r_md5size", fields.r_md5size, kFieldCapacity);
  take("r_lastupdata", fields.r_lastupdata, kFieldCapacity);
}

// Field by field, each text compared up to its terminator.
inline bool SameFields(const RecordFields& a, const RecordFields& b) {
  return a.r_time == b.r_time && std::strcmp(a.r_time_text, b.r_time_text) == 0 &&
         std::strcmp(a.r_lastupdata, b.r_lastupdata) == 0 && std::strcmp(a.r_ver, b.r_ver) == 0 &&
         std::strcmp(a.r_message, b.r_message) == 0 && std::strcmp(a.r_md5size, b.r_md5size) == 0;
}

inline bool AllTerminated(const RecordFields& f) {
  return Terminated(f.r_time_text, kFieldCapacity) && Terminated(f.r_lastupdata, kFieldCapacity) &&
         Terminated(f.r_ver, kFieldCapacity) && Terminated(f.r_message, kMessageCapacity) &&
         Terminated(f.r_md5size, kFieldCapacity);
}

// Fields that differ from every default and from each other, so "left alone" is visible.
inline RecordFields Marked() {
  RecordFields f;
  f.r_time = -77;
  std::strcpy(f.r_time_text, "keep-time");
  std::strcpy(f.r_lastupdata, "keep-last");
  std::strcpy(f.r_ver, "keep-ver");
  std::strcpy(f.r_message, "keep-message");
  std::strcpy(f.r_md5size, "keep-md5");
  return f;
}

}  // namespace ref
