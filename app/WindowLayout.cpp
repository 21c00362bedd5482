#include "app/WindowLayout.h"

#include <algorithm>
#include <cstdint>

namespace hivemend {

int ScaleRounded(int a, int b, int c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t magnitude = ((product < 0 ? -product : product) + (c < 0 ? -c : c) / 2) / (c < 0 ? -c : c);
  return static_cast<int>((product < 0) != (c < 0) ? -magnitude : magnitude);
}

namespace {

// One axis of a control: its two edges in the base, whether each keeps its
// distance to the near (left/top) or the far (right/bottom) edge.
void PlaceAxis(int base_low, int base_high, bool near, bool far, int base_extent, int extent, int* low, int* high) {
  const int grow = extent - base_extent;
  if (near && far) {
    *low = base_low;
    *high = std::max(base_low, base_high + grow);
  } else if (far) {
    *low = base_low + grow;
    *high = base_high + grow;
  } else {
    *low = base_low;
    *high = base_high;
  }
}

}  // namespace

std::vector<Rect> AnchorLayout::Place(Size client) const {
  std::vector<Rect> places;
  places.reserve(controls.size());
  for (const AnchoredControl& control : controls) {
    Rect r;
    PlaceAxis(control.base.left, control.base.right, (control.anchors & kAnchorLeft) != 0,
              (control.anchors & kAnchorRight) != 0, base.cx, client.cx, &r.left, &r.right);
    PlaceAxis(control.base.top, control.base.bottom, (control.anchors & kAnchorTop) != 0,
              (control.anchors & kAnchorBottom) != 0, base.cy, client.cy, &r.top, &r.bottom);
    places.push_back(r);
  }
  return places;
}

Size AnchorLayout::Minimum(Size min_stretch, int margin) const {
  Size least{0, 0};
  for (const AnchoredControl& c : controls) {
    const bool left = (c.anchors & kAnchorLeft) != 0, right = (c.anchors & kAnchorRight) != 0;
    const bool top = (c.anchors & kAnchorTop) != 0, bottom = (c.anchors & kAnchorBottom) != 0;
    const int right_gap = base.cx - c.base.right, bottom_gap = base.cy - c.base.bottom;
    // Width.
    if (left && right)
      least.cx = std::max(least.cx, c.base.left + std::min(c.base.width(), min_stretch.cx) + right_gap);
    else if (right)
      least.cx = std::max(least.cx, margin + c.base.width() + right_gap);
    else
      least.cx = std::max(least.cx, c.base.right + margin);
    // Height.
    if (top && bottom)
      least.cy = std::max(least.cy, c.base.top + std::min(c.base.height(), min_stretch.cy) + bottom_gap);
    else if (bottom)
      least.cy = std::max(least.cy, margin + c.base.height() + bottom_gap);
    else
      least.cy = std::max(least.cy, c.base.bottom + margin);
  }
  // A control held to the right edge must not run into one held to the left
  // edge whose rows it shares; the same for columns and the bottom edge.
  for (const AnchoredControl& far : controls) {
    const bool far_right = (far.anchors & kAnchorRight) && !(far.anchors & kAnchorLeft);
    const bool far_bottom = (far.anchors & kAnchorBottom) && !(far.anchors & kAnchorTop);
    for (const AnchoredControl& near : controls) {
      if (&far == &near) continue;
      const bool rows_meet = far.base.top < near.base.bottom && near.base.top < far.base.bottom;
      const bool columns_meet = far.base.left < near.base.right && near.base.left < far.base.right;
      if (far_right && !(near.anchors & kAnchorRight) && rows_meet && near.base.right <= far.base.left)
        least.cx = std::max(least.cx, near.base.right + margin + far.base.width() + (base.cx - far.base.right));
      if (far_bottom && !(near.anchors & kAnchorBottom) && columns_meet && near.base.bottom <= far.base.top)
        least.cy = std::max(least.cy, near.base.bottom + margin + far.base.height() + (base.cy - far.base.bottom));
    }
  }
  return least;
}

AnchorLayout AnchorLayout::Scaled(int from_dpi, int to_dpi) const {
  AnchorLayout scaled;
  scaled.base = {ScaleRounded(base.cx, to_dpi, from_dpi), ScaleRounded(base.cy, to_dpi, from_dpi)};
  for (const AnchoredControl& c : controls) {
    AnchoredControl s = c;
    s.base = {ScaleRounded(c.base.left, to_dpi, from_dpi), ScaleRounded(c.base.top, to_dpi, from_dpi),
              ScaleRounded(c.base.right, to_dpi, from_dpi), ScaleRounded(c.base.bottom, to_dpi, from_dpi)};
    scaled.controls.push_back(s);
  }
  return scaled;
}

Rect CentreInWorkArea(Size window, const Rect& work) {
  const int cx = std::min(window.cx, work.width());
  const int cy = std::min(window.cy, work.height());
  const int left = work.left + (work.width() - cx) / 2;
  const int top = work.top + (work.height() - cy) / 2;
  return {left, top, left + cx, top + cy};
}

Rect BringIntoWorkArea(const Rect& window, const Rect& work) {
  const int cx = std::min(window.width(), work.width());
  const int cy = std::min(window.height(), work.height());
  const int left = std::clamp(window.left, work.left, work.right - cx);
  const int top = std::clamp(window.top, work.top, work.bottom - cy);
  return {left, top, left + cx, top + cy};
}

Rect OffsetFromOther(const Rect& other, int step, const Rect& work, Size least) {
  Rect moved{other.left + step, other.top + step, other.right + step, other.bottom + step};
  moved.right = std::min(moved.right, work.right);
  moved.bottom = std::min(moved.bottom, work.bottom);
  if (moved.width() < std::min(least.cx, other.width()) || moved.height() < std::min(least.cy, other.height()))
    moved = {work.left, work.top, work.left + other.width(), work.top + other.height()};
  return BringIntoWorkArea(moved, work);
}

std::vector<int> StatusPartEdges(int width, int dpi, bool showing) {
  // At 96 DPI: "1000000 checked"; "1000000 matched, 1000000 differ, 1000000 do
  // not exist"; "N lines could not be read (the first is line N)"; "Showing
  // 1000000 of 1000000 rows" and the grip.
  const int bar = std::max(width, 0);
  int left = bar;
  const auto take = [&](int room) {
    const int part = std::min(left, ScaleRounded(room, dpi, 96));
    left -= part;
    return part;
  };
  const int checked = take(110);
  const int shown = showing ? take(210) : 0;  // to the end of the bar
  take(300);  // the unread lines
  const int counts = take(320);
  const int line = left;
  return {line, line + counts, line + counts + checked, bar - shown, -1};
}

}  // namespace hivemend
