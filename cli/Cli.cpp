#include "cli/Cli.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "engine/Baseline.h"
#include "engine/EntryStore.h"
#include "engine/LoadPipeline.h"
#include "merge/Merge.h"
#include "platform/File.h"
#include "platform/HistoryFolder.h"
#include "platform/MemoryRegistry.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  hivemend-cli diff FILE.reg [--baseline STATE.reg]\n"
    "  hivemend-cli merge FILE.reg [--baseline STATE.reg] [--rule all|changed|missing]\n"
    "                    [--history DIR] [--state-out OUT.reg]\n"
    "  hivemend-cli --help\n"
    "\n"
    "diff   Compares FILE.reg with the registry as the window's load does and prints\n"
    "       a header line, one line per value with the seven column texts separated\n"
    "       by tabs (tab, CR, LF and backslash inside a text written as \\t, \\r, \\n\n"
    "       and \\\\), in the order the window lists them, then the status bar's\n"
    "       final texts, or the error that ended the load.\n"
    "\n"
    "       Without --baseline the live registry is used (on Windows; elsewhere an\n"
    "       empty one). With --baseline the comparison runs against a registry held\n"
    "       in memory and filled from STATE.reg, its values stored as a merge would\n"
    "       store them.\n"
    "\n"
    "merge  Loads FILE.reg as diff does, checks the rows that the rule selects\n"
    "       (all: every row, the default; changed: \"CHANGED\" and \"CHANGED TYPE\";\n"
    "       missing: \"MISSING\") and merges them as the window's merge does: the\n"
    "       values' present state is saved as an undo .REG file and failures as\n"
    "       an error log, both in the history folder (or in DIR with --history).\n"
    "       Prints the undo file's and the error log's paths and the result text.\n"
    "       Nothing is merged when the load ends with an error.\n"
    "\n"
    "       Without --baseline the live registry is changed (on Windows; elsewhere\n"
    "       an empty one held in memory). With --baseline the merge runs against\n"
    "       the registry held in memory, and --state-out writes its final state\n"
    "       as a .REG file.\n"
    "\n"
    "Exit codes: 0 the load ended normally (merge: and nothing failed), 1 the\n"
    "load ended with an error (merge: or a failure was recorded, or the undo file\n"
    "could not be written), 2 wrong usage or an unreadable baseline.\n";

void Print(std::FILE* f, std::u16string_view text) {
  const std::string utf8 = ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), f);
}

// Writes in large pieces: a stream that is not a terminal may still be
// unbuffered (the Windows C runtime's standard output under some hosts), and a
// system call per row costs more than the row.
class BufferedPrinter {
 public:
  explicit BufferedPrinter(std::FILE* f) : f_(f) {}
  BufferedPrinter(const BufferedPrinter&) = delete;
  BufferedPrinter& operator=(const BufferedPrinter&) = delete;
  ~BufferedPrinter() { Flush(); }
  void Print(std::u16string_view text) {
    buffer_ += ToUtf8(text);
    if (buffer_.size() >= kPiece) Flush();
  }
  void Flush() {
    if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), f_);
    buffer_.clear();
  }

 private:
  static constexpr size_t kPiece = 1 << 16;
  std::FILE* f_;
  std::string buffer_;
};

// The registry a command works on: memory filled from a baseline file when one
// is named (or when there is no system registry), else the system's. Null,
// with the reason printed, when the baseline cannot be read.
Registry* ChooseRegistry(const std::u16string* baseline, MemoryRegistry& memory, std::FILE* err) {
  if (baseline == nullptr) {
    Registry* system = SystemRegistry();
    return system != nullptr ? system : &memory;
  }
  std::u16string problem;
  if (!LoadBaseline(*baseline, memory, &problem)) {
    std::fprintf(err, "hivemend-cli: baseline %s: %s\n", ToUtf8(*baseline).c_str(), ToUtf8(problem).c_str());
    return nullptr;
  }
  return &memory;
}

