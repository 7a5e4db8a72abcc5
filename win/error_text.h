// The system's own words for an error code, for any layer's report line.
#pragma once
#include <windows.h>

#include "win/fixed_text.h"

// The system's text for an error code (code page 936), cut to fit a log line.
win::Text<1024> ReasonText(DWORD error);
