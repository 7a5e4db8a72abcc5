#include "state/registry_store.h"

#include <windows.h>

#include <climits>
#include <cstdint>

#include "services/log.h"
#include "win/fixed_text.h"
#include "win/handles.h"

RecordFields gRecord;

namespace {

// What the first copy accepts of its own program file.
constexpr std::uint64_t kOwnFileMinBytes = 1024;
constexpr std::uint64_t kOwnFileMaxBytes = 1048576;

constexpr char kKeyPath[] = "SOFTWARE\\qz57tolva2\\";
constexpr char kValueName[] = "tolva";

// Enciphered bytes of the last store. Kept for the whole process: the few bytes of a last partial
// block are not enciphered and carry what an earlier store left there.
unsigned char recordCipher[kRecordValueMax];
unsigned char regReadBuf[kRecordValueMax];

// Opens `path` under `root` into `key`; returns the registry's result.
LONG OpenKey(HKEY root, const char* path, REGSAM access, win::RegKey& key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExA(root, path, 0, access, &opened);
  key.reset(result == ERROR_SUCCESS ? opened : nullptr);
  return result;
}

// The result of opening the record key: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when it is absent,
// ERROR_ACCESS_DENIED when it is there but not open to this process with this access.
LONG TryOpenRecordKey(HKEY root, REGSAM access) {
  win::RegKey key;
  return OpenKey(root, kKeyPath, access, key);
}

// The record belongs under HKEY_LOCAL_MACHINE. A process that may not write there (not elevated,
// the normal case) keeps it under the same path of HKEY_CURRENT_USER instead, so the record still
// persists; the choice is made once, by whether HKEY_LOCAL_MACHINE is writable, so reads and
// writes always meet in the same place. A key that exists but is closed to this process counts as
// not writable: creating it again would only open the same closed key.
HKEY RecordRoot() {
  // Initialised at run time without a guard: the UI thread reaches it at start-up, before the
  // update worker that reads the record later starts.
  static const HKEY root = [] {
    const LONG machine = TryOpenRecordKey(HKEY_LOCAL_MACHINE, KEY_READ | KEY_WRITE);
    if (machine == ERROR_SUCCESS) return HKEY_LOCAL_MACHINE;
    win::RegKey software;
    if (machine == ERROR_FILE_NOT_FOUND &&
        OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_CREATE_SUB_KEY, software) == ERROR_SUCCESS)
      return HKEY_LOCAL_MACHINE;
    return HKEY_CURRENT_USER;
  }();
  return root;
}

win::RegKey OpenRecordKey(REGSAM access) {
  win::RegKey key;
  OpenKey(RecordRoot(), kKeyPath, access, key);
  return key;
}

}  // namespace

int make_software_main_key() {
  win::RegKey key = OpenRecordKey(KEY_READ);
  if (!key) {
    HKEY created = nullptr;
    if (RegCreateKeyA(RecordRoot(), kKeyPath, &created) == ERROR_SUCCESS)
      key.reset(created);
    else
      LogLine("make_software_main_key:创建键失败\r\n");
  }
  return 1;
}

void ensure_state_record() {
  if (OpenRecordKey(KEY_READ)) return;  // an existing key is taken to hold a record
  for (int i = 0; i < 6; ++i) make_software_main_key();
  SetRecordDefaults(gRecord);
  _5_Reg_PUT();
}

void _5_Reg_PUT() {
  const std::size_t length = EncipherRecord(gRecord, recordCipher);
  win::RegKey key = OpenRecordKey(KEY_READ | KEY_WRITE);
  if (!key) {
    LogLine("_5_Reg_PUT:打开键失败\r\n");
    return;
  }
  if (RegSetValueExA(key.get(), kValueName, 0, REG_BINARY, recordCipher, static_cast<DWORD>(length)) !=
      ERROR_SUCCESS)
    LogLine("_5_Reg_PUT:写注册表失败\r\n");
}

