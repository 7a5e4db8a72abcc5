#include "version/version.h"

#include <cstring>

bool IsNewerVersion(const char* announced, const char* own) {
  // strcmp compares bytes as unsigned char and ranks a proper prefix first.
  return std::strcmp(announced ? announced : "", own ? own : "") > 0;
}
