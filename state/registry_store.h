// The state record in the registry: ensured, loaded, counted and stored by the first copy.
#pragma once
#include "state/record_format.h"

// The process's record fields. Used by the UI thread at start-up and by the update worker ten
// seconds later, never at the same time.
extern RecordFields record;

int make_software_main_key();
void ensure_state_record();
void _5_Reg_PUT();
void _tolva_Reg_GET();

// The start-up sequence: ensure, load, count this start, store.
void CountStartInRecord();
