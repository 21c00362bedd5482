// The remembered layout: what is stored comes back; what is malformed is
// ignored value by value.
#include <gtest/gtest.h>

#include "app/SavedLayout.h"
#include "platform/MemoryRegistry.h"

namespace hivemend {
namespace {

constexpr char16_t kKey[] = u"Software\\HivemendTest\\Layout";

TEST(SavedLayout, WhatIsStoredComesBack) {
  MemoryRegistry registry;
  EXPECT_FALSE(LoadSavedLayout(registry, kKey).place.has_value());
  SavedLayout layout;
  layout.place = Rect{-1800, 40, -200, 900};  // on a monitor left of the main one
  layout.maximized = true;
  layout.dpi = 144;
  layout.column_widths = {200, 90, 0, 180, 100, 300, 300};
  layout.column_order = {2, 0, 1, 3, 4, 6, 5};
  layout.last_folder = u"C:\\Users\\Me\\Exports (old)";
  layout.sort_column = 5;
  layout.sort_ascending = false;
  ASSERT_TRUE(StoreSavedLayout(registry, layout, kKey));
  const SavedLayout loaded = LoadSavedLayout(registry, kKey);
  EXPECT_EQ(loaded.place, layout.place);
  EXPECT_TRUE(loaded.maximized);
  EXPECT_EQ(loaded.dpi, 144);
  EXPECT_EQ(loaded.column_widths, layout.column_widths);
  EXPECT_EQ(loaded.column_order, layout.column_order);
  EXPECT_EQ(loaded.last_folder, layout.last_folder);
  EXPECT_EQ(loaded.sort_column, 5);
  EXPECT_FALSE(loaded.sort_ascending);
}

TEST(SavedLayout, MalformedValuesAreIgnoredOneByOne) {
  struct Case {
    int line;
    const char16_t* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  const std::vector<std::uint8_t> reversed_rect = {100, 0, 0, 0, 100, 0, 0, 0, 50, 0, 0, 0, 200, 0, 0, 0,
                                                   0,   0, 0, 0, 96,  0, 0, 0};
  const Case cases[] = {
      {__LINE__, u"WindowPlacement", kRegBinary, reversed_rect},               // right < left
      {__LINE__, u"WindowPlacement", kRegBinary, {1, 2, 3}},                   // not whole numbers
      {__LINE__, u"WindowPlacement", kRegDword, {1, 0, 0, 0}},                 // wrong type
      {__LINE__, u"ColumnOrder", kRegBinary, {0, 0, 0, 0, 0, 0, 0, 0}},        // 0, 0: no permutation
      {__LINE__, u"ColumnOrder", kRegBinary, {5, 0, 0, 0}},                    // 5 of one column
      {__LINE__, u"ColumnWidths", kRegBinary, {0xFF, 0xFF, 0xFF, 0xFF}},       // negative
      {__LINE__, u"LastFolder", kRegBinary, {'C', 0}},                         // wrong type
      {__LINE__, u"Sort", kRegBinary, {2, 0, 0, 0, 2, 0, 0, 0}},               // direction neither 0 nor 1
      {__LINE__, u"Sort", kRegBinary, {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0}},   // negative column
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    MemoryRegistry registry;
    SavedLayout good;
    good.place = Rect{10, 10, 810, 610};
    good.column_widths = {1, 2};
    good.column_order = {1, 0};
    good.last_folder = u"C:\\x";
    good.sort_column = 1;
    ASSERT_TRUE(StoreSavedLayout(registry, good, kKey));
    RegKey key(registry);
    ASSERT_EQ(key.Open(RegRoot::CurrentUser, kKey, kKeyWrite), kRegOk);
    ASSERT_EQ(key.Set(c.name, c.type, c.data.data(), static_cast<std::uint32_t>(c.data.size())), kRegOk);
    const SavedLayout loaded = LoadSavedLayout(registry, kKey);
    const std::u16string name = c.name;
    EXPECT_EQ(loaded.place.has_value(), name != u"WindowPlacement");
    EXPECT_EQ(loaded.column_order.empty(), name == u"ColumnOrder");
    EXPECT_EQ(loaded.column_widths.empty(), name == u"ColumnWidths");
    EXPECT_EQ(loaded.last_folder.empty(), name == u"LastFolder");
    EXPECT_EQ(loaded.sort_column, name == u"Sort" ? -1 : 1);
  }
}

}  // namespace
}  // namespace hivemend
