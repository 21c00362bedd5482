#include "app/ListRules.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace hivemend {

namespace {

// The texts of one column, folded (A-Z to a-z) and laid side by side. Texts
// that rows share (a key line's names, a status, a type name, the empty text,
// the placeholder) are made and ordered once. Column texts hold no NUL.
class FoldedTexts {
 public:
  explicit FoldedTexts(int column) : column_(column) {}

  // The index of the row's text.
  std::uint32_t Of(const ChangeEntry& entry) {
    const void* identity = Identity(entry);
    if (identity != nullptr) {
      const auto [it, added] = shared_.try_emplace(identity, static_cast<std::uint32_t>(spans_.size()));
      if (!added) return it->second;
    }
    scratch_.clear();
    entry.AppendColumnText(column_, scratch_, DataTextStyle::OneLine);
    if (scratch_.empty() && identity == nullptr) {
      const auto [it, added] = shared_.try_emplace(&kEmpty, static_cast<std::uint32_t>(spans_.size()));
      if (!added) return it->second;
    }
    // Blocks that are never reallocated: a million texts are not copied over
    // and over as one buffer grows.
    if (blocks_.empty() || blocks_.back().size() + scratch_.size() > blocks_.back().capacity()) {
      blocks_.emplace_back().reserve(std::max(kBlockUnits, scratch_.size()));
    }
    std::u16string& block = blocks_.back();
    const size_t start = block.size();
    for (char16_t c : scratch_) block.push_back(FoldAscii(c));
    spans_.push_back({block.data() + start, scratch_.size()});
    return static_cast<std::uint32_t>(spans_.size() - 1);
  }
  size_t size() const { return spans_.size(); }
  size_t Length(std::uint32_t index) const { return spans_[index].second; }
  // How many units texts a and b share from the start, known to be at least
  // from and counted up to limit.
  size_t CommonLength(std::uint32_t a, std::uint32_t b, size_t from, size_t limit) const {
    const auto [a_text, a_length] = spans_[a];
    const auto [b_text, b_length] = spans_[b];
    const size_t end = std::min({limit, a_length, b_length});
    size_t i = std::min(from, end);
    while (i < end && a_text[i] == b_text[i]) ++i;
    return i;
  }
  // Units depth to depth + 3 of a text as one number that orders as they do;
  // the units past the end count as 0, which comes before every unit.
  std::uint64_t Chunk(std::uint32_t index, size_t depth) const {
    const auto [text, length] = spans_[index];
    std::uint64_t chunk = 0;
    for (size_t i = depth; i < depth + 4; ++i) chunk = (chunk << 16) | (i < length ? text[i] : 0u);
    return chunk;
  }

 private:
  static constexpr char16_t kEmpty = 0;

  // What rows with the same text share, or null for a text of the row's own.
  const void* Identity(const ChangeEntry& entry) const {
    switch (column_) {
      case 0: return entry.key().root_name.data();  // the usual spellings are shared constants
      case 1: return StatusText(entry.status()).data();
      case 2: return &entry.key();
      case 4: return TypeName(entry.type()).data();
      case 5:
        switch (entry.form()) {
          case EntryForm::DeleteValue: case EntryForm::DeleteKey: return kDeletionText.data();
          case EntryForm::CreateKey: return kCreateKeyText.data();
          case EntryForm::Unknown: return kNotPresentable.data();
          default: return nullptr;
        }
      default: return nullptr;
    }
  }

  int column_;
  static constexpr size_t kBlockUnits = size_t{1} << 20;
  std::u16string scratch_;
  std::vector<std::u16string> blocks_;
  std::vector<std::pair<const char16_t*, size_t>> spans_;  // into blocks_
  std::unordered_map<const void*, std::uint32_t> shared_;
};

// The rank of every text in text order, equal texts ranked alike. A radix
// sort four units at a time: a pass reads each text only at the depth where
// it still ties with others, so the texts are read about once in all rather
// than once per comparison.
std::vector<std::uint32_t> RankTexts(const FoldedTexts& texts) {
  struct Item {
    std::uint64_t chunk;
    std::uint32_t text;
  };
  std::vector<Item> items(texts.size());
  for (std::uint32_t i = 0; i < items.size(); ++i) items[i] = {0, i};
  std::vector<std::uint32_t> rank(texts.size());
  std::uint32_t next_rank = 0;
  struct Range {
    size_t begin, end, depth;
  };
  std::vector<Range> stack{{0, items.size(), 0}};  // ranges whose texts agree up to depth
  while (!stack.empty()) {
    const Range range = stack.back();
    stack.pop_back();
    if (range.end == range.begin) continue;
    if (range.end - range.begin == 1) {
      rank[items[range.begin].text] = next_rank++;
      continue;
    }
    for (size_t i = range.begin; i < range.end; ++i) items[i].chunk = texts.Chunk(items[i].text, range.depth);
    if (items[range.begin].chunk & 0xFFFF) {
      // Texts that all go on alike (a common folder, say) skip their common
      // part at once rather than four units a pass.
      bool all_alike = true;
      for (size_t i = range.begin + 1; i < range.end && all_alike; ++i)
        all_alike = items[i].chunk == items[range.begin].chunk;
      if (all_alike) {
        size_t common = texts.Length(items[range.begin].text);
        for (size_t i = range.begin + 1; i < range.end; ++i)
          common = texts.CommonLength(items[range.begin].text, items[i].text, range.depth + 4, common);
        stack.push_back({range.begin, range.end, std::max(common, range.depth + 4)});
        continue;
      }
    }
    std::sort(items.begin() + static_cast<std::ptrdiff_t>(range.begin),
              items.begin() + static_cast<std::ptrdiff_t>(range.end),
              [](const Item& a, const Item& b) { return a.chunk < b.chunk; });
    // The runs of equal units, the last first so that the first is taken next.
    const size_t first_pushed = stack.size();
    for (size_t run = range.begin; run < range.end;) {
      size_t run_end = run + 1;
      while (run_end < range.end && items[run_end].chunk == items[run].chunk) ++run_end;
      stack.push_back({run, run_end, range.depth + 4});
      run = run_end;
    }
    std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first_pushed), stack.end());
    // Runs whose texts have ended are equal texts: ranked now, in order.
    while (stack.size() > first_pushed) {
      const Range& run = stack.back();
      if (run.end - run.begin > 1 && (items[run.begin].chunk & 0xFFFF) != 0) break;
      for (size_t i = run.begin; i < run.end; ++i) rank[items[i].text] = next_rank;
      ++next_rank;
      stack.pop_back();
    }
  }
  return rank;
}

}  // namespace

