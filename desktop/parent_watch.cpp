#include "desktop/parent_watch.h"

#include <tlhelp32.h>

#include "desktop/copy_rules.h"
#include "services/process.h"
#include "win/fixed_text.h"
#include "win/handles.h"
#include "win/heap_object.h"

namespace {

using ImagePath = win::WideText<MAX_PATH + 1>;

ImagePath ImageOf(HANDLE process) {
  ImagePath path;
  DWORD length = MAX_PATH;
  if (process && QueryFullProcessImageNameW(process, 0, path.Buffer(), &length)) path.SetLength(length);
  return path;
}

bool StartTime(HANDLE process, ULONGLONG* at) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
  *at = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return true;
}

DWORD ParentId() {
  const win::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  return 0;
}

struct Watch {
  HANDLE process;
  HWND owner;
  UINT message;
};

unsigned long __stdcall WatchThreadFunc(void* param) {
  const Watch watch = *static_cast<Watch*>(param);
  win::DeleteOnHeap(static_cast<Watch*>(param));
  const win::Handle process(watch.process);
  if (WaitForSingleObject(process.get(), INFINITE) == WAIT_OBJECT_0) PostMessageW(watch.owner, watch.message, 0, 0);
  return 0;
}

}  // namespace

HANDLE OpenFirstCopy() {
  const DWORD parentId = ParentId();
  if (!parentId) return nullptr;
  win::Handle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
  ParentFacts facts;
  facts.opened = static_cast<bool>(parent);
  if (parent) {
    const ImagePath theirs = ImageOf(parent.get());
    const ImagePath mine = ImageOf(GetCurrentProcess());
    facts.sameProgram = !theirs.empty() && lstrcmpiW(theirs.c_str(), mine.c_str()) == 0;
    ULONGLONG theirStart = 0, myStart = 0;
    facts.startedBefore = StartTime(parent.get(), &theirStart) && StartTime(GetCurrentProcess(), &myStart) &&
                          theirStart <= myStart;
  }
  return AcceptParent(facts) ? parent.release() : nullptr;
}

bool WatchFirstCopy(HANDLE firstCopy, HWND owner, UINT message) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), firstCopy, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
    return false;
  Watch* watch = win::NewOnHeap<Watch>();
  if (!watch) {
    CloseHandle(copy);
    return false;
  }
  *watch = Watch{copy, owner, message};
  if (StartWorkerThread(WatchThreadFunc, watch)) return true;
  CloseHandle(copy);
  win::DeleteOnHeap(watch);
  return false;
}