// Keeps what a window would show: the rows in list order and the status bar.
class ConsoleReport final : public LoadReport {
 public:
  void AddEntry(ChangeEntry&& entry) override { entries.push_back(std::move(entry)); }
  void SetStatusText(int part, const std::u16string& text) override { status[part == 0 ? 0 : 1] = text; }
  void ShowError(const std::u16string& text) override { error = text; }
  bool CancelRequested() override { return false; }
  void LoadEnded() override {}

  std::vector<ChangeEntry> entries;
  std::u16string status[2];
  std::u16string error;
};

int Diff(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err) {
  std::u16string file;
  std::u16string baseline;
  bool has_baseline = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == u"--baseline" && i + 1 < args.size()) {
      baseline = args[++i];
      has_baseline = true;
    } else if (file.empty() && !args[i].starts_with(u"--")) {
      file = args[i];
    } else {
      std::fprintf(err, "hivemend-cli: unexpected argument '%s'\n%s", ToUtf8(args[i]).c_str(), kUsage);
      return 2;
    }
  }
  if (file.empty()) {
    std::fprintf(err, "hivemend-cli: diff needs a .REG file\n%s", kUsage);
    return 2;
  }

  MemoryRegistry memory;
  Registry* registry = ChooseRegistry(has_baseline ? &baseline : nullptr, memory, err);
  if (registry == nullptr) return 2;

  ConsoleReport report;
  const LoadSummary summary = RunLoad(file, registry, report);

  // The list keeps rows in ascending order of their first column as they arrive.
  std::stable_sort(report.entries.begin(), report.entries.end(), [](const ChangeEntry& a, const ChangeEntry& b) {
    return CompareNoCase(a.key().root_name, b.key().root_name) < 0;
  });
  BufferedPrinter printer(out);
  printer.Print(TabSeparatedHeader());
  std::u16string line;
  for (const ChangeEntry& entry : report.entries) {
    line.clear();
    AppendTabSeparatedRow(entry, line);
    printer.Print(line);
  }
  if (!report.error.empty()) printer.Print(EscapeField(report.error) + u"\n");
  for (const std::u16string& text : report.status) {
    if (!text.empty()) printer.Print(EscapeField(text) + u"\n");
  }
  return summary.outcome == LoadOutcome::Normal ? 0 : 1;
}

// Prints what the window would show in its message boxes.
class ConsoleMergeUi final : public MergeUi {
 public:
  bool Confirm(std::u16string_view) override { return true; }
  void Show(MergeMessage, std::u16string_view text) override { messages.emplace_back(text); }

  std::vector<std::u16string> messages;
};

// Console output uses plain line ends.
std::u16string PlainLineEnds(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    out += text[i];
  }
  return out;
}

// A registry held in memory as .REG text that the program's own loader reads
// back to the same values. What the grammar cannot carry (types other than the
// six, strings with line breaks, names ending in a backslash) is left out with
// a comment line.
std::u16string StateText(const std::vector<MemoryRegistry::Key>& keys) {
  std::u16string text(kUndoHeader);
  for (const MemoryRegistry::Key& key : keys) {
    text += u'[';
    text += RootLongName(key.root);
    text += u'\\';
    text += key.path;
    text += u"]\r\n";
    for (const MemoryRegistry::Value& value : key.values) {
      std::u16string line;
      if (value.name.empty()) {
        line = u"@=";
      } else {
        line = u"\"" + EscapeRegText(value.name) + u"\"=";
      }
      const bool name_ok = value.name.empty() || (value.name.back() != u'\\' &&
                                                   value.name.find_first_of(u"\r\n") == std::u16string::npos);
      if (name_ok && FormatDataPart(value.type, value.data.data(), value.data.size(), line) == DataPartResult::Ok) {
        text += line;
      } else {
        text += u"; not expressible: a value of type " + RegistryTypeText(value.type);
      }
      text += u"\r\n";
    }
  }
  return text;
}

enum class CheckRule { All, Changed, Missing };

