// The list store against a plain vector that does the same thing slowly.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "engine/EntryStore.h"
#include "platform/Text.h"
#include "tests/EntryBuilder.h"

namespace hivemend {
namespace {

ChangeEntry Entry(std::u16string hive, int id) {
  return test::MakeEntry({.root_name = std::move(hive), .path = Decimal(static_cast<unsigned>(id))});
}

// A row packs its name and both sides' bytes into one block: every size, odd
// ones included, and every live state must come back exactly, also after the
// row has moved through the store.
TEST(ChangeEntryTest, KeepsNamesAndBytesExactly) {
  std::mt19937 rng(7);
  auto bytes = [&](size_t n) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
  };
  EntryStore store;
  std::vector<test::EntryFields> all_fields;
  for (int i = 0; i < 600; ++i) {
    test::EntryFields s;
    s.name = std::u16string(rng() % 12, static_cast<char16_t>(u'a' + i % 26)) + Decimal(static_cast<unsigned>(i));
    s.type = std::array<std::uint32_t, 4>{kRegBinary, kRegDword, kRegQword, 0x12345}[rng() % 4];
    s.file = bytes(rng() % 19);
    s.live = static_cast<LiveState>(rng() % 4);
    if (s.live == LiveState::SameBytes || s.live == LiveState::OwnBytes) s.live_type = static_cast<std::uint32_t>(rng());
    if (s.live == LiveState::OwnBytes) s.live_bytes = bytes(rng() % 19);
    s.line = static_cast<std::uint32_t>(rng());
    all_fields.push_back(s);
    store.Insert(test::MakeEntry(s));
  }
  for (size_t i = 0; i < all_fields.size(); ++i) {
    const test::EntryFields& s = all_fields[i];
    const ChangeEntry& e = store.at(i).entry;
    SCOPED_TRACE(testing::Message() << "row " << i);
    EXPECT_EQ(e.name(), s.name);
    EXPECT_EQ(e.type(), s.type);
    EXPECT_EQ(e.line(), s.line);
    EXPECT_EQ(std::vector<std::uint8_t>(e.file_bytes().begin(), e.file_bytes().end()), s.file);
    EXPECT_EQ(e.live(), s.live);
    EXPECT_EQ(e.live_type(), s.live_type);
    const std::vector<std::uint8_t> live(e.live_bytes().begin(), e.live_bytes().end());
    EXPECT_EQ(live, s.live == LiveState::SameBytes ? s.file : s.live_bytes);
  }
}

TEST(EntryStoreTest, KeepsTheFirstColumnInOrderAndEqualTextsInArrivalOrder) {
  EntryStore store;
  EXPECT_EQ(store.Insert(Entry(u"HKLM", 1)), 0u);
  EXPECT_EQ(store.Insert(Entry(u"HKCU", 2)), 0u);
  EXPECT_EQ(store.Insert(Entry(u"hklm", 3)), 2u);  // after the equal "HKLM"
  EXPECT_EQ(store.Insert(Entry(u"HKEY_USERS", 4)), 1u);
  EXPECT_EQ(store.Insert(Entry(u"", 5)), 0u);
  std::vector<std::u16string> keys;
  store.ForEach([&](EntryStore::Row& row) { keys.push_back(row.entry.key().path); });
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"5", u"2", u"4", u"1", u"3"}));
  EXPECT_FALSE(store.at(0).checked);
}

