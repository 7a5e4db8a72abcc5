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

// Whether the single-instance marker shows a running first copy: it existed already, or it exists
// but is closed to this start (an elevated copy created it and a normal start cannot open it).
// `error` is the last error right after the create call.
bool MarkerShowsRunningCopy(bool markerOpened, unsigned long error);
