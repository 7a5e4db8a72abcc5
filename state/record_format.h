// The state record kept across runs: its fields, its plain text form, the tag search, and the
// conversions between the fields and the stored (enciphered) registry value. Pure logic; the
// registry calls and the log window are the caller's.
#pragma once
#include <cstddef>
#include <type_traits>

#include "win/fixed_text.h"

// Capacities, terminator included.
constexpr std::size_t kFieldCapacity = 128;
constexpr std::size_t kMessageCapacity = 1024;
// The plain text travels in a 1024-byte buffer and gains ten padding bytes when enciphered, and
// the stored value must fit the 1024 bytes a read offers.
constexpr std::size_t kRecordTextCapacity = 1024;
constexpr std::size_t kRecordTextMax = 1014;
constexpr std::size_t kRecordValueMax = 1024;

struct RecordFields {
  int r_time = 0;                           // start counter
  char r_time_text[kFieldCapacity] = {};    // the digits last read from <r_time>
  char r_lastupdata[kFieldCapacity] = {};   // YYYYMMDD of the last update check
  char r_ver[kFieldCapacity] = {};          // version announced by the last update file
  char r_message[kMessageCapacity] = {};    // its message
  char r_md5size[kFieldCapacity] = {};      // its md5size
};

// A fresh record: 1, "20080101", the program's version (TOLVA_VERSION), "hello!", "null". r_ver is the
// program's own version, so a fresh record never announces a newer one.
void SetRecordDefaults(RecordFields& fields);

// Receives each diagnostic line (code page 936, ending in "\r\n") for the log window; an empty
// sink drops them. A plain function, or any callable object, which is referred to and not copied:
// it must outlive the call that the sink is passed to.
class LineSink {
 public:
  LineSink() = default;
  // Converts implicitly, so a function or a lambda is passed where a sink is asked for.
  // cppcheck-suppress noExplicitConstructor
  LineSink(void (*function)(const char* line)) : function_(function) {}
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, LineSink> &&
                                                    !std::is_function_v<std::remove_reference_t<F>>>>
  // cppcheck-suppress noExplicitConstructor
  LineSink(F&& callable)
      : object_(const_cast<void*>(static_cast<const void*>(&callable))),
        thunk_([](void* object, const char* line) { (*static_cast<std::remove_reference_t<F>*>(object))(line); }) {}

  explicit operator bool() const { return function_ || thunk_; }
  void operator()(const char* line) const {
    if (thunk_)
      thunk_(object_, line);
    else if (function_)
      function_(line);
  }

 private:
  void (*function_)(const char*) = nullptr;
  void* object_ = nullptr;
  void (*thunk_)(void*, const char*) = nullptr;
};

// Searches [cursor, end) for `tag`. On a match moves cursor to the tag's first byte and returns
// the first byte after it; otherwise returns nullptr and leaves cursor alone. Only bytes inside
// the range are read, so a match lies wholly inside it.
const char* find_tag(const char*& cursor, const char* tag, const char* end);

// Copies [from, to) into dest[capacity] with a NUL, cut at a character boundary to capacity - 1.
void CopyBoundedValue(char* dest, std::size_t capacity, const char* from, const char* to);

// The plain record text, at most kRecordTextMax bytes. When the whole would be longer, only r_message is shortened in the text (the
// fields stay as they are); the other values are short enough that this always suffices.
using RecordText = win::Text<kRecordTextCapacity>;
RecordText FormatRecordText(const RecordFields& fields);

// Finds the first "<name>" in [begin, end) and the first "</name>" after it and copies the bytes
// between them into dest as CopyBoundedValue does; returns true then. When a tag is missing, dest
// is left alone, `operation` ":goahead" tag "failed\r\n" goes to log (when log is set), and the
// result is false. name is a short tag name such as "r_ver".
bool ExtractElement(const char* begin, const char* end, const char* name, char* dest, std::size_t capacity,
                    const char* operation, const LineSink& log);

// Formats and enciphers the record into `value`, returning the byte count to store (at most
// kRecordValueMax). The last (count mod 8) bytes are not written by the cipher: they keep what
// `value` held, so a caller that keeps one buffer for the whole process reproduces earlier stores.
std::size_t EncipherRecord(const RecordFields& fields, unsigned char (&value)[kRecordValueMax]);

// Extracts r_time, r_ver, r_message, r_md5size and r_lastupdata, in that order, from the n bytes
// of plain text. Each tag is searched from the start, so element order does not matter and the
// first occurrence wins. A missing opening or closing tag leaves the field alone and reports
// "_tolva_Reg_GET:goahead<T>failed\r\n" or "...</T>failed\r\n". A value longer than its field's
// capacity - 1 is cut. The r_time digits are read like "%d"; no number leaves r_time alone.
void ExtractRecordFields(const char* plain, std::size_t n, RecordFields& fields, const LineSink& log);

// Deciphers a raw registry value of `size` bytes and extracts the fields from it. A value larger
// than kRecordValueMax is refused: returns false, reports "_tolva_Reg_GET:读取注册表失败\r\n" and
// changes nothing. Bytes of a last partial block are not deciphered and read as NUL, so no tag is
// found among them.
bool LoadRecordValue(const unsigned char* value, std::size_t size, RecordFields& fields, const LineSink& log);
