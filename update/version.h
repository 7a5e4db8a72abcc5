// Version texts are opaque byte strings, compared the way the update check needs (pure logic).
#pragma once

// The program's own version; a fresh state record carries the same text.
inline constexpr char kProgramVersion[] = "2.22";

// True when `announced` sorts after `own`: the first differing byte decides, compared unsigned,
// and a proper prefix is the smaller. So "2.3" is newer than "2.22", "10.0" is not, "2.22a" is.
// A null text counts as empty.
bool IsNewerVersion(const char* announced, const char* own);
