// The list store against a plain vector that does the same thing slowly.
#include <gtest/gtest.h>

#include <random>

#include "engine/EntryStore.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

ChangeEntry Entry(std::u16string hive, int id) {
  ChangeEntry e;
  e.hive = std::move(hive);
  e.key = Decimal(static_cast<unsigned>(id));
  return e;
}

TEST(EntryStoreTest, KeepsTheFirstColumnInOrderAndEqualTextsInArrivalOrder) {
  EntryStore store;
  EXPECT_EQ(store.Insert(Entry(u"HKLM", 1)), 0u);
  EXPECT_EQ(store.Insert(Entry(u"HKCU", 2)), 0u);
  EXPECT_EQ(store.Insert(Entry(u"hklm", 3)), 2u);  // after the equal "HKLM"
  EXPECT_EQ(store.Insert(Entry(u"HKEY_USERS", 4)), 1u);
  EXPECT_EQ(store.Insert(Entry(u"", 5)), 0u);
  std::vector<std::u16string> keys;
  store.ForEach([&](EntryStore::Row& row) { keys.push_back(row.entry.key); });
  EXPECT_EQ(keys, (std::vector<std::u16string>{u"5", u"2", u"4", u"1", u"3"}));
  EXPECT_FALSE(store.at(0).checked);
}

TEST(EntryStoreTest, MatchesASimpleModelThroughManyInsertsAndRemovals) {
  const unsigned seed = ::testing::UnitTest::GetInstance()->random_seed();
  std::mt19937 rng(seed);
  const std::u16string roots[] = {u"HKCR", u"HKCU", u"HKLM", u"hkcu", u"HKU", u"HKEY_LOCAL_MACHINE"};
  EntryStore store;
  std::vector<std::pair<std::u16string, int>> model;
  for (int step = 0; step < 20000; ++step) {
    if (model.empty() || rng() % 4 != 0) {
      const std::u16string& hive = roots[rng() % 6];
      const size_t index = store.Insert(Entry(hive, step));
      auto pos = std::partition_point(model.begin(), model.end(),
                                      [&](const auto& m) { return CompareNoCase(m.first, hive) <= 0; });
      ASSERT_EQ(index, static_cast<size_t>(pos - model.begin())) << "seed " << seed << " step " << step;
      model.insert(pos, {hive, step});
    } else {
      const size_t index = rng() % model.size();
      const ChangeEntry removed = store.Remove(index);
      ASSERT_EQ(removed.key, Decimal(static_cast<unsigned>(model[index].second))) << "seed " << seed;
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(index));
    }
    ASSERT_EQ(store.size(), model.size());
    if (step % 997 == 0) {
      for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(store.at(i).entry.key, Decimal(static_cast<unsigned>(model[i].second))) << "seed " << seed;
      }
    }
  }
  EXPECT_THROW(store.at(model.size()), std::out_of_range);
  store.Clear();
  EXPECT_TRUE(store.empty());
  EXPECT_EQ(store.Insert(Entry(u"HKCU", 1)), 0u);
}

TEST(EntryStoreTest, ReorderKeepsEveryRowAndItsCheckState) {
  EntryStore store;
  for (int i = 0; i < 3000; ++i) store.Insert(Entry(u"HKCU", i));
  store.at(5).checked = true;
  store.Reorder([](const EntryStore::Row& a, const EntryStore::Row& b) {
    return CompareNoCase(b.entry.key, a.entry.key) < 0;
  });
  ASSERT_EQ(store.size(), 3000u);
  EXPECT_EQ(store.at(0).entry.key, u"999");
  size_t checked = 0;
  store.ForEach([&](EntryStore::Row& row) { checked += row.checked && row.entry.key == u"5"; });
  EXPECT_EQ(checked, 1u);
  EXPECT_EQ(store.Insert(Entry(u"HKCR", 1)), 0u);
}

}  // namespace
}  // namespace hivemend
