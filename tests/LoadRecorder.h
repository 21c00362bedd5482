// A load's report as the tests read it: every message in order as an event
// ("row:" and the value's name, "0:" or "1:" and a status text, "box:" and a
// message box's text, "ended"), and the rows: in entries, or, given a store,
// listed there checked. Free of the test framework: the fuzz targets use it.
#pragma once

#include <string>
#include <vector>

#include "engine/EntryStore.h"
#include "engine/LoadPipeline.h"
#include "engine/RowFilter.h"
#include "platform/ForwardingRegistry.h"
#include "platform/Text.h"

namespace hivemend::test {

class RecordingReport : public LoadReport {
 public:
  RecordingReport() = default;
  explicit RecordingReport(EntryStore& store) : store_(&store) {}

  void AddEntry(ChangeEntry&& e) override {
    events.push_back(u"row:" + std::u16string(e.name()));
    // Rows of a load are placed as the window places them: hidden when the
    // list's filter hides them.
    const bool hidden = filter != nullptr && !filter->Matches(e);
    if (store_) store_->at(store_->Insert(std::move(e), hidden)).checked = true;
    else entries.push_back(std::move(e));
  }
  void SetStatusText(int part, const std::u16string& text) override {
    events.push_back((part == 0 ? u"0:" : part == 1 ? u"1:" : u"2:") + text);
  }
  void ShowError(const std::u16string& text) override { events.push_back(u"box:" + text); }
  bool CancelRequested() override { return ++polls > cancel_after; }
  void LoadEnded() override { events.push_back(u"ended"); }

  // The message boxes' texts and the parse issues of the status bar, run
  // together; empty for a load without problems.
  std::u16string Problems() const {
    std::u16string out;
    for (const std::u16string& e : events) {
      if (e.starts_with(u"box:") || e.substr(2).starts_with(u"Parsing issue")) out += e.substr(e.find(u':') + 1);
    }
    return out;
  }

  int polls = 0;
  int cancel_after = 1 << 30;
  const RowFilter* filter = nullptr;
  std::vector<std::u16string> events;
  std::vector<ChangeEntry> entries;

 private:
  EntryStore* store_ = nullptr;
};

// The rows a load of text against registry lists.
inline std::vector<ChangeEntry> LoadRows(std::u16string_view text, Registry& registry) {
  RecordingReport report;
  RunLoadText(text, u"t.reg", &registry, report);
  return std::move(report.entries);
}

// A registry that cannot list a key's values: a load through it asks for
// every value one by one.
struct NoValueListing : ForwardingRegistry {
  using ForwardingRegistry::ForwardingRegistry;
  long EnumValue(Handle, std::uint32_t, std::u16string*, std::uint32_t*, std::vector<std::uint8_t>*) override {
    return kRegAccessDenied;
  }
};

// The rows as the list shows them, each with what the load read of the
// registry, one text a row.
inline std::vector<std::string> RowTexts(EntryStore& store) {
  std::vector<std::string> rows;
  store.ForEach([&](EntryStore::Row& row) {
    std::u16string text;
    for (int column = 0; column < kColumnCount; ++column) text += row.entry.ColumnText(column) + u"|";
    const auto live = row.entry.live_bytes();
    rows.push_back(ToUtf8(text) + std::to_string(static_cast<int>(row.entry.live())) + ":" +
                   std::to_string(row.entry.live_type()) + ":" + std::string(live.begin(), live.end()));
  });
  return rows;
}

}  // namespace hivemend::test
