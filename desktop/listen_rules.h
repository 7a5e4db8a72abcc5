// What a listener waits on and what a wake names (pure logic). Any program of the session can
// take an event's name first, so a listener must not depend on having all five.
#pragma once

constexpr int kEventCount = 10;
constexpr int kEventsPerGroup = 5;

// The events of one group that exist, in slot order: the wait runs over these only, so a name
// that could not be created silences nothing but itself.
struct WaitSet {
  int count = 0;
  int position[kEventsPerGroup] = {};  // the group position of each waited handle
};
WaitSet BuildWaitSet(const bool created[kEventsPerGroup]);

// The group position that a wait's result names, or kNoEvent for a failed wait or any result
// outside the set.
constexpr int kNoEvent = -1;
int WokenPosition(const WaitSet& set, unsigned long waitResult);
