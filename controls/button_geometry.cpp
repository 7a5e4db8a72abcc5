#include "controls/button_geometry.h"

Box Shifted(const Box& box, int dx, int dy) {
  return {box.left + dx, box.top + dy, box.right + dx, box.bottom + dy};
}

ButtonLayout LayOutButton(const Box& item, bool hasIcon, int iconWidth, int iconHeight, bool hasCaption,
                          bool pressed) {
  ButtonLayout layout{item, item};
  if (hasIcon) {
    Box& image = layout.image;
    if (hasCaption) {
      image.left += 3;
      layout.caption.left += iconWidth + 3;
    } else {
      image.left += (image.Width() - iconWidth) / 2;
    }
    image.top += (image.Height() - iconHeight) / 2;
  }
  if (pressed) {
    layout.image = Shifted(layout.image, 1, 1);
    layout.caption = Shifted(layout.caption, 1, 1);
  }
  return layout;
}

Box CentredIn(const Box& box, const Box& measured) {
  // C++ integer division truncates toward zero, as the centring needs for negative overflow.
  const int dx = (box.Width() - measured.Width()) / 2;
  const int dy = (box.Height() - measured.Height()) / 2;
  return Shifted(measured, dx, dy);
}

FrameEdges FrameEdgesOf(const Box& a) {
  return {
      {a.left, a.top, a.right - 1, a.top + 1},
      {a.left, a.top, a.left + 1, a.bottom - 1},
      {a.right - 1, a.top, a.right, a.bottom},
      {a.left, a.bottom - 1, a.right, a.bottom},
  };
}
