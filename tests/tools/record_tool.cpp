// The program's own record code as a command-line tool, so the integration tests read and craft
// registry values with exactly the program's cipher and format instead of a second copy of them.
//
//   record_tool decode HEX       fields of a stored value, after the lines the program would log
//   record_tool decipher HEX     the deciphered bytes up to the first NUL (the plain record text)
//   record_tool encode R_TIME R_LASTUPDATA R_VER R_MESSAGE R_MD5SIZE
//                                hex of the value the program stores for these fields
//   record_tool encipher TEXT    hex of TEXT enciphered as a stored value (for records of any shape)
//
// HEX is the data as `reg query` prints a REG_BINARY value; blanks, commas and a 0x prefix are
// ignored. Output is raw bytes (log lines in code page 936), one item per line ending in "\n".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "state/cipher.h"
#include "state/record_format.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const char* text, std::vector<unsigned char>& bytes) {
  std::string digits;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
      ++p;
      continue;
    }
    if (HexDigit(*p) >= 0) digits += *p;
    else if (*p != ' ' && *p != ',' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  }
  if (digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<unsigned char>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
  return true;
}

void PrintHex(const unsigned char* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) std::printf("%02X", bytes[i]);
  std::printf("\n");
}

// A log line without its "\r\n", so each prints as one line.
void PrintLogLine(const char* line) {
  std::size_t length = std::strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) --length;
  std::fwrite(line, 1, length, stdout);
  std::printf("\n");
}

// As the program does: fields start empty (zero), the value is deciphered and extracted.
int Decode(const char* hex) {
  std::vector<unsigned char> value;
  if (!ParseHex(hex, value)) return 2;
  RecordFields fields;
  const bool loaded = LoadRecordValue(value.data(), value.size(), fields, PrintLogLine);
  std::printf("r_time=%d\nr_lastupdata=%s\nr_ver=%s\nr_message=%s\nr_md5size=%s\n", fields.r_time,
              fields.r_lastupdata, fields.r_ver, fields.r_message, fields.r_md5size);
  return loaded ? 0 : 1;
}

int Decipher(const char* hex) {
  std::vector<unsigned char> value;
  if (!ParseHex(hex, value)) return 2;
  if (value.size() > kRecordValueMax) return 1;
  unsigned char plain[kRecordValueMax + 1] = {};  // bytes of a last partial block stay NUL
  des_buffer(plain, value.data(), 1, value.size());
  std::printf("%s\n", reinterpret_cast<const char*>(plain));
  return 0;
}

int Encode(char** values) {
  RecordFields fields;
  char* stop = nullptr;
  fields.r_time = static_cast<int>(std::strtol(values[0], &stop, 10));
  if (stop == values[0] || *stop) return 2;
  CopyBoundedValue(fields.r_lastupdata, kFieldCapacity, values[1], values[1] + std::strlen(values[1]));
  CopyBoundedValue(fields.r_ver, kFieldCapacity, values[2], values[2] + std::strlen(values[2]));
  CopyBoundedValue(fields.r_message, kMessageCapacity, values[3], values[3] + std::strlen(values[3]));
  CopyBoundedValue(fields.r_md5size, kFieldCapacity, values[4], values[4] + std::strlen(values[4]));
  // Zeroed like the program's buffer before its first store: the unenciphered tail bytes match.
  unsigned char value[kRecordValueMax] = {};
  PrintHex(value, EncipherRecord(fields, value));
  return 0;
}

int Encipher(const char* text) {
  const std::size_t length = std::strlen(text);
  std::vector<unsigned char> value(length + kCipherPadBytes, 0);
  const std::size_t n = DesBufferBounded(value.data(), value.size(), reinterpret_cast<const unsigned char*>(text),
                                           0, length);
  if (n == 0) return 1;  // shorter than ten bytes, or too long for the cipher
  PrintHex(value.data(), n);
  return 0;
}

void Usage() {
  std::fprintf(stderr,
               "usage: record_tool decode HEX | decipher HEX | encipher TEXT\n"
               "       record_tool encode R_TIME R_LASTUPDATA R_VER R_MESSAGE R_MD5SIZE\n");
}

}  // namespace

int main(int argc, char** argv) {
  int rc = 2;
  if (argc == 3 && std::strcmp(argv[1], "decode") == 0) rc = Decode(argv[2]);
  else if (argc == 3 && std::strcmp(argv[1], "decipher") == 0) rc = Decipher(argv[2]);
  else if (argc == 3 && std::strcmp(argv[1], "encipher") == 0) rc = Encipher(argv[2]);
  else if (argc == 7 && std::strcmp(argv[1], "encode") == 0) rc = Encode(argv + 2);
  if (rc == 2) Usage();
  return rc;
}