void _tolva_Reg_GET() {
  win::RegKey key = OpenRecordKey(KEY_READ);
  if (!key) {
    LogLine("_tolva_Reg_GET:打开键失败\r\n");
    return;
  }
  DWORD size = sizeof regReadBuf;
  const LONG read = RegQueryValueExA(key.get(), kValueName, nullptr, nullptr, regReadBuf, &size);
  key.reset();
  if (read != ERROR_SUCCESS) {
    LogLine("_tolva_Reg_GET:读取注册表失败\r\n");
    return;
  }
  LoadRecordValue(regReadBuf, size, gRecord, LogLine);
}

void CountStartInRecord() {
  ensure_state_record();
  _tolva_Reg_GET();
  if (gRecord.r_time < INT_MAX) gRecord.r_time += 1;  // a counter at its top stays there
  _5_Reg_PUT();
}

win::Text<16> todayStr;

void make_today_string() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  todayStr.Format("%d%02d%02d", now.wYear, now.wMonth, now.wDay);
}

OwnFileCheck CheckOwnFile() {
  win::WideText<MAX_PATH + 1> path;
  // A path that fills the buffer was cut: another file, or none, would be read.
  const DWORD pathLength = GetModuleFileNameW(nullptr, path.Buffer(), MAX_PATH + 1);
  if (pathLength == 0 || pathLength > MAX_PATH)
    return {OwnFileVerdict::NoPath, pathLength ? ERROR_INSUFFICIENT_BUFFER : GetLastError()};
  path.SetLength(pathLength);
  win::HeapMemory contents(HeapAlloc(GetProcessHeap(), 0, kOwnFileMaxBytes));
  if (!contents) return {OwnFileVerdict::Unreadable, 0};
  // Read sharing lets this check succeed while another reader (a scanner, a copy) has it open.
  win::Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr));
  if (!file) return {OwnFileVerdict::Unreadable, 0};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return {OwnFileVerdict::Unreadable, 0};
  // Compared as 64 bits: a file beyond 4 GiB must not wrap into the accepted range.
  const auto fileBytes = static_cast<std::uint64_t>(size.QuadPart);
  if (fileBytes < kOwnFileMinBytes || fileBytes > kOwnFileMaxBytes) return {OwnFileVerdict::WrongSize, 0};
  DWORD read = 0;
  ReadFile(file.get(), contents.get(), static_cast<DWORD>(kOwnFileMaxBytes), &read, nullptr);
  file.reset();
  if (read != static_cast<DWORD>(size.QuadPart)) return {OwnFileVerdict::ShortRead, 0};
  contents.reset();
  make_today_string();
  return {OwnFileVerdict::Accepted, 0};
}

Settings ReadSettings() {
  HKEY opened = nullptr;
  win::RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\qz57tolva2\\settings", 0, KEY_QUERY_VALUE, &opened) ==
      ERROR_SUCCESS)
    key.reset(opened);
  wchar_t names[kSettingCount][16];
  unsigned char data[kSettingCount][8];
  SettingValue values[kSettingCount];
  std::size_t count = 0;
  for (int i = 0; key && i < kSettingCount; ++i) {
    int n = 0;
    for (; kSettingNames[i][n]; ++n) names[i][n] = static_cast<wchar_t>(kSettingNames[i][n]);
    names[i][n] = 0;
    DWORD type = 0;
    DWORD size = sizeof data[i];
    const LONG result = RegQueryValueExW(key.get(), names[i], nullptr, &type, data[i], &size);
    // A value too long to read is still there: its size alone makes it wrong.
    if (result == ERROR_MORE_DATA)
      values[count++] = {names[i], type, nullptr, sizeof data[i] + 1};
    else if (result == ERROR_SUCCESS)
      values[count++] = {names[i], type, data[i], size};
  }
  return ParseSettings(values, count);
}
