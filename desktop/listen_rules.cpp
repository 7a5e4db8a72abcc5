#include "desktop/listen_rules.h"

WaitSet BuildWaitSet(const bool created[kEventsPerGroup]) {
  WaitSet set;
  for (int k = 0; k < kEventsPerGroup; ++k)
    if (created[k]) set.position[set.count++] = k;
  return set;
}

int WokenPosition(const WaitSet& set, unsigned long waitResult) {
  // WAIT_OBJECT_0 is 0: a result below the count is the index of the handle that woke the wait.
  if (waitResult >= static_cast<unsigned long>(set.count)) return kNoEvent;
  return set.position[waitResult];
}
