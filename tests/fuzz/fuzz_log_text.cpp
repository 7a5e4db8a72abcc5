// Cutting a narrow text on any bytes, the rule every log line, record value and conversion keeps.
// Input: two bytes choosing the bound (0..2047), then the text up to its first NUL. Checked
// against the log's bound of 1023 as well: the result is within the bound and the text, ends on
// a character boundary (lead bytes 0x81..0xFE open a two-byte character, a lead that is the last
// byte stands alone), is the longest such prefix, and grows with the bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "services/log_queue.h"
#include "tests/fuzz/reference.h"
#include "win/fixed_text.h"

namespace {

std::size_t Cut(const std::string& text, std::size_t maxBytes) {
  return win::Cp936PrefixLength(text.data(), text.size(), maxBytes);
}

void Check(const std::string& text, std::size_t maxBytes) {
  const std::size_t n = Cut(text, maxBytes);
  FUZZ_CHECK(n <= maxBytes && n <= text.size());

  const std::vector<std::size_t> boundaries = ref::Boundaries(text);
  std::size_t longest = 0;
  for (std::size_t b : boundaries)
    if (b <= maxBytes) longest = b;
  FUZZ_CHECK(n == longest);

  // The kept prefix cuts to itself, and a larger bound never keeps less.
  FUZZ_CHECK(Cut(text.substr(0, n), maxBytes) == n);
  FUZZ_CHECK(Cut(text, maxBytes + 1) >= n);
  if (maxBytes > 0) FUZZ_CHECK(Cut(text, maxBytes - 1) <= n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t maxBytes = (data[0] | (data[1] << 8)) % 2048;
  const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string text = bytes.substr(0, bytes.find('\0'));  // as the log sees it

  Check(text, maxBytes);
  Check(text, kLogTextMaxBytes);
  FUZZ_CHECK(Cut(text, text.size()) == text.size());
  return 0;
}
