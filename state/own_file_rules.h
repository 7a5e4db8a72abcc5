// What the first copy accepts of its own program file (pure logic).
#pragma once
#include <cstdint>

constexpr std::uint64_t kOwnFileMinBytes = 1024;
constexpr std::uint64_t kOwnFileMaxBytes = 1048576;

inline bool OwnFileSizeAccepted(std::uint64_t size) { return size >= kOwnFileMinBytes && size <= kOwnFileMaxBytes; }
