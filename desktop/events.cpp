#include "desktop/events.h"

const char* const eventsStr[kEventCount] = {
    "switch desk", "exit tolva",        "tolva receive hello", "hide m", "desk n ok",
    "nnull1",      "notify n exit",     "ndesk receive ack",   "dide n", "tolva receive my ok",
};

win::Handle hEvents[kEventCount];

void CreateOwnEvents(int group, void (*reportExisting)(int index, const char* name)) {
  for (int k = 0; k < kEventsPerGroup; ++k) {
    const int i = kEventsPerGroup * group + k;
    SetLastError(ERROR_SUCCESS);
    hEvents[i].reset(CreateEventA(nullptr, FALSE, FALSE, eventsStr[i]));
    if (GetLastError() == ERROR_ALREADY_EXISTS && reportExisting) reportExisting(i, eventsStr[i]);
  }
}

void SignalEvent(int group, int k) {
  if (group < 0 || group > 1 || k < 0 || k >= kEventsPerGroup) return;
  const int i = kEventsPerGroup * group + k;
  hEvents[i].reset(OpenEventA(EVENT_ALL_ACCESS, FALSE, eventsStr[i]));
  if (hEvents[i]) SetEvent(hEvents[i].get());
}

void ReleaseEvents(int group) {
  if (group < 0 || group > 1) return;
  for (int k = 0; k < kEventsPerGroup; ++k) hEvents[kEventsPerGroup * group + k].reset();
}
