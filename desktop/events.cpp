#include "desktop/events.h"

#include <sddl.h>

#include "win/fixed_text.h"

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
