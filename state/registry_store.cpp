#include "state/registry_store.h"

#include <windows.h>

#include <climits>

#include "services/log.h"
#include "win/handles.h"

RecordFields record;

namespace {

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
  SetRecordDefaults(record);
  _5_Reg_PUT();
}

void _5_Reg_PUT() {
  const std::size_t length = EncipherRecord(record, recordCipher);
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
  LoadRecordValue(regReadBuf, size, record, LogLine);
}

void CountStartInRecord() {
  ensure_state_record();
  _tolva_Reg_GET();
  if (record.r_time < INT_MAX) record.r_time += 1;  // a counter at its top stays there
  _5_Reg_PUT();
}
