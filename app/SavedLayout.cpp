#include "app/SavedLayout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace hivemend {
namespace {

// Values of the key. Numbers are little-endian 32-bit signed integers.
constexpr char16_t kPlacement[] = u"WindowPlacement";  // left, top, right, bottom, maximised, DPI
constexpr char16_t kColumnWidths[] = u"ColumnWidths";
constexpr char16_t kColumnOrder[] = u"ColumnOrder";
constexpr char16_t kLastFolder[] = u"LastFolder";
constexpr char16_t kSort[] = u"Sort";  // column, ascending
constexpr size_t kMaxColumns = 64;

std::vector<std::uint8_t> Pack(const std::vector<int>& numbers) {
  std::vector<std::uint8_t> bytes;
  for (const int n : numbers) {
    const auto u = static_cast<std::uint32_t>(n);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(u >> shift));
  }
  return bytes;
}

std::optional<std::vector<int>> ReadNumbers(const RegKey& key, std::u16string_view name) {
  std::uint8_t bytes[kMaxColumns * 4];
  std::uint32_t type = 0, size = sizeof bytes;
  if (key.Query(name, &type, bytes, &size) != kRegOk || type != kRegBinary || size % 4 != 0) return std::nullopt;
  std::vector<int> numbers;
  for (std::uint32_t i = 0; i < size; i += 4)
    numbers.push_back(static_cast<int>(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                                       static_cast<std::uint32_t>(bytes[i + 3]) << 24));
  return numbers;
}

bool IsPermutation(const std::vector<int>& order) {
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i)
    if (sorted[i] != static_cast<int>(i)) return false;
  return true;
}

}  // namespace

SavedLayout LoadSavedLayout(Registry& registry, std::u16string_view key_path) {
  SavedLayout layout;
  RegKey key(registry);
  if (key.Open(RegRoot::CurrentUser, key_path, kKeyRead) != kRegOk) return layout;
  if (const auto p = ReadNumbers(key, kPlacement); p && p->size() == 6 && (*p)[2] > (*p)[0] && (*p)[3] > (*p)[1] &&
                                                    (*p)[5] >= 48 && (*p)[5] <= 960) {
    layout.place = Rect{(*p)[0], (*p)[1], (*p)[2], (*p)[3]};
    layout.maximized = (*p)[4] != 0;
    layout.dpi = (*p)[5];
  }
  if (const auto widths = ReadNumbers(key, kColumnWidths);
      widths && std::all_of(widths->begin(), widths->end(), [](int w) { return w >= 0 && w <= 10000; }))
    layout.column_widths = *widths;
  if (const auto order = ReadNumbers(key, kColumnOrder); order && IsPermutation(*order)) layout.column_order = *order;
  if (const auto sort = ReadNumbers(key, kSort);
      sort && sort->size() == 2 && (*sort)[0] >= 0 && (*sort)[0] < static_cast<int>(kMaxColumns) &&
      ((*sort)[1] == 0 || (*sort)[1] == 1)) {
    layout.sort_column = (*sort)[0];
    layout.sort_ascending = (*sort)[1] == 1;
  }
  char16_t folder[4096];
  std::uint32_t type = 0, size = sizeof folder - sizeof(char16_t);
  if (key.Query(kLastFolder, &type, reinterpret_cast<std::uint8_t*>(folder), &size) == kRegOk && type == kRegSz) {
    layout.last_folder.assign(folder, size / sizeof(char16_t));
    while (!layout.last_folder.empty() && layout.last_folder.back() == u'\0') layout.last_folder.pop_back();
  }
  return layout;
}

bool StoreSavedLayout(Registry& registry, const SavedLayout& layout, std::u16string_view key_path) {
  RegKey key(registry);
  if (key.Create(RegRoot::CurrentUser, key_path, kKeyWrite) != kRegOk) return false;
  bool ok = true;
  const auto set_numbers = [&](std::u16string_view name, const std::vector<int>& numbers) {
    const std::vector<std::uint8_t> bytes = Pack(numbers);
    ok = key.Set(name, kRegBinary, bytes.data(), static_cast<std::uint32_t>(bytes.size())) == kRegOk && ok;
  };
  if (layout.place) {
    const Rect& r = *layout.place;
    set_numbers(kPlacement, {r.left, r.top, r.right, r.bottom, layout.maximized ? 1 : 0, layout.dpi});
  }
  if (!layout.column_widths.empty() && layout.column_widths.size() <= kMaxColumns)
    set_numbers(kColumnWidths, layout.column_widths);
  if (!layout.column_order.empty() && layout.column_order.size() <= kMaxColumns)
    set_numbers(kColumnOrder, layout.column_order);
  if (layout.sort_column >= 0 && layout.sort_column < static_cast<int>(kMaxColumns))
    set_numbers(kSort, {layout.sort_column, layout.sort_ascending ? 1 : 0});
  if (!layout.last_folder.empty() && layout.last_folder.size() < 4000) {
    std::u16string text = layout.last_folder;
    text.push_back(u'\0');
    ok = key.Set(kLastFolder, kRegSz, reinterpret_cast<const std::uint8_t*>(text.data()),
                 static_cast<std::uint32_t>(text.size() * sizeof(char16_t))) == kRegOk && ok;
  }
  return ok;
}

}  // namespace hivemend
