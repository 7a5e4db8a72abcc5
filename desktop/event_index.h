// Where an event sits in the table of ten: group 0 (first copy) holds 0..4, group 1 5..9.
#pragma once

constexpr int kEventCount = 10;
constexpr int kEventsPerGroup = 5;

constexpr int EventIndex(int group, int k) { return kEventsPerGroup * group + k; }
constexpr bool ValidEventPosition(int group, int k) {
  return group >= 0 && group <= 1 && k >= 0 && k < kEventsPerGroup;
}
