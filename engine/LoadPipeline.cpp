#include "engine/LoadPipeline.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "engine/RegParser.h"
#include "engine/RegText.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

// Compares and lists every value in the order the parser delivers them. The
// values of a key line are held until the key line ends (or a batch of them is
// full), so that the comparison knows how many rows it will ask of that key.
class LoadSink final : public ParseSink {
 public:
  LoadSink(const std::u16string& path, std::u16string_view line_count, Registry* registry, std::uint32_t key_access,
           LoadReport& report, LoadSummary& summary)
      : line_count_(line_count),
        keys_(registry, key_access),
        report_(report),
        summary_(summary),
        counts_(summary.counts) {
    // Loads are numbered in the order they start, so that a merge can take
    // the rows of several loads in the order of their files and lines.
    static std::atomic<std::uint64_t> loads{0};
    auto source = std::make_shared<LoadSource>();
    source->path = path;
    source->sequence = ++loads;
    source->clock = registry != nullptr ? registry->ChangeClock() : 0;
    source_ = std::move(source);
  }

  bool CancelRequested() override { return report_.CancelRequested(); }
  void OnValue(ParsedValue& value) override {
    if (value.form == EntryForm::Unknown && summary_.refused++ == 0) summary_.first_refused = value.line;
    if (held_ != 0 && !SameKeyLine(pending_.front(), value)) Flush(true);
    if (held_ == pending_.size()) pending_.emplace_back();
    // The parser gets a buffer back for the next line's bytes.
    ParsedValue& slot = pending_[held_++];
    std::vector<std::uint8_t> spare = std::move(slot.bytes);
    slot = std::move(value);
    value.bytes = std::move(spare);
    if (held_ == kBatch) Flush(false);
  }
  // The counts shown with a line number are those of the values up to that
  // line: progress is shown when the values before it are compared.
  void OnProgress(std::uint32_t line_number) override {
    if (held_ == 0) return ShowProgress(line_number);
    progress_.push_back({held_, line_number});
  }
  void OnStatusText(const std::u16string& text) override {
    Flush(false);
    report_.SetStatusText(0, text);
    kept_text_ = text;
  }
  // What could not be read, for status bar part 2: empty when all was read.
  // kept_text: with the parser's last status text (not when it ended the parse).
  std::u16string ProblemText(bool kept_text) const {
    std::u16string text;
    if (summary_.refused == 1) text = FormatMessageText(kOneRefusedLineFormat, {Decimal(summary_.first_refused)});
    if (summary_.refused > 1) {
      text = FormatMessageText(kRefusedLinesFormat, {Decimal(summary_.refused), Decimal(summary_.first_refused)});
    }
    if (kept_text && !kept_text_.empty()) text += (text.empty() ? u"" : u"; ") + kept_text_;
    return text;
  }
  void OnErrorMessage(const std::u16string& text) override {
    Flush(false);
    report_.ShowError(text);
  }
  // Lists the values held (also after a cancel: they were read before it)
  // and closes the key kept open between values.
  void Finish() {
    Flush(true);
    keys_.Clear();
  }

 private:
  // Views in parsed values point into the text, which outlives the parse;
  // a batch bounds what is held (and what a key read whole may hold).
  static constexpr size_t kBatch = 64;

  void ShowProgress(std::uint32_t line_number) {
    report_.SetStatusText(0, FormatMessageText(kProgressFormat, {Decimal(line_number), line_count_}));
    report_.SetStatusText(1, counts_.Text());
  }

  static bool SameKeyLine(const ParsedValue& a, const ParsedValue& b) {
    return SameText(a.root_name, b.root_name) && SameText(a.key_path, b.key_path);
  }

  // Compares and lists the values held. key_ended: no more values of their
  // key line follow.
  void Flush(bool key_ended) {
    if (held_ == 0) return;
    // Only the first batch of a key line decides how its key is read.
    keys_.ExpectRows(first_of_key_ ? held_ : 0);
    auto progress = progress_.begin();
    for (size_t i = 0; i < held_; ++i) {
      for (; progress != progress_.end() && progress->first == i; ++progress) ShowProgress(progress->second);
      const CompareResult result = CompareWithRegistry(keys_, pending_[i], counts_);
      report_.AddEntry(MakeChangeEntry(KeyOf(pending_[i]), pending_[i], result));
    }
    for (; progress != progress_.end(); ++progress) ShowProgress(progress->second);
    progress_.clear();
    held_ = 0;
    first_of_key_ = key_ended;
  }

