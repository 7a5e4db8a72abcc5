// The registry record reader on any stored value: a value over 1024 bytes is refused, anything
// else is deciphered and its fields taken exactly as the naive reference takes them. The same
// bytes are also read as a plain record (enciphered here first), which lets the fuzzer reach the
// tag search, and whatever was loaded must store again within the record's bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "state/cipher.h"
#include "state/record_format.h"
#include "tests/fuzz/reference.h"

namespace {

// What LoadRecordValue must give for a value whose deciphered full blocks are `plain`.
void CheckLoad(const unsigned char* value, std::size_t size, const std::string& plain) {
  RecordFields got = ref::Marked();
  ref::Lines lines;
  FUZZ_CHECK(LoadRecordValue(value, size, got, ref::Collect(lines)));
  FUZZ_CHECK(ref::AllTerminated(got));

  RecordFields want = ref::Marked();
  ref::Lines wantLines;
  ref::ExtractRecord(plain, want, wantLines);
  FUZZ_CHECK(ref::SameFields(got, want));
  FUZZ_CHECK(lines == wantLines);
}

// The plain text the reader sees: full blocks deciphered, a last partial block as NUL bytes.
std::string Decipher(const unsigned char* value, std::size_t size) {
  std::string plain(size, '\0');
  for (std::size_t at = 0; at + 8 <= size; at += 8)
    des_block(reinterpret_cast<unsigned char*>(&plain[at]), value + at, 1);
  return plain;
}

// Loaded fields store within bounds and read back as their own plain text says.
void CheckStoreAgain(const RecordFields& fields) {
  const RecordText text = FormatRecordText(fields);
  const std::size_t length = text.size();
  FUZZ_CHECK(length <= kRecordTextMax && length == std::strlen(text.c_str()));
  unsigned char value[kRecordValueMax];
  const std::size_t stored = EncipherRecord(fields, value);
  FUZZ_CHECK(stored == length + kCipherPadBytes && stored <= kRecordValueMax);
  CheckLoad(value, stored, Decipher(value, stored));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kRecordValueMax) {
    RecordFields got = ref::Marked();
    ref::Lines lines;
    FUZZ_CHECK(!LoadRecordValue(data, size, got, ref::Collect(lines)));
    FUZZ_CHECK(ref::SameFields(got, ref::Marked()));
    FUZZ_CHECK(lines.size() == 1 && lines[0].rfind("_tolva_Reg_GET:", 0) == 0);
    return 0;
  }

  // The bytes as the stored value.
  CheckLoad(data, size, Decipher(data, size));

  // The bytes as the plain text of a stored value.
  unsigned char value[kRecordValueMax];
  std::memset(value, 0xA5, sizeof value);
  for (std::size_t at = 0; at + 8 <= size; at += 8) des_block(value + at, data + at, 0);
  std::string plain(reinterpret_cast<const char*>(data), size);
  std::memset(&plain[size - size % 8], 0, size % 8);
  CheckLoad(value, size, plain);

  RecordFields loaded = ref::Marked();
  LoadRecordValue(value, size, loaded, LineSink());
  CheckStoreAgain(loaded);
  return 0;
}
