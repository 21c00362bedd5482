// The list's filter: what a text and a status choice show, and the count of
// the rows shown while a load adds rows and a merge removes them.
#include <gtest/gtest.h>

#include "engine/LoadPipeline.h"
#include "engine/RowFilter.h"
#include "platform/MemoryRegistry.h"
#include "tests/EntryBuilder.h"
#include "tests/LoadRecorder.h"
#include "tests/RegistryValues.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::RecordingReport;

constexpr std::u16string_view kFile =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_CURRENT_USER\\Software\\Alpha]\r\n"
    u"\"Greeting\"=\"Hello World\"\r\n"      // SAME (registry: "hello world")
    u"\"Count\"=dword:0000002a\r\n"           // CHANGED (registry: 0x29)
    u"\"Blob\"=hex:de,ad,be,ef\r\n"           // MISSING
    u"\"Paths\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"  // MISSING
    u"[HKEY_CURRENT_USER\\Software\\Beta]\r\n"
    u"\"Gone\"=-\r\n"                         // CHANGED TYPE (it exists)
    u"\"Other\"=\"x\"\r\n";                   // MISSING

std::vector<std::string> ShownNames(const EntryStore& store) {
  std::vector<std::string> names;
  for (size_t n = 0; n < store.shown_size(); ++n) names.push_back(ToUtf8(store.at(store.ShownRow(n)).entry.name()));
  return names;
}

TEST(RowFilter, TextAndStatusChoiceDecideWhatIsShown) {
  MemoryRegistry registry;
  test::SetValue(registry, RegRoot::CurrentUser, u"Software\\Alpha", u"Greeting", {kRegSz, test::StringBytes(u"hello world")});
  test::SetValue(registry, RegRoot::CurrentUser, u"Software\\Alpha", u"Count", {kRegDword, {0x29, 0, 0, 0}});
  test::SetValue(registry, RegRoot::CurrentUser, u"Software\\Beta", u"Gone", {kRegBinary, {0xAB, 0xCD}});
  EntryStore store;
  RecordingReport report(store);
  RunLoadText(kFile, u"f.reg", &registry, report);
  ASSERT_EQ(store.size(), 6u);

  struct Case {
    int line;
    std::u16string text;
    size_t choice;  // StatusChoiceAt
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {__LINE__, u"", 0, {"Greeting", "Count", "Blob", "Paths", "Gone", "Other"}},
      {__LINE__, u"BETA", 0, {"Gone", "Other"}},                  // the key
      {__LINE__, u"count", 0, {"Count"}},                         // the value name
      {__LINE__, u"WORLD", 0, {"Greeting"}},                      // both data columns
      {__LINE__, u"0x29", 0, {"Count"}},                          // the registry's data
      {__LINE__, u"de ad", 0, {"Blob"}},                          // bytes as the list shows them
      {__LINE__, u"a | b", 0, {"Paths"}},                         // items as the list shows them
      {__LINE__, u"(DELETE)", 0, {"Gone"}},
      {__LINE__, u"ab cd", 0, {"Gone"}},
      {__LINE__, u"nowhere", 0, {}},
      {__LINE__, u"", 1, {"Greeting", "Count", "Blob", "Paths", "Gone", "Other"}},  // SAME differs in case
      {__LINE__, u"", 2, {"Blob", "Paths", "Other"}},             // MISSING
      {__LINE__, u"", 4, {"Greeting"}},                           // SAME
      {__LINE__, u"", 5, {"Count"}},                              // CHANGED
      {__LINE__, u"", 6, {"Gone"}},                               // CHANGED TYPE
      {__LINE__, u"alpha", 2, {"Blob", "Paths"}},
      {__LINE__, u"alp", 2, {"Blob", "Paths"}},                   // wider: looks at the rows hidden
      {__LINE__, u"alp", 0, {"Greeting", "Count", "Blob", "Paths"}},
      {__LINE__, u"alp", 5, {"Count"}},                            // narrower: at the rows shown
  };
  const RowFilter* previous = nullptr;
  RowFilter last;
  for (const Case& c : cases) {
    const RowFilter filter(c.text, StatusChoiceAt(c.choice));
    filter.Apply(store, previous);
    EXPECT_EQ(ShownNames(store), c.shown) << "case at line " << c.line;
    // The same from scratch: narrowing looks only at the rows shown.
    filter.Apply(store);
    EXPECT_EQ(ShownNames(store), c.shown) << "case at line " << c.line;
    last = filter;
    previous = &last;
  }
  // Which rows going from one filter to the next looks at.
  using enum EntryStore::Looked;
  struct Step {
    std::u16string from;
    size_t from_choice;
    std::u16string to;
    size_t to_choice;
    EntryStore::Looked looked;
  };
  const Step steps[] = {
      {u"A", 0, u"ab", 0, Shown},   {u"ab", 0, u"A", 0, Hidden},  {u"ab", 0, u"ab", 0, Shown},
      {u"a", 0, u"ab", 2, Shown},   {u"ab", 2, u"a", 0, Hidden},  {u"a", 2, u"a", 3, All},
      {u"a", 1, u"ab", 2, All},     {u"ab", 2, u"a", 1, All},     {u"ab", 0, u"b", 2, All},
      {u"ab", 3, u"", 0, Hidden},   {u"", 0, u"x", 4, Shown},     {u"ab", 0, u"ba", 0, All},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(RowFilter(step.to, StatusChoiceAt(step.to_choice))
                  .RowsToLookAt(RowFilter(step.from, StatusChoiceAt(step.from_choice))),
              step.looked)
        << ToUtf8(step.from) << " " << step.from_choice << " to " << ToUtf8(step.to) << " " << step.to_choice;
  }
  EXPECT_EQ(StatusChoiceText(0), u"All rows");
  EXPECT_EQ(StatusChoiceText(1), u"Rows that would change");
  EXPECT_EQ(StatusChoiceText(6), u"CHANGED TYPE");
}