void SortRows(EntryStore& store, int column, bool ascending) {
  if (column < 0 || column >= kColumnCount) return;
  // Comparing two folded texts code unit by code unit as unsigned numbers, a
  // prefix first, is the comparison without regard to case. Each text gets its
  // rank in that order, and the rows are sorted by the ranks.
  FoldedTexts texts(column);
  std::vector<std::uint32_t> text_of_row;
  text_of_row.reserve(store.size());
  store.ForEach([&](EntryStore::Row& row) { text_of_row.push_back(texts.Of(row.entry)); });
  const std::vector<std::uint32_t> rank = RankTexts(texts);
  for (std::uint32_t& text : text_of_row) text = rank[text];
  // A stable sort keeps the order of rows that compare equal; the descending
  // order is the reverse comparison, not the reversed result.
  if (ascending) {
    store.ReorderByKeys(text_of_row, std::less<std::uint32_t>());
  } else {
    store.ReorderByKeys(text_of_row, std::greater<std::uint32_t>());
  }
}

std::u16string CheckedLinesText(EntryStore& store, const std::vector<std::u16string>& files) {
  std::vector<std::vector<std::uint32_t>> lines(files.size());
  store.ForEach([&](const EntryStore::Row& row) {
    if (!row.checked || !row.entry.key().source) return;
    const std::u16string& path = row.entry.key().source->path;
    for (size_t i = 0; i < files.size(); ++i) {
      if (EqualsNoCase(files[i], path)) {
        lines[i].push_back(row.entry.line());
        break;
      }
    }
  });
  std::u16string text;
  for (std::vector<std::uint32_t>& numbers : lines) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty()) text += u'-';
    for (size_t i = 0; i < numbers.size();) {
      size_t j = i;
      while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
      if (i > 0) text += u',';
      text += Decimal(numbers[i]);
      if (j > i) text += u'-' + Decimal(numbers[j]);
      i = j + 1;
    }
    text += u"\r\n";
  }
  return text;
}

std::optional<std::vector<std::vector<std::uint32_t>>> ParseCheckedLines(std::u16string_view text) {
  std::vector<std::vector<std::uint32_t>> files;
  // One number: decimal digits, at most 10, no more than 2^32 - 1.
  auto number = [](std::u16string_view& rest) -> std::optional<std::uint32_t> {
    std::uint64_t value = 0;
    size_t n = 0;
    while (n < rest.size() && n < 11 && rest[n] >= u'0' && rest[n] <= u'9') value = value * 10 + (rest[n++] - u'0');
    if (n == 0 || n > 10 || value > 0xFFFFFFFFu) return std::nullopt;
    rest.remove_prefix(n);
    return static_cast<std::uint32_t>(value);
  };
  while (!text.empty()) {
    const size_t end = text.find(u"\r\n");
    if (end == std::u16string_view::npos) return std::nullopt;
    std::u16string_view line = text.substr(0, end);
    text.remove_prefix(end + 2);
    std::vector<std::uint32_t>& lines = files.emplace_back();
    if (line == u"-") continue;
    while (true) {
      const auto first = number(line);
      if (!first || (!lines.empty() && *first <= lines.back())) return std::nullopt;
      std::uint32_t last = *first;
      if (!line.empty() && line.front() == u'-') {
        line.remove_prefix(1);
        const auto to = number(line);
        if (!to || *to < *first || *to - *first > 10000000) return std::nullopt;
        last = *to;
      }
      for (std::uint64_t n = *first; n <= last; ++n) lines.push_back(static_cast<std::uint32_t>(n));
      if (line.empty()) break;
      if (line.front() != u',') return std::nullopt;
      line.remove_prefix(1);
    }
  }
  return files;
}

}  // namespace hivemend