  // The rows of one key line share its names. Consecutive values of one key
  // usually come from the same line; equal texts of another line share too.
  KeyRef KeyOf(const ParsedValue& value) {
    if (key_ && SameText(key_->root_name, value.root_name) && SameText(key_->path, value.key_path)) return key_;
    key_ = KeyRef::Make(value.root_name, value.key_path, source_);
    return key_;
  }
  static bool SameText(std::u16string_view a, std::u16string_view b) {
    // memcmp: the character traits compare char16_t texts one unit at a time.
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
  }

  std::vector<ParsedValue> pending_;  // the first held_ are values not yet listed
  size_t held_ = 0;
  std::vector<std::pair<size_t, std::uint32_t>> progress_;  // (values held before it, line number)
  bool first_of_key_ = true;
  KeyRef key_;
  std::shared_ptr<const LoadSource> source_;
  std::u16string_view line_count_;
  OpenKeyCache keys_;
  LoadReport& report_;
  LoadSummary& summary_;
  CompareCounts& counts_;
  std::u16string kept_text_;  // a problem text of the parser that the completion texts must not hide
};

// The lines that hold more than line breaks: those the parser counts.
std::uint32_t CountLines(std::u16string_view text) {
  std::uint32_t lines = 0;
  bool in_line = false;
  for (const char16_t c : text) {
    const bool is_break = c == u'\r' || c == u'\n';
    lines += !is_break && !in_line;
    in_line = !is_break;
  }
  return lines;
}

LoadSummary ParseAndList(std::u16string_view text, const std::u16string& path, Registry* registry,
                         LoadReport& report, AnsiToUtf16Fn narrow = nullptr, std::uint32_t key_access = kKeyRead) {
  LoadSummary summary;
  const std::u16string line_count = Decimal(CountLines(text));
  LoadSink sink(path, line_count, registry, key_access, report, summary);
  const ParseResult parsed = ParseRegText(text, sink, narrow);
  sink.Finish();
  summary.line_number = parsed.line_number;
  summary.outcome = parsed.end == ParseEnd::Error ? LoadOutcome::Error : LoadOutcome::Normal;
  report.LoadEnded();
  if (summary.outcome == LoadOutcome::Normal) {
    report.SetStatusText(0, parsed.end == ParseEnd::Cancelled
                                ? FormatMessageText(kLoadCancelledFormat, {Decimal(parsed.line_number + 1), line_count})
                                : FormatMessageText(kCompletionFormat, {Decimal(parsed.line_number + 1), path}));
    report.SetStatusText(1, summary.counts.Text());
  }
  const std::u16string problems = sink.ProblemText(parsed.end != ParseEnd::Error);
  if (!problems.empty()) report.SetStatusText(2, problems);
  return summary;
}

LoadSummary FailedLoad(LoadReport& report, std::u16string_view text) {
  report.ShowError(std::u16string(text));
  report.LoadEnded();
  return {LoadOutcome::Error, 0, {}};
}

}  // namespace

LoadSummary RunLoad(const std::u16string& path, Registry* registry, LoadReport& report,
                    AnsiToUtf16Fn ansi_to_utf16, std::uint32_t key_access) {
  ReadOnlyFile file;
  if (file.Open(path) != FileReadStatus::Ok) {
    return FailedLoad(report, std::u16string(kCannotLoadText) + u"\n\n" + path + u"\n" +
                                  FileOpenErrorText(file.open_error()));
  }
  std::u16string raw;
  size_t byte_count = 0;
  FileReadStatus read;
  try {
    read = file.ReadAll(raw, &byte_count);
  } catch (const std::bad_alloc&) {
    // A file too big for the memory left is reported like a failed read.
    return FailedLoad(report, kReadErrorText);
  }
  return RunLoadBytes(read, std::move(raw), byte_count, path, registry, report, ansi_to_utf16, key_access);
}

LoadSummary RunLoadBytes(FileReadStatus read, std::u16string&& raw, size_t byte_count, const std::u16string& path,
                         Registry* registry, LoadReport& report, AnsiToUtf16Fn ansi_to_utf16,
                         std::uint32_t key_access) {
  switch (read) {
    case FileReadStatus::Ok: break;
    case FileReadStatus::TooLarge: return FailedLoad(report, kTooLargeText);
    default: return FailedLoad(report, kReadErrorText);
  }
  std::u16string text;
  AnsiToUtf16Fn narrow = nullptr;
  try {
    text = DecodeRegText(std::move(raw), byte_count, ansi_to_utf16, &narrow);
  } catch (const std::bad_alloc&) {
    return FailedLoad(report, kReadErrorText);
  }
  return ParseAndList(text, path, registry, report, narrow, key_access);
}

LoadSummary RunLoadText(std::u16string_view text, const std::u16string& path, Registry* registry,
                        LoadReport& report, std::uint32_t key_access) {
  return ParseAndList(text, path, registry, report, nullptr, key_access);
}

}  // namespace hivemend