// Rows that a load adds while the filter is set are shown or hidden as they
// come; rows that a merge takes leave the count.
TEST(RowFilter, TheCountFollowsALoadAndAMerge) {
  MemoryRegistry registry;
  EntryStore store;
  const RowFilter filter(u"alpha", {});
  filter.Apply(store);
  RecordingReport report(store);
  report.filter = &filter;
  RunLoadText(kFile, u"f.reg", &registry, report);
  EXPECT_EQ(ShowingRowsText(store.shown_size(), store.size()), u"Showing 4 of 6 rows");
  // Every row but the shown Blob merged, hidden ones too, as a merge
  // removes them: one by one, from the last.
  for (size_t i = store.size(); i-- > 0;) {
    if (store.at(i).entry.name() != u"Blob") store.Remove(i);
  }
  EXPECT_EQ(ShowingRowsText(store.shown_size(), store.size()), u"Showing 1 of 1 rows");
  EXPECT_EQ(ShownNames(store), std::vector<std::string>{"Blob"});
  store.at(0).checked = true;
  EXPECT_EQ(HiddenCheckedText(store), u"");
  store.SetHidden(0, true);
  EXPECT_EQ(HiddenCheckedText(store), u"\r\n\r\n1 of the 1 checked rows are hidden by the filter.");
}

// Applied a slice at a time (here a chunk of rows per step), a filter ends as
// when applied at once, also when rows come or go between the steps; the rows
// show the filter before until the last step. The pass notes the lines of the
// selected rows and of the focused one under the new filter. A filter applied
// lately is taken back at once while no row came or went since.
TEST(RowFilter, APassInStepsEndsAsApplyDoes) {
  EntryStore store;
  FilterSets sets;
  // A load's row is shown or hidden by the filter applied.
  const auto add = [&](int i) {
    ChangeEntry entry = test::MakeEntry(
        {.path = u"Key" + Decimal(static_cast<unsigned>(i % 7)), .name = u"v" + Decimal(static_cast<unsigned>(i))});
    const bool hidden = !sets.applied().Matches(entry);
    store.Insert(std::move(entry), hidden);
  };
  for (int i = 0; i < 5000; ++i) add(i);
  ASSERT_GT(store.chunk_count(), 4u);
  for (size_t i = 0; i < store.size(); ++i) store.at(i).selected = i % 3 != 0 && i % 500 < 40;
  store.at(1234).focused = true;
  struct Case {
    std::u16string text;
    bool rows_change;  // between the steps
    bool at_once;      // taken back without a look at the rows
  };
  const Case cases[] = {{u"key3", true, false}, {u"key3", true, false}, {u"y3", true, false}, {u"v12", true, false},
                        {u"", true, false},     {u"y3", false, false},  {u"v12", false, false}, {u"y3", false, true},
                        {u"", false, false},    {u"v12", false, true},  {u"KEY", false, false}};
  for (const Case& c : cases) {
    if (c.at_once) {
      FilterPass pass(store, RowFilter(c.text, {}), sets, /*note_selection=*/false);
      EXPECT_TRUE(pass.Step(std::chrono::steady_clock::duration::zero())) << ToUtf8(c.text);
    } else {
      FilterPass pass(store, RowFilter(c.text, {}), sets);
      size_t before = store.shown_size();
      int steps = 0;
      while (!pass.Step(std::chrono::steady_clock::duration::zero())) {
        EXPECT_EQ(store.shown_size(), before);
        if (c.rows_change && ++steps == 2) add(5000 + steps);  // a load's row: the pass starts again
        if (c.rows_change && steps == 3) store.Remove(store.size() - 1);  // a merged row
        before = store.shown_size();
      }
      const FilterPass::Selection& noted = pass.selection();
      std::vector<size_t> lines;
      for (const auto& [first, last] : noted.runs) {
        if (!lines.empty()) {
          EXPECT_LT(lines.back() + 1, first) << "runs apart";
        }
        for (size_t n = first; n <= last; ++n) lines.push_back(n);
      }
      std::vector<size_t> selected;
      std::optional<size_t> focus;
      for (size_t n = 0; n < store.shown_size(); ++n) {
        if (store.at(store.ShownRow(n)).selected) selected.push_back(n);
        if (store.at(store.ShownRow(n)).focused) focus = n;
      }
      size_t hidden_selected = 0;
      store.ForEach([&](const EntryStore::Row& row) { hidden_selected += row.selected && store.IsHidden(row); });
      EXPECT_EQ(lines, selected) << ToUtf8(c.text);
      EXPECT_EQ(noted.focus, focus) << ToUtf8(c.text);
      EXPECT_TRUE(noted.any);
      EXPECT_EQ(noted.hidden, hidden_selected > 0) << ToUtf8(c.text);
    }
    const RowFilter& applied = sets.applied();
    EXPECT_EQ(applied.text(), c.text);
    std::vector<size_t> shown;
    for (size_t i = 0; i < store.size(); ++i)
      if (applied.Matches(store.at(i).entry)) shown.push_back(i);
    ASSERT_EQ(store.shown_size(), shown.size()) << ToUtf8(c.text);
    for (size_t n = 0; n < shown.size(); ++n) ASSERT_EQ(store.ShownRow(n), shown[n]) << ToUtf8(c.text);
  }
}

}  // namespace
}  // namespace hivemend
