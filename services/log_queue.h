// The appends that other threads hand to the log window, waiting for its thread (pure logic; the
// caller holds the lock). Bounded: a thread that cannot reach the window (one on another
// desktop) queues, and must never grow the queue without end.
#pragma once
#include <cstddef>

#include "services/log_text.h"
#include "win/fixed_text.h"

constexpr std::size_t kLogQueueSlots = 32;

using LogText = win::Text<kLogTextMaxBytes + 1>;

class LogQueue {
 public:
  // Keeps a copy of `text`, cut to kLogTextMaxBytes at a character boundary. When the queue is
  // full the text is dropped and counted: the texts already waiting keep their order.
  void Push(const char* text);
  // Moves the oldest text into `out`; false when none waits.
  bool Pop(LogText& out);
  // How many texts were dropped since the last call.
  std::size_t TakeDropped();
  std::size_t size() const { return count_; }

 private:
  LogText slots_[kLogQueueSlots];
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  std::size_t dropped_ = 0;
};
