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

MessageLine FormatMessageLine(const char* message) {
  MessageLine line;
  line.Append(message, win::Cp936PrefixLength(message, std::strlen(message), line.capacity() - 2));  // "\r\n" follows
  line.Append("\r\n");
  return line;
}
