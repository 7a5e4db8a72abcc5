// Where the program's windows go: the bottom-right corner of the work area (pure logic).
#pragma once

struct WindowOrigin {
  int x;
  int y;
};

// fullCx/fullCy: the full-screen client area (SM_CXFULLSCREEN/SM_CYFULLSCREEN), which is the
// work area less one caption; adding captionCy back puts the bottom edge on the work area's.
inline WindowOrigin BottomRightOrigin(int fullCx, int fullCy, int captionCy, int width, int height) {
  return {fullCx - width, fullCy + captionCy - height};
}
