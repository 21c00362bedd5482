// The window's geometry arithmetic: anchored controls, the minimum size and
// placing a window on a work area.
#include <gtest/gtest.h>

#include "app/WindowLayout.h"

namespace hivemend {

// Found by the printing of failed comparisons.
inline std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
inline std::ostream& operator<<(std::ostream& out, const Size& s) { return out << s.cx << "x" << s.cy; }

namespace {

// The main window's shape: a list held to every edge, a button below it held
// to the bottom right, buttons above it held to the top left.
// Between the buttons and the list, a filter box held to the left and right
// edges and a status choice held to the top right.
AnchorLayout MainWindowShape() {
  return {{1000, 600},
          {{1, kAnchorAll, {10, 90, 990, 480}},
           {2, kAnchorBottomRight, {750, 490, 990, 530}},
           {3, kAnchorTopLeft, {10, 10, 170, 45}},
           {4, kAnchorTopLeft, {340, 10, 460, 42}},
           {5, kAnchorTopLeft | kAnchorRight, {190, 55, 800, 80}},
           {6, kAnchorTop | kAnchorRight, {810, 55, 990, 80}}}};
}

TEST(AnchorLayout, ControlsKeepTheirDistanceToTheirEdges) {
  struct Case {
    int line;
    Size client;
    Rect list, merge, load;
  };
  const Case cases[] = {
      {__LINE__, {1000, 600}, {10, 90, 990, 480}, {750, 490, 990, 530}, {10, 10, 170, 45}},
      {__LINE__, {1400, 900}, {10, 90, 1390, 780}, {1150, 790, 1390, 830}, {10, 10, 170, 45}},
      {__LINE__, {700, 400}, {10, 90, 690, 280}, {450, 290, 690, 330}, {10, 10, 170, 45}},
      // Smaller than the list's room: it keeps zero size, never a negative one.
      {__LINE__, {5, 5}, {10, 90, 10, 90}, {-245, -105, -5, -65}, {10, 10, 170, 45}},
  };
  const AnchorLayout shape = MainWindowShape();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::vector<Rect> places = shape.Place(c.client);
    ASSERT_EQ(places.size(), 6u);
    EXPECT_EQ(places[0], c.list);
    EXPECT_EQ(places[1], c.merge);
    EXPECT_EQ(places[2], c.load);
    EXPECT_EQ(places[3], shape.controls[3].base);
  }
}

TEST(AnchorLayout, AtTheMinimumEveryControlIsInsideAndNothingOverlaps) {
  const AnchorLayout shape = MainWindowShape();
  const Size least = shape.Minimum({200, 100}, 10);
  // The filter box's least width (200) with the room beside it decides the
  // width; the list's minimum height (100) with the room above and below it
  // decides the height.
  EXPECT_EQ(least, (Size{190 + 200 + 200, 90 + 100 + 120}));
  const std::vector<Rect> places = shape.Place(least);
  for (size_t i = 0; i < places.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_GE(places[i].left, 0);
    EXPECT_GE(places[i].top, 0);
    EXPECT_LE(places[i].right, least.cx);
    EXPECT_LE(places[i].bottom, least.cy);
    EXPECT_GT(places[i].width(), 0);
    EXPECT_GT(places[i].height(), 0);
    for (size_t j = i + 1; j < places.size(); ++j) {
      const bool overlap = places[i].left < places[j].right && places[j].left < places[i].right &&
                           places[i].top < places[j].bottom && places[j].top < places[i].bottom;
      EXPECT_FALSE(overlap) << places[i] << " " << places[j];
    }
  }
}

TEST(AnchorLayout, ARightHeldControlStopsBeforeALeftHeldOneInItsRow) {
  // A status text on the left and a button on the right of the same row.
  const AnchorLayout shape{{800, 100},
                           {{1, kAnchorTopLeft, {10, 10, 300, 40}}, {2, kAnchorRight | kAnchorTop, {600, 10, 790, 40}}}};
  const Size least = shape.Minimum({50, 50}, 8);
  EXPECT_EQ(least.cx, 300 + 8 + 190 + 10);
  const std::vector<Rect> places = shape.Place(least);
  EXPECT_LE(places[0].right + 8, places[1].left);
}

TEST(AnchorLayout, ScalingForAnotherDpiScalesEveryFigure) {
  const AnchorLayout scaled = MainWindowShape().Scaled(96, 144);
  EXPECT_EQ(scaled.base, (Size{1500, 900}));
  EXPECT_EQ(scaled.controls[1].base, (Rect{1125, 735, 1485, 795}));
  EXPECT_EQ(scaled.controls[1].anchors, kAnchorBottomRight);
  EXPECT_EQ(MainWindowShape().Scaled(96, 144).Scaled(144, 96).controls[0].base, MainWindowShape().controls[0].base);
}

TEST(StatusBarParts, TheCheckedCountStaysAsTheWindowNarrows) {
  struct Case {
    int line, width, dpi;
    bool showing;  // a filter is set: the rows shown take the last part
    std::vector<int> edges;
  };
  const Case cases[] = {
      {__LINE__, 1264, 96, false, {534, 854, 964, 1264, -1}},  // 1280 px wide: every part its full room
      {__LINE__, 1084, 96, false, {354, 674, 784, 1084, -1}},  // 1100 px: the line text gives way
      {__LINE__, 600, 96, false, {0, 190, 300, 600, -1}},      // the line text is gone first, then the counts shrink
      {__LINE__, 300, 96, false, {0, 0, 110, 300, -1}},        // then the unread lines
      {__LINE__, 100, 96, false, {0, 0, 100, 100, -1}},        // the checked count last
      {__LINE__, 0, 96, false, {0, 0, 0, 0, -1}},
      {__LINE__, 1896, 144, false, {801, 1281, 1446, 1896, -1}},  // 150% DPI: every room scaled
      {__LINE__, 1264, 96, true, {324, 644, 754, 1054, -1}},      // the rows shown take room from the line
      {__LINE__, 600, 96, true, {0, 0, 110, 390, -1}},            // then from the counts and the unread lines
      {__LINE__, 200, 96, true, {0, 0, 110, 110, -1}},            // the checked count keeps its room longest
      {__LINE__, 1896, 144, true, {486, 966, 1131, 1581, -1}},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusPartEdges(c.width, c.dpi, c.showing), c.edges) << c.line;
}

TEST(ScaleRounded, RoundsHalfAwayFromZeroAsMulDiv) {
  struct Case {
    int line, a, b, c, expected;
  };
  const Case cases[] = {
      {__LINE__, 10, 3, 2, 15}, {__LINE__, 5, 1, 2, 3},   {__LINE__, -5, 1, 2, -3}, {__LINE__, 5, -1, 2, -3},
      {__LINE__, 7, 1, 3, 2},   {__LINE__, 8, 1, 3, 3},   {__LINE__, 1338, 144, 96, 2007},
      // The product leaves int's range; the result does not.
      {__LINE__, 2000000000, 96, 192, 1000000000}, {__LINE__, -2000000000, 144, 192, -1500000000},
  };
  for (const Case& c : cases) EXPECT_EQ(ScaleRounded(c.a, c.b, c.c), c.expected) << c.line;
}

TEST(WorkArea, PlacingAWindowOnAWorkArea) {
  const Rect work{0, 0, 1280, 984};  // a 1,280 x 1,024 screen less a task bar
  const Rect second{1280, 0, 3200, 1040};
  struct Case {
    int line;
    Size window;
    Rect work;
    Rect centred;
  };
  const Case cases[] = {
      {__LINE__, {1338, 605}, work, {0, 189, 1280, 794}},  // too wide: as wide as the work area
      {__LINE__, {800, 600}, work, {240, 192, 1040, 792}},
      {__LINE__, {2007, 1400}, work, {0, 0, 1280, 984}},
      {__LINE__, {800, 600}, second, {1840, 220, 2640, 820}},
  };
  for (const Case& c : cases) EXPECT_EQ(CentreInWorkArea(c.window, c.work), c.centred) << c.line;
}

TEST(WorkArea, ARememberedPlaceOffTheWorkAreaIsBroughtBackOntoIt) {
  const Rect work{0, 0, 1280, 984};
  struct Case {
    int line;
    Rect saved, expected;
  };
  const Case cases[] = {
      {__LINE__, {100, 100, 900, 700}, {100, 100, 900, 700}},        // inside: unchanged
      {__LINE__, {2000, 100, 2800, 700}, {480, 100, 1280, 700}},     // on a monitor that is gone
      {__LINE__, {-900, -500, -100, 100}, {0, 0, 800, 600}},         // above and left
      {__LINE__, {1000, 900, 1800, 1500}, {480, 384, 1280, 984}},    // partly off
      {__LINE__, {-10, -10, 3000, 2000}, {0, 0, 1280, 984}},         // larger than the work area
  };
  for (const Case& c : cases) EXPECT_EQ(BringIntoWorkArea(c.saved, work), c.expected) << c.line;
}

TEST(WorkArea, ASecondWindowOpensOffsetFromTheFirst) {
  const Rect work{0, 0, 1280, 984};
  const Size least{600, 400};
  EXPECT_EQ(OffsetFromOther({100, 100, 900, 700}, 30, work, least), (Rect{130, 130, 930, 730}));
  // A window as large as the work area: the next one is cut to it.
  EXPECT_EQ(OffsetFromOther(work, 30, work, least), (Rect{30, 30, 1280, 984}));
  EXPECT_EQ(OffsetFromOther({480, 384, 1280, 984}, 30, work, least), (Rect{510, 414, 1280, 984}));
  // No room for the least size further down: back to the work area's corner.
  EXPECT_EQ(OffsetFromOther({700, 600, 1280, 984}, 30, work, least), (Rect{0, 0, 580, 384}));
  EXPECT_EQ(OffsetFromOther({660, 30, 1280, 984}, 30, work, least), (Rect{0, 0, 620, 954}));
}

}  // namespace
}  // namespace hivemend
