// Where the icon button paints its frame, icon and caption inside its item rectangle (pure logic).
// Rectangles are in the button's client coordinates; right and bottom are exclusive.
#pragma once

struct Box {
  int left;
  int top;
  int right;
  int bottom;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

inline bool operator==(const Box& a, const Box& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Box& a, const Box& b) { return !(a == b); }

Box Shifted(const Box& box, int dx, int dy);

// The two rectangles of one draw before the caption is measured.
struct ButtonLayout {
  Box image;    // the icon's top-left corner is (image.left, image.top); the rest only bounds it
  Box caption;  // the box the caption is wrapped and centred in
};

// A missing icon leaves the caption the whole item. With a caption the icon sits 3 pixels from the
// left edge and the caption starts iconWidth + 3 further right; without one the icon is centred.
// A pressed button shifts both by (1, 1). Only left and top ever move, apart from that shift.
ButtonLayout LayOutButton(const Box& item, bool hasIcon, int iconWidth, int iconHeight, bool hasCaption,
                          bool pressed);

// `measured` (the wrapped caption as measured at the box's top-left) moved so that it is centred
// in `box`. Offsets are halved truncating toward zero, so a caption wider or taller than its box
// moves up or left by half the overflow.
Box CentredIn(const Box& box, const Box& measured);

// The one-pixel 3-D frame of `area`. The top row and left column stop one pixel short; the right
// column and bottom row run full length, so their colour owns the top-right and bottom-left corners.
struct FrameEdges {
  Box top;
  Box left;
  Box right;
  Box bottom;
};
FrameEdges FrameEdgesOf(const Box& area);
