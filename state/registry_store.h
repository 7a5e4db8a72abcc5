// The state record in the registry: ensured, loaded, counted and stored by the first copy; and
// the start-up check of the program's own file, which also takes today's date.
#pragma once
#include "state/record_format.h"
#include "state/settings.h"
#include "win/fixed_text.h"

// The process's record fields. Used by the UI thread at start-up and by the update worker ten
// seconds later, never at the same time.
extern RecordFields gRecord;

int make_software_main_key();
void ensure_state_record();
void _5_Reg_PUT();
void _tolva_Reg_GET();

// The start-up sequence: ensure, load, count this start, store.
void CountStartInRecord();

// The first copy's start-up check of its own program file, and today's date.
extern win::Text<16> todayStr;  // "YYYYMMDD", local date of this start

// What the check found. The start goes on only after Accepted; the window tells of the two
// failures that carry a line of their own.
enum class OwnFileVerdict {
  Accepted,    // read whole and 1024 .. 1048576 bytes long; todayStr is set
  NoPath,      // the program's own path could not be had whole (`error` says why)
  Unreadable,  // no memory for it, or it could not be opened or measured
  WrongSize,   // outside 1024 .. 1048576 bytes
  ShortRead,   // fewer bytes came than the file holds
};
struct OwnFileCheck {
  OwnFileVerdict verdict;
  unsigned long error;  // the system's error code for NoPath, else 0
};
[[nodiscard]] OwnFileCheck CheckOwnFile();
void make_today_string();

// The user's settings as they stand in the registry now; absent key or values give the defaults.
Settings ReadSettings();
