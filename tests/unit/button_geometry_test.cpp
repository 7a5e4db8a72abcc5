#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/button_geometry.h"

namespace {

// 37 x 26 dialog units of the exit button at the main window's font, in pixels.
constexpr Box kExitItem{0, 0, 83, 45};

}  // namespace

TEST(ButtonLayout, IconWithoutCaptionIsCentredAndOnlyLeftTopMove) {
  const ButtonLayout l = LayOutButton(kExitItem, true, 48, 48, false, false);
  // (83 - 48) / 2 = 17; (45 - 48) / 2 = -1, truncated toward zero rather than floored to -2.
  EXPECT_EQ(l.image, (Box{17, -1, 83, 45}));
  EXPECT_EQ(l.caption, kExitItem);

  const Box shifted{10, 20, 60, 52};
  EXPECT_EQ(LayOutButton(shifted, true, 32, 32, false, false).image, (Box{19, 20, 60, 52}));
}

TEST(ButtonLayout, IconWithCaptionSitsAtTheLeftAndNarrowsTheCaption) {
  const Box item{5, 7, 205, 41};
  const ButtonLayout l = LayOutButton(item, true, 16, 16, true, false);
  EXPECT_EQ(l.image, (Box{8, 16, 205, 41}));
  EXPECT_EQ(l.caption, (Box{24, 7, 205, 41}));
}

TEST(ButtonLayout, WithoutIconTheCaptionKeepsTheWholeItem) {
  const Box item{0, 0, 186, 28};
  const ButtonLayout l = LayOutButton(item, false, 0, 0, true, false);
  EXPECT_EQ(l.caption, item);
  // A failed icon may leave stale sizes behind; they must not narrow the caption.
  EXPECT_EQ(LayOutButton(item, false, 48, 48, true, false).caption, item);
}

TEST(ButtonLayout, PressedShiftsImageAndCaptionByOnePixelEachWay) {
  // (83 - 72) / 2 = 5, (45 - 72) / 2 = -13; pressed, everything one pixel right and down.
  EXPECT_EQ(LayOutButton(kExitItem, true, 72, 72, false, false).image, (Box{5, -13, 83, 45}));
  EXPECT_EQ(LayOutButton(kExitItem, true, 72, 72, false, true).image, (Box{6, -12, 84, 46}));

  const Box item{0, 0, 186, 28};
  EXPECT_EQ(LayOutButton(item, true, 16, 16, true, true).caption, (Box{20, 1, 187, 29}));
  EXPECT_EQ(LayOutButton(item, false, 0, 0, true, true).caption, (Box{1, 1, 187, 29}));
}

TEST(CaptionCentring, CentresTheMeasuredBlockInItsBox) {
  const Box box{0, 0, 186, 28};
  // DrawText measured 60 x 13 at the box's top-left.
  EXPECT_EQ(CentredIn(box, Box{0, 0, 60, 13}), (Box{63, 7, 123, 20}));
  // The box may start anywhere (pressed, or beside an icon): the offset is relative.
  EXPECT_EQ(CentredIn(Box{20, 1, 187, 29}, Box{20, 1, 81, 14}), (Box{73, 8, 134, 21}));
  EXPECT_EQ(CentredIn(box, Box{0, 0, 186, 28}), box);
}

TEST(CaptionCentring, OverflowGivesNegativeOffsetsTruncatedTowardZero) {
  const Box box{0, 0, 40, 10};
  // Width overflow 15 and height overflow 3: -7 and -1, where flooring would give -8 and -2.
  EXPECT_EQ(CentredIn(box, Box{0, 0, 55, 13}), (Box{-7, -1, 48, 12}));
  EXPECT_EQ(CentredIn(Box{4, 4, 44, 14}, Box{4, 4, 59, 17}), (Box{-3, 3, 52, 16}));
}

TEST(Frame, EdgesCoverThePerimeterWithBottomRightOwningTwoCorners) {
  const Box area{2, 1, 8, 6};  // 6 x 5 pixels inside a 10 x 8 canvas
  const FrameEdges e = FrameEdgesOf(area);
  std::vector<std::string> canvas(8, std::string(10, '.'));
  auto paint = [&](const Box& b, char c) {
    for (int y = b.top; y < b.bottom; ++y)
      for (int x = b.left; x < b.right; ++x) {
        char& px = canvas[y][x];
        px = (px == '.' || px == c) ? c : '!';  // the two colours must never overlap
      }
  };
  paint(e.top, 'L');
  paint(e.left, 'L');
  paint(e.right, 'D');
  paint(e.bottom, 'D');
  const std::vector<std::string> expected = {
      "..........",  //
      "..LLLLLD..",  //
      "..L....D..",  //
      "..L....D..",  //
      "..L....D..",  //
      "..DDDDDD..",  //
      "..........",  //
      "..........",
  };
  EXPECT_EQ(canvas, expected);
}
