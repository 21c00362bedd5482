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
  EXPECT_TRUE(RowFilter(u"ab", {}).Narrows(RowFilter(u"A", {})));
  EXPECT_FALSE(RowFilter(u"ab", StatusChoiceAt(2)).Narrows(RowFilter(u"a", {})));
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
// show the filter before until the last step.
TEST(RowFilter, APassInStepsEndsAsApplyDoes) {
  EntryStore store;
  RowFilter applied;
  // A load's row is shown or hidden by the filter applied.
  const auto add = [&](int i) {
    ChangeEntry entry = test::MakeEntry(
        {.path = u"Key" + Decimal(static_cast<unsigned>(i % 7)), .name = u"v" + Decimal(static_cast<unsigned>(i))});
    const bool hidden = !applied.Matches(entry);
    store.Insert(std::move(entry), hidden);
  };
  for (int i = 0; i < 5000; ++i) add(i);
  ASSERT_GT(store.chunk_count(), 4u);
  for (const std::u16string text : {u"key3", u"key3", u"y3", u"v12", u""}) {
    FilterPass pass(store, RowFilter(text, {}), applied);
    size_t before = store.shown_size();
    int steps = 0;
    while (!pass.Step(std::chrono::steady_clock::duration::zero())) {
      EXPECT_EQ(store.shown_size(), before);
      if (++steps == 2) add(5000 + steps);             // a load's row: the pass starts again
      if (steps == 3) store.Remove(store.size() - 1);  // a merged row
      before = store.shown_size();
    }
    applied = pass.target();
    std::vector<size_t> shown;
    for (size_t i = 0; i < store.size(); ++i)
      if (applied.Matches(store.at(i).entry)) shown.push_back(i);
    ASSERT_EQ(store.shown_size(), shown.size()) << ToUtf8(text);
    for (size_t n = 0; n < shown.size(); ++n) ASSERT_EQ(store.ShownRow(n), shown[n]) << ToUtf8(text);
  }
  EXPECT_EQ(store.shown_size(), store.size());
}

}  // namespace
}  // namespace hivemend
