// The main window's remembered layout, per user: its place and size, whether
// it was maximised, the list's column widths, order and sort, and the open
// dialog's last folder. Kept as values of one key (HKCU\Software\Hivemend by default).
// Portable: it reaches the registry through the Registry interface.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/WindowLayout.h"
#include "platform/Registry.h"

namespace hivemend {

inline constexpr char16_t kLayoutKey[] = u"Software\\Hivemend";

struct SavedLayout {
  std::optional<Rect> place;  // the restored (not maximised) window rectangle, screen pixels
  bool maximized = false;
  int dpi = 96;                    // the DPI the pixel figures were taken at
  std::vector<int> column_widths;  // pixels, one per column
  std::vector<int> column_order;   // a permutation of the column indexes
  std::u16string last_folder;      // the folder of the last file chosen to load
  int sort_column = -1;            // the column the list was last sorted by; -1: none
  bool sort_ascending = true;
};

// Reads what is there; a value that is missing or malformed is left at its
// default (a column order that is no permutation, a rectangle of no size).
SavedLayout LoadSavedLayout(Registry& registry, std::u16string_view key = kLayoutKey);
// Writes every value; false when one could not be written.
[[nodiscard]] bool StoreSavedLayout(Registry& registry, const SavedLayout& layout,
                                    std::u16string_view key = kLayoutKey);

}  // namespace hivemend
