// Which of the three roles a start plays is read from its command line (pure logic).
#pragma once
#include <cstddef>

// The argument tail is tested in a copy of this many characters, terminator included;
// a longer tail is cut, which never hides the word from a normal command line.
constexpr std::size_t kArgTailCapacity = 1024;

// The command line without the program's own path (quoted or not) and the blanks after it.
const wchar_t* ArgumentTail(const wchar_t* commandLine);

// True when the (bounded) tail contains "makedesktop" anywhere, case-sensitive.
bool SelectsSecondCopy(const wchar_t* argTail);

// What the single-instance marker says about this start. `error` is the last error right after
// the create call.
enum class MarkerVerdict {
  FirstCopy,    // created anew
  RunningCopy,  // it existed already, or exists but is closed to this start (an elevated copy's)
  // The name is held as another kind of object: whether a first copy runs cannot be told, and
  // running as one could make a second. The start stops.
  NameTaken,
};
MarkerVerdict ReadMarker(bool markerOpened, unsigned long error);
