// Where the program's windows go: the bottom-right corner of the work area (pure logic).
#pragma once

struct WindowOrigin {
  int x;
  int y;
};

// The origin that puts a width x height window flush into the bottom-right corner of the work
// area whose right and bottom edges are given: just above a bottom taskbar, left of a right one.
inline WindowOrigin BottomRightOrigin(int workRight, int workBottom, int width, int height) {
  return {workRight - width, workBottom - height};
}
