#include "state/own_file.h"

#include <windows.h>


#include "services/log.h"
#include "state/own_file_rules.h"
#include "win/fixed_text.h"
#include "win/handles.h"

win::Text<16> todayStr;

void make_today_string() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  todayStr.Format("%d%02d%02d", now.wYear, now.wMonth, now.wDay);
}

bool CheckOwnFile() {
  win::WideText<MAX_PATH + 1> path;
  // A path that fills the buffer was cut: another file, or none, would be read.
  const DWORD pathLength = GetModuleFileNameW(nullptr, path.Buffer(), MAX_PATH + 1);
  if (pathLength == 0 || pathLength > MAX_PATH) {
    LogFormat("CheckOwnFile: GetModuleFileName failed,error no %d \r\n",
              static_cast<int>(pathLength ? ERROR_INSUFFICIENT_BUFFER : GetLastError()));
    return false;
  }
  path.SetLength(pathLength);
  win::HeapMemory contents(HeapAlloc(GetProcessHeap(), 0, kOwnFileMaxBytes));
  if (!contents) return false;
  // Read sharing lets this check succeed while another reader (a scanner, a copy) has it open.
  win::Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || !OwnFileSizeAccepted(static_cast<std::uint64_t>(size.QuadPart)))
    return false;
  DWORD read = 0;
  ReadFile(file.get(), contents.get(), static_cast<DWORD>(kOwnFileMaxBytes), &read, nullptr);
  file.reset();
  if (read != static_cast<DWORD>(size.QuadPart)) {
    LogLine("!!!!!!(fsize!=dwRW)!!!!!!!!\r\n");
    return false;
  }
  contents.reset();
  make_today_string();
  return true;
}
