#include "services/log_queue.h"

void LogQueue::Push(const char* text) {
  if (count_ == kLogQueueSlots) {
    ++dropped_;
    return;
  }
  // One byte past the bound, so the cut sees whether the last kept byte opens a character.
  win::Text<kLogTextMaxBytes + 2> whole;
  whole.Append(text);
  whole.CutAt(kLogTextMaxBytes);
  LogText& slot = slots_[(head_ + count_) % kLogQueueSlots];
  slot.clear();
  slot.Append(whole.c_str());
  ++count_;
}

bool LogQueue::Pop(LogText& out) {
  if (count_ == 0) return false;
  out.clear();
  out.Append(slots_[head_].c_str());
  head_ = (head_ + 1) % kLogQueueSlots;
  --count_;
  return true;
}

std::size_t LogQueue::TakeDropped() {
  const std::size_t dropped = dropped_;
  dropped_ = 0;
  return dropped;
}
