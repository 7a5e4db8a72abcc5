#include "update/update_parser.h"

#include <cstring>

#include "win/fixed_text.h"

bool ParseUpdateText(const char* text, std::size_t len, UpdateElements& elements, const LineSink& log) {
  const char* end = text + len;
  const char* cursor = text;
  const bool hasOpen = find_tag(cursor, "<TOLVA_UPDATA>", end) != nullptr;
  cursor = text;
  const bool hasClose = find_tag(cursor, "</TOLVA_UPDATA>", end) != nullptr;
  if (!hasOpen || !hasClose) {
    if (log) log("内部错误，下载到的更新数据格式错误,请使用内部命令'net updata'重新读取\r\n");
    return false;
  }
  const char* const op = "_tolva_UPDATA";
  ExtractElement(text, end, "ver", elements.updVer, kFieldCapacity, op, log);
  ExtractElement(text, end, "message", elements.updMessage, kMessageCapacity, op, log);
  ExtractElement(text, end, "md5size", elements.updMd5size, kFieldCapacity, op, LineSink());
  return true;
}

void ApplyUpdate(const UpdateElements& elements, const char* today, RecordFields& fields) {
  auto copy = [](char* dest, std::size_t capacity, const char* text) {
    CopyBoundedValue(dest, capacity, text, text + std::strlen(text));
  };
  copy(fields.r_ver, kFieldCapacity, elements.updVer);
  copy(fields.r_message, kMessageCapacity, elements.updMessage);
  copy(fields.r_md5size, kFieldCapacity, elements.updMd5size);
  copy(fields.r_lastupdata, kFieldCapacity, today);
}

std::size_t FormatMessageLine(const char* message, char (&line)[kMessageLineCapacity]) {
  const std::size_t room = kMessageLineCapacity - 3;  // "\r\n" and the NUL
  const std::size_t length = win::Cp936PrefixLength(message, std::strlen(message), room);
  std::memcpy(line, message, length);
  std::memcpy(line + length, "\r\n", 3);
  return length + 2;
}