bool RuleChecks(CheckRule rule, EntryStatus status) {
  switch (rule) {
    case CheckRule::All: return true;
    case CheckRule::Changed: return status == EntryStatus::Changed || status == EntryStatus::ChangedType;
    case CheckRule::Missing: return status == EntryStatus::Missing;
  }
  return false;
}

int Merge(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err) {
  std::u16string file, baseline, history, state_out;
  bool has_baseline = false;
  CheckRule rule = CheckRule::All;
  auto usage = [&](const std::string& problem) {
    std::fprintf(err, "hivemend-cli: %s\n%s", problem.c_str(), kUsage);
    return 2;
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const bool has_value = i + 1 < args.size();
    if (args[i] == u"--baseline" && has_value) {
      baseline = args[++i];
      has_baseline = true;
    } else if (args[i] == u"--rule" && has_value) {
      const std::u16string& name = args[++i];
      if (EqualsNoCase(name, u"all")) rule = CheckRule::All;
      else if (EqualsNoCase(name, u"changed")) rule = CheckRule::Changed;
      else if (EqualsNoCase(name, u"missing")) rule = CheckRule::Missing;
      else return usage("unknown rule '" + ToUtf8(name) + "'");
    } else if (args[i] == u"--history" && has_value && !args[i + 1].empty()) {
      history = args[++i];
    } else if (args[i] == u"--state-out" && has_value && !args[i + 1].empty()) {
      state_out = args[++i];
    } else if (file.empty() && !args[i].starts_with(u"--")) {
      file = args[i];
    } else {
      return usage("unexpected argument '" + ToUtf8(args[i]) + "'");
    }
  }
  if (file.empty()) return usage("merge needs a .REG file");

  if (!state_out.empty() && !has_baseline && SystemRegistry() != nullptr)
    return usage("--state-out needs --baseline");
  MemoryRegistry memory;
  Registry* registry = ChooseRegistry(has_baseline ? &baseline : nullptr, memory, err);
  if (registry == nullptr) return 2;

  ConsoleReport report;
  const LoadSummary summary = RunLoad(file, registry, report);
  if (summary.outcome != LoadOutcome::Normal) {
    Print(out, EscapeField(report.error.empty() ? report.status[0] : report.error) + u"\n");
    Print(out, u"Nothing was merged.\n");
    return 1;
  }
  EntryStore store;
  for (ChangeEntry& entry : report.entries) {
    const bool checked = RuleChecks(rule, entry.status());
    store.at(store.Insert(std::move(entry))).checked = checked;
  }

  ConsoleMergeUi ui;
  auto folder = [&]() -> std::u16string {
    if (history.empty()) return HistoryFolder();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(history), ec);
    return history;
  };
  const MergeResult result = RunMerge(store, *registry, ui, folder);

  if (result.confirmed) {
    Print(out, u"Undo file: " + (result.undo_saved ? result.undo_path : std::u16string(u"(none)")) + u"\n");
    Print(out, u"Error log: " +
                   (result.error_log_path.empty() ? std::u16string(u"(none)") : result.error_log_path) + u"\n");
  }
  for (const std::u16string& message : ui.messages) Print(out, PlainLineEnds(message) + u"\n");

  int code = result.error_text.empty() && (result.undo_saved || !result.confirmed) ? 0 : 1;
  if (!state_out.empty()) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(state_out), ec);
    if (!WriteUnicodeTextFile(state_out, StateText(memory.Snapshot()))) {
      std::fprintf(err, "hivemend-cli: cannot write %s\n", ToUtf8(state_out).c_str());
      code = 1;
    }
  }
  return code;
}

}  // namespace

int RunCli(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err) {
  if (args.empty()) {
    std::fputs(kUsage, err);
    return 2;
  }
  if (args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help") {
    std::fputs(kUsage, out);
    return 0;
  }
  if (args[0] == u"diff") return Diff(args, out, err);
  if (args[0] == u"merge") return Merge(args, out, err);
  std::fprintf(err, "hivemend-cli: unknown command '%s'\n%s", ToUtf8(args[0]).c_str(), kUsage);
  return 2;
}

}  // namespace hivemend