// Also the rows the filter hides: the lines that show the others follow
// every insert and removal.
TEST(EntryStoreTest, MatchesASimpleModelThroughManyInsertsAndRemovals) {
  const unsigned seed = ::testing::UnitTest::GetInstance()->random_seed();
  std::mt19937 rng(seed);
  const std::u16string roots[] = {u"HKCR", u"HKCU", u"HKLM", u"hkcu", u"HKU", u"HKEY_LOCAL_MACHINE"};
  EntryStore store;
  struct ModelRow {
    std::u16string hive;
    int step;
    bool hidden;
  };
  std::vector<ModelRow> model;
  const auto check_shown = [&] {
    std::vector<size_t> shown;
    for (size_t i = 0; i < model.size(); ++i) {
      ASSERT_EQ(store.ShownIndexOf(i), model[i].hidden ? std::nullopt : std::optional<size_t>(shown.size()));
      if (!model[i].hidden) shown.push_back(i);
    }
    ASSERT_EQ(store.shown_size(), shown.size()) << "seed " << seed;
    for (size_t n = 0; n < shown.size(); ++n) ASSERT_EQ(store.ShownRow(n), shown[n]) << "seed " << seed;
  };
  for (int step = 0; step < 20000; ++step) {
    const unsigned action = rng() % 8;
    if (model.empty() || action < 5) {
      const std::u16string& hive = roots[rng() % 6];
      const bool hidden = rng() % 3 == 0;
      const size_t index = store.Insert(Entry(hive, step), hidden);
      auto pos = std::partition_point(model.begin(), model.end(),
                                      [&](const auto& m) { return CompareNoCase(m.hive, hive) <= 0; });
      ASSERT_EQ(index, static_cast<size_t>(pos - model.begin())) << "seed " << seed << " step " << step;
      model.insert(pos, {hive, step, hidden});
    } else if (action < 7) {
      const size_t index = rng() % model.size();
      const ChangeEntry removed = store.Remove(index);
      ASSERT_EQ(removed.key().path, Decimal(static_cast<unsigned>(model[index].step))) << "seed " << seed;
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(index));
    } else {
      const size_t index = rng() % model.size();
      model[index].hidden = !model[index].hidden;
      store.SetHidden(index, model[index].hidden);
    }
    ASSERT_EQ(store.size(), model.size());
    if (step % 997 == 0) {
      for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(store.at(i).entry.key().path, Decimal(static_cast<unsigned>(model[i].step))) << "seed " << seed;
        ASSERT_EQ(store.IsHidden(store.at(i)), model[i].hidden) << "seed " << seed;
      }
      check_shown();
    }
  }
  // Flags set all at once, then a removal of many rows (as a merge does).
  store.SetHiddenWhere([](const ChangeEntry& e) { return e.key().path.back() == u'7'; });
  for (ModelRow& m : model) m.hidden = Decimal(static_cast<unsigned>(m.step)).back() == u'7';
  check_shown();
  // The same in steps: marks, chunk by chunk, change nothing shown until they
  // are committed all at once.
  const std::uint64_t version = store.version();
  for (size_t c = 0; c < store.chunk_count(); ++c)
    store.MarkHidden(c, 1, [](const ChangeEntry& e) { return e.key().path.back() == u'3'; });
  check_shown();
  store.CommitMarks(1);
  EXPECT_EQ(store.version(), version);
  for (ModelRow& m : model) m.hidden = Decimal(static_cast<unsigned>(m.step)).back() == u'3';
  check_shown();
  store.RemoveIf([](const EntryStore::Row& row) { return row.entry.key().path.back() == u'1'; });
  std::erase_if(model, [](const ModelRow& m) { return Decimal(static_cast<unsigned>(m.step)).back() == u'1'; });
  check_shown();
  EXPECT_THROW(store.at(model.size()), std::out_of_range);
  EXPECT_THROW(store.ShownRow(store.shown_size()), std::out_of_range);
  store.Clear();
  EXPECT_TRUE(store.empty());
  EXPECT_EQ(store.shown_size(), 0u);
  EXPECT_EQ(store.Insert(Entry(u"HKCU", 1)), 0u);
  EXPECT_EQ(store.shown_size(), 1u);
}

TEST(EntryStoreTest, ReorderKeepsEveryRowAndItsCheckState) {
  EntryStore store;
  for (int i = 0; i < 3000; ++i) store.Insert(Entry(u"HKCU", i));
  store.at(5).checked = true;
  store.Reorder([](const EntryStore::Row& a, const EntryStore::Row& b) {
    return CompareNoCase(b.entry.key().path, a.entry.key().path) < 0;
  });
  ASSERT_EQ(store.size(), 3000u);
  EXPECT_EQ(store.at(0).entry.key().path, u"999");
  size_t checked = 0;
  store.ForEach([&](EntryStore::Row& row) { checked += row.checked && row.entry.key().path == u"5"; });
  EXPECT_EQ(checked, 1u);
  EXPECT_EQ(store.Insert(Entry(u"HKCR", 1)), 0u);
}

}  // namespace
}  // namespace hivemend
