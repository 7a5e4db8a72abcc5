// The update fetch's one deadline, kept on the system's millisecond tick count (pure logic).
#pragma once
#include <cstdint>

// Connecting, sending and every read of one fetch end within this time of its start.
constexpr std::uint32_t kFetchBudgetMs = 30000;

// Milliseconds left at `now` of a budget that began at `start`; 0 once it is spent. Both are
// readings of a 32-bit millisecond counter, which wraps after 49.7 days of uptime: the time spent
// is their difference modulo 2^32, so a fetch across the wrap keeps its budget.
constexpr std::uint32_t MsLeft(std::uint32_t start, std::uint32_t now, std::uint32_t budget) {
  const std::uint32_t spent = now - start;
  return spent < budget ? budget - spent : 0;
}
