// The main window's geometry as arithmetic: where each control goes when the
// client area changes size, the smallest client area at which every control
// stays usable, and where a window goes so that it fits a monitor's work area.
// Portable: the window (MainDialog.cpp) measures in pixels and feeds this.
#pragma once

#include <cstdint>
#include <vector>

namespace hivemend {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  int cx = 0, cy = 0;
  bool operator==(const Size&) const = default;
};

// Which edges of the client area a control keeps its distance to. A control
// held to both opposite edges stretches between them; held to neither, it
// keeps its distance to the left (top) edge.
enum Anchor : std::uint8_t {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
  kAnchorTopLeft = kAnchorLeft | kAnchorTop,
  kAnchorBottomRight = kAnchorRight | kAnchorBottom,
  kAnchorAll = kAnchorLeft | kAnchorTop | kAnchorRight | kAnchorBottom,
};

struct AnchoredControl {
  int id = 0;
  std::uint8_t anchors = kAnchorTopLeft;
  Rect base;  // its place in a client area of the layout's base size
};

// The controls of one window, placed for a base client size.
struct AnchorLayout {
  Size base;
  std::vector<AnchoredControl> controls;

  // Every control's place in a client area of the given size.
  std::vector<Rect> Place(Size client) const;
  // The smallest client size at which no control shrinks below its minimum
  // (stretching controls: min_stretch in each direction they stretch) and no
  // control held to the right or bottom edge crosses the left or top margin,
  // nor a control held to the left or top edge in the same band.
  Size Minimum(Size min_stretch, int margin) const;
  // The same layout for another DPI: every figure scaled by to / from.
  AnchorLayout Scaled(int from_dpi, int to_dpi) const;
};

// The right edges of the status bar's five parts (line text, counts, checked
// count, lines a load could not read, the rows the filter shows) in a bar
// width pixels wide at dpi: the checked count, the unread lines and, while a
// filter is set (showing), the rows shown keep their room at the right end
// (with the size grip), the counts theirs before them, and the line text takes
// the rest. In a narrow bar the line text gives way first, then the counts,
// then the unread lines, then the rows shown; the checked count last. Without
// a filter the last part has no room. The last edge is -1 (to the end).
std::vector<int> StatusPartEdges(int width, int dpi, bool showing = false);

// a * b / c rounded to the nearest, as Win32 MulDiv (c != 0).
int ScaleRounded(int a, int b, int c);

// A window of the given outer size, made no larger than the work area and
// centred in it.
Rect CentreInWorkArea(Size window, const Rect& work);
// A remembered window rectangle brought fully onto a work area: no larger than
// it, and moved the least distance that puts it inside.
Rect BringIntoWorkArea(const Rect& window, const Rect& work);
// A second copy's window: the first's rectangle moved down and right by step.
// Where that leaves the work area it is cut to it, down to the least size;
// below that it goes back to the work area's top-left corner instead.
Rect OffsetFromOther(const Rect& other, int step, const Rect& work, Size least);

}  // namespace hivemend
