// The first copy's start-up check of its own program file, and today's date.
#pragma once
#include "win/fixed_text.h"

extern win::Text<16> todayStr;  // "YYYYMMDD", local date of this start

// True when the program file could be read whole and holds 1024 .. 1048576 bytes; false (after a
// log line when the read came up short) otherwise: the caller ends the start-up.
[[nodiscard]] bool CheckOwnFile();
void make_today_string();
