#include "state/record_format.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "state/cipher.h"
#include "version/version.h"
#include "win/fixed_text.h"

namespace {
// strlen that stops after `limit` bytes.
std::size_t BoundedLength(const char* text, std::size_t limit) {
  const void* nul = std::memchr(text, '\0', limit);
  return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : limit;
}

void CopyText(char* dest, std::size_t capacity, const char* text) {
  CopyBoundedValue(dest, capacity, text, text + std::strlen(text));
}

// Reads the value like "%d"; with no number the counter keeps its value.
void ParseCounter(const char* text, int& counter) {
  char* stop = nullptr;
  const long value = std::strtol(text, &stop, 10);
  if (stop == text) return;
  counter = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}
}  // namespace

void SetRecordDefaults(RecordFields& fields) {
  fields.r_time = 1;
  CopyText(fields.r_time_text, kFieldCapacity, "1");
  CopyText(fields.r_lastupdata, kFieldCapacity, "20080101");
  CopyText(fields.r_ver, kFieldCapacity, kProgramVersion);
  CopyText(fields.r_message, kMessageCapacity, "hello!");
  CopyText(fields.r_md5size, kFieldCapacity, "null");
}

const char* find_tag(const char*& cursor, const char* tag, const char* end) {
  const std::size_t tagLength = std::strlen(tag);
  for (const char* p = cursor; p < end && tagLength <= static_cast<std::size_t>(end - p); ++p) {
    if (std::memcmp(p, tag, tagLength) == 0) {
      cursor = p;
      return p + tagLength;
    }
  }
  return nullptr;
}

void CopyBoundedValue(char* dest, std::size_t capacity, const char* from, const char* to) {
  if (capacity == 0) return;
  const std::size_t length = win::Cp936PrefixLength(from, static_cast<std::size_t>(to - from), capacity - 1);
  std::memcpy(dest, from, length);
  dest[length] = '\0';
}

bool ExtractElement(const char* begin, const char* end, const char* name, char* dest, std::size_t capacity,
                    const char* operation, const LineSink& log) {
  win::Text<64> open;   // "<name>"
  win::Text<64> close;  // "</name>"
  open.Format("<%s>", name);
  close.Format("</%s>", name);

  const char* cursor = begin;
  const char* value = find_tag(cursor, open.c_str(), end);
  const char* missing = open.c_str();
  if (value) {
    cursor = value;
    if (find_tag(cursor, close.c_str(), end)) {
      CopyBoundedValue(dest, capacity, value, cursor);
      return true;
    }
    missing = close.c_str();
  }
  if (log) {
    win::Text<160> line;  // operation name, tag and fixed words
    line.Format("%s:goahead%sfailed\r\n", operation, missing);
    log(line.c_str());
  }
  return false;
}

RecordText FormatRecordText(const RecordFields& fields) {
  // Fields are bounded by their capacities even if one lacks its terminator.
  const int lastLength = static_cast<int>(BoundedLength(fields.r_lastupdata, kFieldCapacity - 1));
  const int verLength = static_cast<int>(BoundedLength(fields.r_ver, kFieldCapacity - 1));
  const int md5Length = static_cast<int>(BoundedLength(fields.r_md5size, kFieldCapacity - 1));
  const std::size_t messageLength = BoundedLength(fields.r_message, kMessageCapacity - 1);

  RecordText record;
  auto print = [&](int messageBytes) {
    record.Format("<r_time>%d</r_time><r_lastupdata>%.*s</r_lastupdata><r_ver>%.*s</r_ver>"
                  "<r_message>%.*s</r_message><r_md5size>%.*s</r_md5size>",
                  fields.r_time, lastLength, fields.r_lastupdata, verLength, fields.r_ver, messageBytes,
                  fields.r_message, md5Length, fields.r_md5size);
  };
  // Everything but the message takes at most 107 + 11 + 3 * 127 = 499 bytes, so it is never cut.
  print(0);
  const std::size_t others = record.size();
  const std::size_t kept = win::Cp936PrefixLength(fields.r_message, messageLength, kRecordTextMax - others);
  print(static_cast<int>(kept));
  return record;
}

std::size_t EncipherRecord(const RecordFields& fields, unsigned char (&value)[kRecordValueMax]) {
  const RecordText text = FormatRecordText(fields);
  // At least 108 bytes and at most 1014, so the cipher never refuses and the result fits.
  return DesBufferBounded(value, kRecordValueMax, reinterpret_cast<const unsigned char*>(text.c_str()), 0,
                            text.size());
}

void ExtractRecordFields(const char* plain, std::size_t n, RecordFields& fields, const LineSink& log) {
  const char* end = plain + n;
  const char* const op = "_tolva_Reg_GET";
  if (ExtractElement(plain, end, "r_time", fields.r_time_text, kFieldCapacity, op, log))
    ParseCounter(fields.r_time_text, fields.r_time);
  ExtractElement(plain, end, "r_ver", fields.r_ver, kFieldCapacity, op, log);
  ExtractElement(plain, end, "r_message", fields.r_message, kMessageCapacity, op, log);
  ExtractElement(plain, end, "r_md5size", fields.r_md5size, kFieldCapacity, op, log);
  ExtractElement(plain, end, "r_lastupdata", fields.r_lastupdata, kFieldCapacity, op, log);
}

bool LoadRecordValue(const unsigned char* value, std::size_t size, RecordFields& fields, const LineSink& log) {
  if (size > kRecordValueMax) {
    if (log) log("_tolva_Reg_GET:读取注册表失败\r\n");
    return false;
  }
  // 1024 bytes of text can arrive, so the terminator needs the extra byte. Zeroed so the bytes of
  // a last partial block, which the cipher leaves alone, hold no stale text.
  unsigned char plain[kRecordValueMax + 1] = {};
  const std::size_t n = des_buffer(plain, value, 1, size);
  plain[n] = '\0';
  ExtractRecordFields(reinterpret_cast<const char*>(plain), n, fields, log);
  return true;
}
