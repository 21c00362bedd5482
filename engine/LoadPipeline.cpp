#include "engine/LoadPipeline.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "engine/RegParser.h"
#include "engine/RegText.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

// Compares and lists every value as the parser delivers it.
class LoadSink final : public ParseSink {
 public:
  LoadSink(const std::u16string& path, Registry* registry, LoadReport& report, CompareCounts& counts)
      : path_(path), keys_(registry), report_(report), counts_(counts) {
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
    const CompareResult result = CompareWithRegistry(keys_, value, counts_);
    report_.AddEntry(MakeChangeEntry(KeyOf(value), value, result));
  }
  void OnProgress(std::uint32_t line_number) override {
    report_.SetStatusText(0, FormatMessageText(kProgressFormat, {Decimal(line_number), path_}));
    report_.SetStatusText(1, counts_.Text());
  }
  void OnStatusText(const std::u16string& text) override { report_.SetStatusText(0, text); }
  void OnErrorMessage(const std::u16string& text) override { report_.ShowError(text); }
  // Closes the key kept open between values.
  void Finish() { keys_.Clear(); }

 private:
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

  KeyRef key_;
  std::shared_ptr<const LoadSource> source_;
  const std::u16string& path_;
  OpenKeyCache keys_;
  LoadReport& report_;
  CompareCounts& counts_;
};

LoadSummary ParseAndList(std::u16string_view text, const std::u16string& path, Registry* registry,
                         LoadReport& report, AnsiToUtf16Fn narrow = nullptr) {
  LoadSummary summary;
  LoadSink sink(path, registry, report, summary.counts);
  const ParseResult parsed = ParseRegText(text, sink, narrow);
  sink.Finish();
  summary.line_number = parsed.line_number;
  summary.outcome = parsed.end == ParseEnd::Error ? LoadOutcome::Error : LoadOutcome::Normal;
  report.LoadEnded();
  if (summary.outcome == LoadOutcome::Normal) {
    report.SetStatusText(0, FormatMessageText(kCompletionFormat, {Decimal(parsed.line_number + 1), path}));
    report.SetStatusText(1, summary.counts.Text());
  }
  return summary;
}

LoadSummary FailedLoad(LoadReport& report, std::u16string_view text) {
  report.ShowError(std::u16string(text));
  report.LoadEnded();
  return {LoadOutcome::Error, 0, {}};
}

}  // namespace

LoadSummary RunLoad(const std::u16string& path, Registry* registry, LoadReport& report,
                    AnsiToUtf16Fn ansi_to_utf16) {
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
  return RunLoadBytes(read, std::move(raw), byte_count, path, registry, report, ansi_to_utf16);
}

LoadSummary RunLoadBytes(FileReadStatus read, std::u16string&& raw, size_t byte_count, const std::u16string& path,
                         Registry* registry, LoadReport& report, AnsiToUtf16Fn ansi_to_utf16) {
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
  return ParseAndList(text, path, registry, report, narrow);
}

LoadSummary RunLoadText(std::u16string_view text, const std::u16string& path, Registry* registry,
                        LoadReport& report) {
  return ParseAndList(text, path, registry, report);
}

}  // namespace hivemend
