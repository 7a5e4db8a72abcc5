// The downloaded update file, any bytes up to the 10239 the download buffer holds, through the
// whole road the worker takes: parse, fold into the record, format, encipher, load back, the log
// line and the version comparison. Each step is checked against the naive reference, and a
// record whose values hold no '<' must come back exactly as it was stored. The same bytes, read as a
// redirect's Location, must never lead the fetch off its own site.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "state/cipher.h"
#include "state/record_format.h"
#include "tests/fuzz/reference.h"
#include "update/update_address.h"
#include "update/update_parser.h"
#include "version/version.h"

namespace {

constexpr std::size_t kDownloadMax = 10239;  // the 10240-byte buffer less its terminator
const char kToday[] = "20240501";

// Earlier values, so a missing element visibly keeps what it had.
UpdateElements Earlier() {
  UpdateElements e;
  std::strcpy(e.updVer, "old-ver");
  std::strcpy(e.updMessage, "old-message");
  std::strcpy(e.updMd5size, "old-md5");
  return e;
}

bool SameElements(const UpdateElements& a, const UpdateElements& b) {
  return std::strcmp(a.updVer, b.updVer) == 0 && std::strcmp(a.updMessage, b.updMessage) == 0 &&
         std::strcmp(a.updMd5size, b.updMd5size) == 0;
}

// Takes one element into `want` as the reference says and returns its log line, if any.
void Expect(const std::string& text, const char* name, char* want, std::size_t capacity, bool logged,
            ref::Lines& lines) {
  const ref::Element e = ref::Find(text, name, capacity);
  if (e.found) {
    std::memcpy(want, e.value.data(), e.value.size());
    want[e.value.size()] = '\0';
  } else if (logged) {
    lines.push_back("_tolva_UPDATA:goahead" + e.missing + "failed\r\n");
  }
}

// The plain record as the format prints it, the message cut to what fits 1014 bytes.
std::string ExpectedRecordText(const RecordFields& f) {
  const std::string head = "<r_time>" + std::to_string(f.r_time) + "</r_time><r_lastupdata>" + f.r_lastupdata +
                           "</r_lastupdata><r_ver>" + f.r_ver + "</r_ver><r_message>";
  const std::string tail = std::string("</r_message><r_md5size>") + f.r_md5size + "</r_md5size>";
  return head + ref::CutAtBoundary(f.r_message, kRecordTextMax - head.size() - tail.size()) + tail;
}

bool ByteWiseGreater(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) > static_cast<unsigned char>(b[i]);
  return a.size() > b.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kDownloadMax) return 0;
  // As the worker leaves it: the bytes, then a NUL at their end.
  std::vector<char> download(data, data + size);
  download.push_back('\0');
  const std::string text(download.data(), size);

  UpdateElements elements = Earlier();
  ref::Lines lines;
  const bool parsed = ParseUpdateText(download.data(), size, elements, ref::Collect(lines));

  const bool outer = text.find("<TOLVA_UPDATA>") != std::string::npos &&
                     text.find("</TOLVA_UPDATA>") != std::string::npos;
  FUZZ_CHECK(parsed == outer);
  if (!parsed) {
    FUZZ_CHECK(SameElements(elements, Earlier()));
    FUZZ_CHECK(lines.size() == 1);
    return 0;
  }

  UpdateElements want = Earlier();
  ref::Lines wantLines;
  Expect(text, "ver", want.updVer, kFieldCapacity, true, wantLines);
  Expect(text, "message", want.updMessage, kMessageCapacity, true, wantLines);
  Expect(text, "md5size", want.updMd5size, kFieldCapacity, false, wantLines);
  FUZZ_CHECK(SameElements(elements, want));
  FUZZ_CHECK(lines == wantLines);
  FUZZ_CHECK(ref::Terminated(elements.updVer, kFieldCapacity));
  FUZZ_CHECK(ref::Terminated(elements.updMessage, kMessageCapacity));
  FUZZ_CHECK(ref::Terminated(elements.updMd5size, kFieldCapacity));

  // A second parse of the same file changes nothing: the first occurrence always wins.
  UpdateElements again = elements;
  FUZZ_CHECK(ParseUpdateText(download.data(), size, again, LineSink()));
  FUZZ_CHECK(SameElements(again, elements));

  // Folded into a record whose counter comes from the input, so every width of it is tried.
  RecordFields fields;
  SetRecordDefaults(fields);
  if (size >= 4) std::memcpy(&fields.r_time, data, sizeof fields.r_time);
  ApplyUpdate(elements, kToday, fields);
  FUZZ_CHECK(std::strcmp(fields.r_ver, elements.updVer) == 0);
  FUZZ_CHECK(std::strcmp(fields.r_message, elements.updMessage) == 0);
  FUZZ_CHECK(std::strcmp(fields.r_md5size, elements.updMd5size) == 0);
  FUZZ_CHECK(std::strcmp(fields.r_lastupdata, kToday) == 0);

  const RecordText recordText = FormatRecordText(fields);
  const char* const record = recordText.c_str();
  const std::size_t length = recordText.size();
  const std::string expected = ExpectedRecordText(fields);
  FUZZ_CHECK(length <= kRecordTextMax);
  FUZZ_CHECK(length == expected.size() && std::memcmp(record, expected.data(), length) == 0 && !record[length]);

  unsigned char value[kRecordValueMax];
  std::memset(value, 0, sizeof value);
  const std::size_t stored = EncipherRecord(fields, value);
  FUZZ_CHECK(stored == length + kCipherPadBytes);

  RecordFields back = ref::Marked();
  ref::Lines loadLines;
  FUZZ_CHECK(LoadRecordValue(value, stored, back, ref::Collect(loadLines)));
  RecordFields wantBack = ref::Marked();
  ref::Lines wantLoadLines;
  ref::ExtractRecord(expected, wantBack, wantLoadLines);
  FUZZ_CHECK(ref::SameFields(back, wantBack));
  FUZZ_CHECK(loadLines == wantLoadLines);

  // Without '<' in any value every tag occurs once, so the record comes back whole (the message
  // as far as it was kept).
  const bool plainValues = !std::strchr(fields.r_ver, '<') && !std::strchr(fields.r_message, '<') &&
                           !std::strchr(fields.r_md5size, '<');
  if (plainValues) {
    FUZZ_CHECK(loadLines.empty());
    FUZZ_CHECK(back.r_time == fields.r_time);
    FUZZ_CHECK(std::strcmp(back.r_ver, fields.r_ver) == 0);
    FUZZ_CHECK(std::strcmp(back.r_md5size, fields.r_md5size) == 0);
    FUZZ_CHECK(std::strcmp(back.r_lastupdata, kToday) == 0);
    const std::size_t kept = std::strlen(back.r_message);
    FUZZ_CHECK(std::strncmp(back.r_message, fields.r_message, kept) == 0);
    FUZZ_CHECK(kept == std::strlen(fields.r_message) || length > kRecordTextMax - 2);
  }

  // The log line: the message cut at a character boundary, then CR LF, in 1024 bytes.
  const MessageLine message = FormatMessageLine(back.r_message);
  const char* const line = message.c_str();
  const std::size_t lineLength = message.size();
  FUZZ_CHECK(lineLength <= kMessageLineCapacity - 1 && std::strlen(line) == lineLength);
  FUZZ_CHECK(lineLength >= 2 && line[lineLength - 2] == '\r' && line[lineLength - 1] == '\n');
  FUZZ_CHECK(std::string(line, lineLength - 2) == ref::CutAtBoundary(back.r_message, kMessageLineCapacity - 3));

  FUZZ_CHECK(IsNewerVersion(back.r_ver, kProgramVersion) == ByteWiseGreater(back.r_ver, kProgramVersion));

  // The same bytes as a redirect's Location (UTF-16 units): whatever it says, the fetch takes a
  // path only on its own site, and the path is the whole rest of the Location.
  std::wstring location;
  for (std::size_t i = 0; i + 1 < size && location.size() < 2048; i += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    if (!unit) break;
    location.push_back(unit);
  }
  const std::wstring site = L"http://127.0.0.1:18091";
  RedirectTarget path;
  if (RedirectPath((site + L"/tolva2/TOLVA_UPDATA.txt").c_str(), location.c_str(), path)) {
    const std::wstring taken(path.c_str(), path.size());
    FUZZ_CHECK(!taken.empty() && taken[0] == L'/' && taken.size() <= location.size());
    FUZZ_CHECK(location.compare(location.size() - taken.size(), taken.size(), taken) == 0);
    std::wstring before = location.substr(0, location.size() - taken.size());
    for (wchar_t& c : before)
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    FUZZ_CHECK(before.empty() ? taken.compare(0, 2, L"//") != 0 : before == site);
  }
  return 0;
}
