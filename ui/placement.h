// Where a window opened at a given place goes so that it stays whole on its monitor (pure logic).
#pragma once

struct WindowOrigin {
  int x;
  int y;
};

struct WorkArea {
  int left;
  int top;
  int right;   // exclusive
  int bottom;  // exclusive
};

// The origin nearest to (x, y) that keeps a width x height window inside `area`: moved left and up
// by what would stick out past the right and bottom edges. A window larger than the area keeps
// its top-left corner in it, so its caption stays reachable.
inline WindowOrigin KeptInside(int x, int y, int width, int height, const WorkArea& area) {
  if (x + width > area.right) x = area.right - width;
  if (y + height > area.bottom) y = area.bottom - height;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  return {x, y};
}
