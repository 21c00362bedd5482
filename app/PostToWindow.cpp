#include "app/PostToWindow_win.h"

#include <random>

namespace hivemend {

WPARAM PayloadTag() {
  static const WPARAM tag = [] {
    std::random_device random;
    const auto high = static_cast<unsigned long long>(random());
    // Never 0, which a message without a payload is likely to carry.
    return static_cast<WPARAM>((high << 32) ^ random()) | 1u;
  }();
  return tag;
}

}  // namespace hivemend
