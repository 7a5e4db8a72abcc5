#include "desktop/events.h"

#include <windows.h>

#include <sddl.h>
#include <tlhelp32.h>

#include "desktop/desk_rules.h"
#include "desktop/protocol.h"
#include "services/log.h"
#include "win/fixed_text.h"
#include "win/handles.h"

const char* const eventsStr[kEventCount] = {
    "switch desk", "exit tolva",        "tolva receive hello", "hide m", "desk n ok",
    "nnull1",      "notify n exit",     "ndesk receive ack",   "dide n", "tolva receive my ok",
};

win::Handle hEvents[kEventCount];

namespace {

// All an owner needs (wait, reset) and all a signalling copy needs: nothing more is granted.
constexpr DWORD kOwnAccess = SYNCHRONIZE | EVENT_MODIFY_STATE;

// The events' security descriptor: the user of this process's token (the same for the elevated
// and the ordinary token of one logon) may wait on and signal them. The default DACL would close
// an elevated copy's events to the ordinary user's already-running dialog, and the creator's own
// (high) label would keep that dialog from signalling; `mediumLabel` sets medium instead. Empty
// when the token cannot be read: the system's default then applies.
win::LocalMemory OwnEventsSecurity(bool mediumLabel) {
  win::Handle token;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return win::LocalMemory();
  token.reset(raw);
  alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD length = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &length)) return win::LocalMemory();
  wchar_t* sidText = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sidText)) return win::LocalMemory();
  const win::LocalMemory sidOwner(sidText);
  win::WideText<256> sddl;  // a SID string is at most 184 characters
  sddl.Format(L"D:P(A;;0x%lx;;;%ls)%ls", kOwnAccess, sidText, mediumLabel ? L"S:(ML;;NW;;;ME)" : L"");
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
    return win::LocalMemory();
  return win::LocalMemory(sd);
}

HANDLE CreateOwnEvent(const win::LocalMemory& security, const char* name) {
  SECURITY_ATTRIBUTES sa{sizeof sa, security.get(), FALSE};
  // An existing event is opened with the same rights: an earlier copy's is closed to more.
  SetLastError(ERROR_SUCCESS);
  return CreateEventExA(security ? &sa : nullptr, name, 0, kOwnAccess);
}

}  // namespace

void CreateOwnEvents(int group, void (*report)(int index, const char* name, unsigned long error)) {
  win::LocalMemory security = OwnEventsSecurity(true);
  bool labelled = true;
  for (int k = 0; k < kEventsPerGroup; ++k) {
    const int i = kEventsPerGroup * group + k;
    hEvents[i].reset(CreateOwnEvent(security, eventsStr[i]));
    DWORD error = GetLastError();
    // A start below medium integrity may not label an object above itself: it goes without.
    if (!hEvents[i] && labelled && error != ERROR_INVALID_HANDLE) {
      labelled = false;
      security = OwnEventsSecurity(false);
      hEvents[i].reset(CreateOwnEvent(security, eventsStr[i]));
      error = GetLastError();
    }
    if ((!hEvents[i] || error == ERROR_ALREADY_EXISTS) && report) report(i, eventsStr[i], error);
  }
}

bool SignalEvent(int group, int k) {
  if (group < 0 || group > 1 || k < 0 || k >= kEventsPerGroup) return false;
  // Opened for this one signal and closed again: no ended partner's event outlives it here.
  const win::Handle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, eventsStr[kEventsPerGroup * group + k]));
  return event && SetEvent(event.get());
}

namespace {

// A wait that fails at once would otherwise spin on the processor.
constexpr DWORD kFailedWaitPause = 1000;

constexpr int kWaitFailed = -2;

// The events of a group that exist, gathered once: the slots are not written after the
// creation loop, which ran before this thread started.
struct OwnEvents {
  WaitSet set;
  HANDLE handles[kEventsPerGroup] = {};
};

OwnEvents Gather(EventGroup group) {
  bool created[kEventsPerGroup];
  for (int k = 0; k < kEventsPerGroup; ++k) created[k] = static_cast<bool>(hEvents[kEventsPerGroup * group + k]);
  OwnEvents own;
  own.set = BuildWaitSet(created);
  for (int j = 0; j < own.set.count; ++j) own.handles[j] = hEvents[kEventsPerGroup * group + own.set.position[j]].get();
  return own;
}

// The group position of the event that woke the wait, or kWaitFailed. The event is reset: ours
// are auto-reset already, but one that a neighbour created first as manual-reset and left
// signalled would otherwise wake every wait. So a neighbour can repeat a request, not flood it.
int WaitForOne(const OwnEvents& own) {
  const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(own.set.count), own.handles, FALSE, INFINITE);
  const int k = WokenPosition(own.set, r);
  if (k == kNoEvent) return kWaitFailed;
  ResetEvent(own.handles[r - WAIT_OBJECT_0]);
  return k;
}

// Per position: a request of that kind is posted and not yet taken by the UI thread.
LONG gWaiting[kEventsPerGroup] = {};

// Posts the request unless the same one still waits: a neighbour repeating a signal cannot flood
// the queue, and two requests taken one after the other are two.
void Post(const ListenerCommands& c, int position) {
  if (InterlockedExchange(&gWaiting[position], 1) != 0) return;
  if (!PostMessageW(hMainWnd, c.requestMessage, static_cast<WPARAM>(position), 0))
    InterlockedExchange(&gWaiting[position], 0);
}

}  // namespace

bool TakeListenerRequest(WPARAM position) {
  if (position >= static_cast<WPARAM>(kEventsPerGroup)) return false;
  InterlockedExchange(&gWaiting[position], 0);
  return true;
}

unsigned long __stdcall EventsThreadFunc(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  const OwnEvents own = Gather(kFirstCopyEvents);
  if (own.set.count == 0) return 0;  // each missing name was reported at its creation
  for (;;) {
    const int k = WaitForOne(own);
    switch (k) {
      case kSwitchDeskEvent:
      case kExitTolvaEvent:
      case kHelloEvent:
      case kHideMainEvent:
      case kDeskNewOkEvent:
        Post(c, k);
        break;
      case kWaitFailed:
        LogLine("WAIT_FAILED\r\n");
        Sleep(kFailedWaitPause);
        break;
      default:
        break;
    }
  }
}

unsigned long __stdcall EventsThreadFuncNew(void* commands) {
  const ListenerCommands& c = *static_cast<const ListenerCommands*>(commands);
  const OwnEvents own = Gather(kSecondCopyEvents);
  if (own.set.count == 0) return 0;
  for (;;) {
    const int k = WaitForOne(own);
    switch (k) {
      case kNotifyExitEvent:
      case kAckEvent:
        Post(c, k);
        break;
      case kWaitFailed:
        Sleep(kFailedWaitPause);
        break;
      default:
        break;
    }
  }
}

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
