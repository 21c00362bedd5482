// Fuzzes decoding, parsing, comparison and row texts: any bytes are taken as a
// .REG file, loaded once into an in-memory registry as a baseline and then
// compared against it. Then one malformed line is inserted after a line that
// does not continue data: it must be refused alone, every other row staying
// as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Baseline.h"
#include "engine/EntryStore.h"
#include "engine/LoadPipeline.h"
#include "engine/RegText.h"
#include "platform/MemoryRegistry.h"
#include "platform/Text.h"
#include "tests/LoadRecorder.h"

namespace {

class NullReport final : public hivemend::LoadReport {
 public:
  void AddEntry(hivemend::ChangeEntry&& entry) override {
    for (int c = 0; c < hivemend::kColumnCount; ++c) total += entry.ColumnText(c).size();
  }
  void SetStatusText(int, const std::u16string& text) override { total += text.size(); }
  void ShowError(const std::u16string& text) override { total += text.size(); }
  bool CancelRequested() override { return false; }
  void LoadEnded() override {}
  size_t total = 0;
};

constexpr std::u16string_view kInsertedName = u"hivemend fuzz: inserted";

// Where a line may be inserted without joining continued data: after the
// header, after a line that ends with a line break, when the last line before
// it that is neither blank nor a comment holds no backslash.
std::vector<size_t> InsertionPoints(std::u16string_view text) {
  std::vector<size_t> points;
  bool header = true;
  bool continues = false;
  size_t start = 0;
  for (size_t end = text.find(u'\n'); end != std::u16string_view::npos; end = text.find(u'\n', start)) {
    const std::u16string_view line = hivemend::TrimSpace(text.substr(start, end - start));
    if (!line.empty() && line.front() != u';') continues = line.find(u'\\') != std::u16string_view::npos;
    if (!line.empty() && line.find(u'\r') != std::u16string_view::npos) continues = true;  // a lone CR inside
    start = end + 1;
    if (!header && !continues) points.push_back(start);
    if (!line.empty()) header = false;
  }
  return points;
}

// The rows, each as its texts without the data of refused rows (their reasons
// name lines, which the insertion moves), sorted.
std::vector<std::string> Rows(hivemend::EntryStore& store) {
  std::vector<std::string> rows;
  store.ForEach([&](hivemend::EntryStore::Row& row) {
    if (row.entry.name() == kInsertedName) return;
    std::u16string text;
    for (int c = 0; c < hivemend::kColumnCount; ++c) {
      if (!(c == 5 && row.entry.refused())) text += row.entry.ColumnText(c);
      text += u'|';
    }
    rows.push_back(hivemend::ToUtf8(text));
  });
  std::sort(rows.begin(), rows.end());
  return rows;
}

size_t Refused(hivemend::EntryStore& store) {
  size_t refused = 0;
  store.ForEach([&](hivemend::EntryStore::Row& row) { refused += row.entry.refused(); });
  return refused;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  hivemend::AnsiToUtf16Fn narrow = nullptr;
  const std::u16string text = hivemend::DecodeRegText(bytes, hivemend::Windows1252ToUtf16, &narrow);
  hivemend::MemoryRegistry registry;
  // With the file's narrow converter: version 4 strings in hex become UTF-16.
  hivemend::LoadBaselineText(text, registry, nullptr, narrow);
  NullReport report;
  hivemend::RunLoadText(text, u"fuzz.reg", &registry, report);

  const std::vector<size_t> points = InsertionPoints(text);
  if (points.empty()) return 0;
  const size_t at = points[size % points.size()];
  static constexpr std::u16string_view kBad[] = {u"=hex:01,zz", u"=dword:123456789", u"=\"open", u" no equals",
                                                 u"=-\"x\"", u"=qword:1"};
  const std::u16string line = u"\"" + std::u16string(kInsertedName) + u"\"" + std::u16string(kBad[size % 6]) + u"\r\n";
  const std::u16string with_line = text.substr(0, at) + line + text.substr(at);
  hivemend::EntryStore plain_store, store;
  hivemend::test::RecordingReport plain_report(plain_store), line_report(store);
  const hivemend::LoadSummary plain = hivemend::RunLoadText(text, u"fuzz.reg", &registry, plain_report);
  const hivemend::LoadSummary inserted = hivemend::RunLoadText(with_line, u"fuzz.reg", &registry, line_report);
  // A load that stops early (an unknown hex type) stops at its own line.
  if (plain.outcome != hivemend::LoadOutcome::Normal) return 0;
  if (inserted.outcome != plain.outcome || Refused(store) != Refused(plain_store) + 1 ||
      Rows(store) != Rows(plain_store)) {
    std::fprintf(stderr, "an inserted malformed line changed other rows:\n%s\n", hivemend::ToUtf8(with_line).c_str());
    std::abort();
  }
  return 0;
}
