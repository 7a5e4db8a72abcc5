// The log window's bounds, and the appends that other threads hand to it, waiting for its thread
// (pure logic; the caller holds the lock). Bounded: a thread that cannot reach the window (one on
// another desktop) queues, and must never grow the queue without end.
#pragma once
#include <cstddef>

#include "win/fixed_text.h"

// One appended text is at most this many bytes (it travels in a 1024-byte buffer); a longer one
// is cut at a character boundary.
constexpr std::size_t kLogTextMaxBytes = 1023;
// A log holding more lines than this loses its first kLogTrimChars characters before an append.
constexpr int kLogTrimLines = 400;
constexpr int kLogTrimChars = 2000;

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

