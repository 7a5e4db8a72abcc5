// The role test on any wide command line. Input bytes below 0x80 are characters of their own; a
// byte from 0x80 takes the next two bytes as one UTF-16 unit (little-endian), so seeds stay
// readable and every unit can still occur. A NUL unit ends the line, as it would in the program.
// Checked: the tail is a suffix of the line that starts after the program path as written
// (quoted or plain) and its blanks, and the second-copy role is chosen exactly when the first
// 1023 characters of the tail hold "makedesktop".
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/role.h"
#include "tests/fuzz/reference.h"

namespace {

std::wstring Decode(const std::uint8_t* data, std::size_t size) {
  std::wstring line;
  for (std::size_t i = 0; i < size;) {
    wchar_t unit = data[i++];
    if (unit >= 0x80) {
      if (i + 2 > size) break;
      unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
      i += 2;
    }
    if (unit == L'\0') break;
    line.push_back(unit);
  }
  return line;
}

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Where the program path and the blanks after it end, stated as the shape of what is skipped.
bool SkipsOnlyPathAndBlanks(const std::wstring& line, std::size_t at) {
  std::size_t i = 0;
  if (!line.empty() && line[0] == L'"') {
    const std::size_t quote = line.find(L'"', 1);
    i = quote == std::wstring::npos ? line.size() : quote + 1;
  } else {
    while (i < line.size() && !Blank(line[i])) ++i;
  }
  while (i < line.size() && Blank(line[i])) ++i;
  return i == at;
}

void CheckSelection(const wchar_t* tail, std::size_t tailLength) {
  const std::wstring kept(tail, tailLength < kArgTailCapacity - 1 ? tailLength : kArgTailCapacity - 1);
  FUZZ_CHECK(SelectsSecondCopy(tail) == (kept.find(L"makedesktop") != std::wstring::npos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring line = Decode(data, size);
  const wchar_t* tail = ArgumentTail(line.c_str());
  FUZZ_CHECK(tail >= line.c_str() && tail <= line.c_str() + line.size());
  const std::size_t at = static_cast<std::size_t>(tail - line.c_str());
  FUZZ_CHECK(SkipsOnlyPathAndBlanks(line, at));
  FUZZ_CHECK(at == line.size() || !Blank(*tail));

  CheckSelection(tail, line.size() - at);
  // The whole line too: a tail is only ever tested through this bounded copy.
  CheckSelection(line.c_str(), line.size());

  // The first copy starts the second with " makedesktop desk new 1" after the program path;
  // whatever path precedes it, the role must come out as second copy.
  if (line.size() < 512 && line.find(L'"') == std::wstring::npos) {
    const std::wstring started = L"\"" + line + L"\" makedesktop desk new 1";
    FUZZ_CHECK(SelectsSecondCopy(ArgumentTail(started.c_str())));
  }
  return 0;
}
