// The downloaded update file: its elements, and folding them into the state record (pure logic).
// The file is code page 936 text holding "<TOLVA_UPDATA>", "</TOLVA_UPDATA>" and the elements
// <ver>, <message> and <md5size>; every tag is searched in the whole text, so nesting and order
// are not checked.
#pragma once
#include <cstddef>

#include "state/record_format.h"
#include "win/fixed_text.h"

// The values last parsed. Keep one instance for the whole process: an element missing from a
// file leaves the value of an earlier parse (empty at first).
struct UpdateElements {
  char updVer[kFieldCapacity] = {};
  char updMessage[kMessageCapacity] = {};
  char updMd5size[kFieldCapacity] = {};
};

// Parses the len bytes at text. Without both outer tags, reports the format-error line and
// returns false with nothing changed. Otherwise takes each element it finds (the first
// occurrence; values cut at a character boundary to fit), reports lines such as
// "_tolva_UPDATA:goahead<ver>failed\r\n" for a missing ver or message tag (none for md5size), and
// returns true.
[[nodiscard]] bool ParseUpdateText(const char* text, std::size_t len, UpdateElements& elements, const LineSink& log);

// After a successful parse: r_ver, r_message and r_md5size take the parsed values and
// r_lastupdata takes today's date ("YYYYMMDD"), whether or not each element was found. The
// caller then stores and reloads the record.
void ApplyUpdate(const UpdateElements& elements, const char* today, RecordFields& fields);

// The log line for the (reloaded) message: the message and "\r\n" in 1023 bytes, the message cut
// at a character boundary when both would not fit.
constexpr std::size_t kMessageLineCapacity = 1024;
using MessageLine = win::Text<kMessageLineCapacity>;
MessageLine FormatMessageLine(const char* message);
