// Version texts are opaque byte strings, compared the way the update check needs (pure logic).
#pragma once
#include <cstring>

// The program's own version, "major.minor": the banner, a fresh state record, the version resource,
// the manifest and the release's file names all take it from here (cmake/version.cmake reads it).
#define TOLVA_VERSION "2.22"
inline constexpr char kProgramVersion[] = TOLVA_VERSION;

// True when `announced` sorts after `own`: the first differing byte decides, compared unsigned,
// and a proper prefix is the smaller. So "2.3" is newer than "2.22", "10.0" is not, "2.22a" is.
// A null text counts as empty.
inline bool IsNewerVersion(const char* announced, const char* own) {
  // strcmp compares bytes as unsigned char and ranks a proper prefix first.
  return std::strcmp(announced ? announced : "", own ? own : "") > 0;
}
