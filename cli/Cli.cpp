#include "cli/Cli.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "cli/HiveOption.h"
#include "cli/JsonOutput.h"
#include "engine/Baseline.h"
#include "engine/CheckRules.h"
#include "engine/EntryStore.h"
#include "engine/LoadPipeline.h"
#include "engine/MergeEffect.h"
#include "merge/HistoryFile.h"
#include "merge/Merge.h"
#include "platform/File.h"
#include "platform/HiveRegistry.h"
#include "platform/KeyKeepingRegistry.h"
#include "platform/MemoryRegistry.h"
#include "platform/Text.h"
#include "platform/Version.h"

namespace hivemend {
namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  hivemend-cli diff FILE.reg [--baseline STATE.reg] [--format tsv|json] [--exit-code]\n"
    "  hivemend-cli merge FILE.reg [--baseline STATE.reg] [--rule all|changed|missing|differ]\n"
    "                    [--history DIR] [--state-out OUT.reg] [--format tsv|json]\n"
    "  hivemend-cli undo [UNDO.reg | --last] [--baseline STATE.reg] [--history DIR]\n"
    "                    [--state-out OUT.reg] [--format tsv|json]\n"
    "  (diff, merge and undo also take --hive ROOT\\PATH=FILE, repeated, in place of\n"
    "  --baseline: offline hive files of a Windows image)\n"
    "  hivemend-cli COMMAND --help\n"
    "  hivemend-cli --version\n"
    "\n"
    "diff   Compares FILE.reg with the registry and prints one row per value.\n"
    "merge  Merges the rows that a rule selects, saving an undo file.\n"
    "undo   Merges an undo file (by default the newest), saving an undo file too.\n"
    "\n"
    "FILE.reg \"-\" reads the .REG text from standard input. Rows and results go to\n"
    "standard output, diagnostics to standard error.\n";

constexpr char kDiffHelp[] =
    "Usage: hivemend-cli diff FILE.reg [--baseline STATE.reg] [--format tsv|json] [--exit-code]\n"
    "                         [--hive ROOT\\PATH=FILE ...]\n"
    "\n"
    "Compares FILE.reg (\"-\": standard input) with the registry as the window's\n"
    "load does. With --format tsv (the default) it prints a header line, one line\n"
    "per value with the seven column texts separated by tabs (tab, CR, LF and\n"
    "backslash inside a text written as \\t, \\r, \\n and \\\\), in the order the\n"
    "window lists them, then the status bar's final texts, or the error that\n"
    "ended the load. With --format json it prints one JSON document with the rows'\n"
    "typed fields and both sides' data (see the README).\n"
    "\n"
    "A line that cannot be read exactly is never guessed at: it is a row of type\n"
    "\"UNKNOWN - ERROR\" whose data says why (\"line 12: ...\"), and it is named on\n"
    "standard error.\n"
    "\n"
    "Without --baseline the live registry is used (on Windows; elsewhere an empty\n"
    "one). With --baseline the comparison runs against a registry held in memory\n"
    "and filled from STATE.reg, its values stored as a merge would store them.\n"
    "\n"
    "Exit codes: 0 the load ended normally, 1 it ended with an error, 2 wrong\n"
    "usage or an unreadable baseline. With --exit-code: 0 merging every row would\n"
    "change nothing in the registry, 1 it would change something (a value written\n"
    "or deleted), 2 wrong usage or an unreadable baseline, 3 the load ended with\n"
    "an error or a line could not be read; with --hive, 3 also when rows lie in no\n"
    "mapped hive.\n";

constexpr char kMergeHelp[] =
    "Usage: hivemend-cli merge FILE.reg [--baseline STATE.reg] [--rule all|changed|missing|differ]\n"
    "                          [--history DIR] [--state-out OUT.reg] [--format tsv|json]\n"
    "                          [--hive ROOT\\PATH=FILE ...]\n"
    "\n"
    "Loads FILE.reg (\"-\": standard input) as diff does, checks the rows that the\n"
    "rule selects and merges them as the window's merge does: the values' present\n"
    "state is saved as an undo .REG file and failures as an error log, both in the\n"
    "history folder (or in DIR with --history). Nothing is merged when the load\n"
    "ends with an error.\n"
    "\n"
    "Rules: all (every row, the default); changed (\"CHANGED\" and \"CHANGED TYPE\");\n"
    "missing (\"MISSING\"); differ (exactly the rows whose merge would change the\n"
    "registry, the test of diff --exit-code). Lines that could not be read are\n"
    "named on standard error and never written; with \"all\" they are checked, so\n"
    "the error log names them too.\n"
    "\n"
    "With --format tsv (the default) it prints the undo file's and the error log's\n"
    "paths and the result text; with --format json one JSON document with the rows,\n"
    "whether each was checked, and the merge's result.\n"
    "\n"
    "Without --baseline the live registry is changed (on Windows; elsewhere an\n"
    "empty one held in memory). With --baseline the merge runs against the\n"
    "registry held in memory, and --state-out writes its final state, every key\n"
    "included, as a .REG file.\n"
    "\n"
    "--state-out is written whenever it is given, also when the load ended with an\n"
    "error or nothing was merged; with an unreadable baseline an older OUT.reg is\n"
    "removed.\n"
    "\n"
    "Exit codes: 0 every checked row was merged and nothing failed; 1 a checked row\n"
    "was not merged, whatever the reason (the load ended with an error, the undo\n"
    "file could not be saved, the account may not change its key, the row was\n"
    "refused or failed), a line of the file could not be read (the other rows are\n"
    "merged), a failure was recorded, or --state-out could not be written; 2\n"
    "wrong usage or an unreadable baseline or hive.\n";

constexpr char kUndoHelp[] =
    "Usage: hivemend-cli undo [UNDO.reg | --last] [--baseline STATE.reg] [--history DIR]\n"
    "                         [--state-out OUT.reg] [--format tsv|json] [--hive ROOT\\PATH=FILE ...]\n"
    "\n"
    "Merges an undo file as merge does with every row checked, and saves an undo\n"
    "file of its own, so that an undo can itself be taken back. Without UNDO.reg\n"
    "(or with --last) it takes the newest undo file in the history folder (or in\n"
    "DIR with --history). It prints the undo file it merges, then what merge\n"
    "prints.\n"
    "\n"
    "Exit codes: as merge; 2 also when the history folder holds no undo file.\n";

// The end of the help of each command that takes --hive.
constexpr char kHiveHelp[] =
    "\n"
    "With --hive ROOT\\PATH=FILE (repeatable; not with --baseline) the registry is\n"
    "made of offline hive files, each mounted at its key, for example\n"
    "--hive HKLM\\SOFTWARE=img/Windows/System32/config/SOFTWARE --hive HKCU=NTUSER.DAT.\n"
    "HKLM\\SYSTEM\\CurrentControlSet is the control set that the SYSTEM hive's\n"
    "Select\\Current names. Rows whose key lies in no mapped hive get the type\n"
    "\"UNKNOWN - ERROR\" and are never written; standard error names the keys\n"
    "that were not mapped. A file that is not a readable hive gives exit code 2.\n"
    "merge and undo write the hive files only after the undo file is saved, each\n"
    "into a new file beside it that then takes its name, and hold a lock on them:\n"
    "a second merge into the same hive at the same time is refused (exit code 2).\n"
    "The undo file names keys as FILE.reg does: undo it with the same --hive.\n";

// The name standard input goes by in the status texts.
constexpr std::u16string_view kStandardInputName = u"(standard input)";

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

enum class Format { Tsv, Json };

// A command's arguments, parsed.
struct Options {
  std::u16string file;
  std::optional<std::u16string> baseline;
  Format format = Format::Tsv;
  bool exit_code = false;
  CheckRule rule = CheckRule::All;
  std::u16string history;
  std::u16string state_out;
  bool last = false;
  bool help = false;
  std::vector<std::u16string> hives;  // --hive ROOT\PATH=FILE, in order
};

enum OptionBit : unsigned {
  kBaselineOption = 1,
  kFormatOption = 2,
  kExitCodeOption = 4,
  kRuleOption = 8,
  kHistoryOption = 16,
  kStateOutOption = 32,
  kLastOption = 64,
  kHiveOption = 128,
};

struct OptionRow {
  std::u16string_view name;
  OptionBit bit;
  bool takes_value;
};
constexpr OptionRow kOptionRows[] = {
    {u"--baseline", kBaselineOption, true}, {u"--format", kFormatOption, true},
    {u"--exit-code", kExitCodeOption, false}, {u"--rule", kRuleOption, true},
    {u"--history", kHistoryOption, true},   {u"--state-out", kStateOutOption, true},
    {u"--last", kLastOption, false},      {u"--hive", kHiveOption, true},
};

std::string Quoted(std::u16string_view text) {
  std::string quoted(1, '\'');
  AppendUtf8(text, quoted);
  quoted += '\'';
  return quoted;
}

// Fills o from args (args[0] is the command). Returns the problem with the
// first wrong argument, or an empty text.
std::string ParseOptions(const std::vector<std::u16string>& args, unsigned allowed, Options& o) {
  bool has_file = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::u16string& arg = args[i];
    if (arg == u"--help" || arg == u"-h") {
      o.help = true;
      return {};
    }
    if (arg.size() > 1 && arg[0] == u'-') {
      const OptionRow* row = nullptr;
      for (const OptionRow& r : kOptionRows) {
        if (arg == r.name && (allowed & r.bit)) row = &r;
      }
      if (row == nullptr) return "unknown option " + Quoted(arg);
      if (!row->takes_value) {
        (row->bit == kExitCodeOption ? o.exit_code : o.last) = true;
        continue;
      }
      if (i + 1 >= args.size() || args[i + 1].empty()) return "option " + Quoted(arg) + " needs a value";
      const std::u16string& value = args[++i];
      switch (row->bit) {
        case kBaselineOption: o.baseline = value; break;
        case kHistoryOption: o.history = value; break;
        case kStateOutOption: o.state_out = value; break;
        case kHiveOption: o.hives.push_back(value); break;
        case kFormatOption:
          if (EqualsNoCase(value, u"tsv")) o.format = Format::Tsv;
          else if (EqualsNoCase(value, u"json")) o.format = Format::Json;
          else return "unknown format " + Quoted(value) + " (tsv or json)";
          break;
        case kRuleOption: {
          // "none" and "invert" are the window's: a console run starts with nothing checked.
          const std::optional<CheckRule> rule = CheckRuleFromText(value);
          if (!rule || *rule == CheckRule::None || *rule == CheckRule::Invert)
            return "unknown rule " + Quoted(value) + " (all, changed, missing or differ)";
          o.rule = *rule;
          break;
        }
        default: break;
      }
    } else if (!has_file) {
      o.file = arg;
      has_file = true;
    } else {
      return "unexpected argument " + Quoted(arg);
    }
  }
  return {};
}

// One line, naming the command and what is wrong with its arguments.
int UsageError(std::FILE* err, std::u16string_view command, const std::string& problem) {
  const std::string name = ToUtf8(command);
  std::fprintf(err, "hivemend-cli %s: %s (hivemend-cli %s --help tells more)\n", name.c_str(), problem.c_str(),
               name.c_str());
  return 2;
}

Registry* system_registry_for_testing = nullptr;

// The system's registry, or the one tests put in its place.
Registry* TheSystemRegistry() {
  return system_registry_for_testing != nullptr ? system_registry_for_testing : SystemRegistry();
}

// The registry a command works on: memory filled from a baseline file when one
// is named (or when there is no system registry), else the system's. Null,
// with the reason printed, when the baseline cannot be read.
Registry* ChooseRegistry(const std::u16string* baseline, MemoryRegistry& memory, std::FILE* err) {
  if (baseline == nullptr) {
    Registry* system = TheSystemRegistry();
    return system != nullptr ? system : &memory;
  }
  std::u16string problem;
  if (!LoadBaseline(*baseline, memory, &problem)) {
    std::fprintf(err, "hivemend-cli: baseline %s: %s\n", ToUtf8(*baseline).c_str(), ToUtf8(problem).c_str());
    return nullptr;
  }
  return &memory;
}

// The registry a command works on, with the hive files behind it when --hive
// maps them.
struct ChosenRegistry {
  MemoryRegistry memory;
  std::unique_ptr<HiveRegistry> hives;
  Registry* registry = nullptr;
};

// Fills chosen; 0, or the exit code (2) after the reason is printed.
int Choose(const Options& o, std::u16string_view command, bool write, ChosenRegistry& chosen, std::FILE* err) {
  if (o.hives.empty()) {
    chosen.registry = ChooseRegistry(o.baseline ? &*o.baseline : nullptr, chosen.memory, err);
    return chosen.registry != nullptr ? 0 : 2;
  }
  if (o.baseline) return UsageError(err, command, "give either --hive or --baseline");
  if (!o.state_out.empty()) return UsageError(err, command, "--state-out needs --baseline (the hive files are the state)");
  HiveMapping mapping;
  if (const std::string problem = ReadHiveMapping(o.hives, mapping); !problem.empty()) {
    return UsageError(err, command, problem);
  }
  std::u16string problem;
  chosen.hives = OpenHiveRegistry(std::move(mapping), write, &problem);
  if (chosen.hives == nullptr) {
    std::fprintf(err, "hivemend-cli: %s\n", ToUtf8(problem).c_str());
    return 2;
  }
  chosen.registry = chosen.hives.get();
  return 0;
}

// With --hive: the rows outside every mapped hive get the error type, and
// standard error names where they lie. Returns whether there were any.
bool RefuseUnmapped(const ChosenRegistry& chosen, std::vector<ChangeEntry>& entries, std::FILE* err) {
  if (chosen.hives == nullptr) return false;
  const std::vector<std::u16string> places = RefuseRowsOutsideHives(entries, chosen.hives->mapping());
  for (const std::u16string& place : places) {
    std::fprintf(err, "hivemend-cli: %s is in no hive that --hive maps: its rows are refused\n",
                 ToUtf8(place).c_str());
  }
  return !places.empty();
}

// Keeps what a window would show: the rows in list order and the status bar.
class ConsoleReport final : public LoadReport {
 public:
  void AddEntry(ChangeEntry&& entry) override { entries.push_back(std::move(entry)); }
  void SetStatusText(int part, const std::u16string& text) override { status[part < 0 || part > 2 ? 0 : part] = text; }
  void ShowError(const std::u16string& text) override { error = text; }
  bool CancelRequested() override { return false; }
  void LoadEnded() override {}

  // The text that says why a load ended early: a message box's, or the status
  // bar's when the parser stopped.
  std::u16string_view Failure() const { return error.empty() ? std::u16string_view(status[0]) : error; }
  std::vector<std::u16string_view> StatusTexts() const {
    std::vector<std::u16string_view> texts;
    for (const std::u16string& text : status) {
      if (!text.empty()) texts.push_back(text);
    }
    return texts;
  }

  std::vector<ChangeEntry> entries;
  std::u16string status[3];
  std::u16string error;
};

// Reads a stream to its end into 16-bit units holding its bytes, as
// ReadOnlyFile::ReadAll reads a file.
FileReadStatus ReadStream(std::FILE* in, std::u16string& raw, size_t* byte_count) {
  constexpr std::uint64_t kTooLarge = std::uint64_t{1} << 32;
  std::string bytes;
  char piece[1 << 16];
  size_t n = 0;
  while ((n = std::fread(piece, 1, sizeof piece, in)) > 0) {
    bytes.append(piece, n);
    if (bytes.size() >= kTooLarge) return FileReadStatus::TooLarge;
  }
  if (std::ferror(in)) return FileReadStatus::ReadError;
  raw.assign((bytes.size() + 1) / 2, u'\0');
  if (!bytes.empty()) std::memcpy(raw.data(), bytes.data(), bytes.size());
  *byte_count = bytes.size();
  return FileReadStatus::Ok;
}

// Loads the file, or standard input for "-", decoded as a file is.
LoadSummary Load(const std::u16string& file, std::FILE* in, Registry* registry, LoadReport& report,
                 std::uint32_t key_access = kKeyRead) {
  if (file != u"-") return RunLoad(file, registry, report, ThreadAnsiToUtf16, key_access);
  std::u16string raw;
  size_t byte_count = 0;
  FileReadStatus read;
  try {
    read = ReadStream(in, raw, &byte_count);
  } catch (const std::bad_alloc&) {
    read = FileReadStatus::ReadError;
  }
  return RunLoadBytes(read, std::move(raw), byte_count, std::u16string(kStandardInputName), registry, report,
                      ThreadAnsiToUtf16, key_access);
}

// A load that ended early is also said on standard error, for scripts that
// keep only that.
void ReportLoadFailure(const std::u16string& file, const LoadSummary& summary, const ConsoleReport& report,
                       std::FILE* err) {
  if (summary.outcome == LoadOutcome::Normal) return;
  std::fprintf(err, "hivemend-cli: %s: %s\n", ToUtf8(file).c_str(), ToUtf8(EscapeField(report.Failure())).c_str());
}

// Each line that could not be read, on standard error, in the file's order.
void ReportRefusedLines(const std::u16string& file, const ConsoleReport& report, std::FILE* err) {
  for (const ChangeEntry& entry : report.entries) {
    if (!entry.refused()) continue;
    std::fprintf(err, "hivemend-cli: %s: %s\n", ToUtf8(file).c_str(), ToUtf8(EscapeField(entry.problem())).c_str());
  }
}

JsonLoadEnd JsonLoadEndOf(const LoadSummary& summary, const ConsoleReport& report, std::uint64_t would_change) {
  JsonLoadEnd end;
  end.normal = summary.outcome == LoadOutcome::Normal;
  if (!end.normal) end.error = report.Failure();
  end.status = report.StatusTexts();
  end.counts = summary.counts;
  end.would_change = would_change;
  return end;
}

// The list keeps rows in ascending order of their first column as they arrive.
void SortAsListed(std::vector<ChangeEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const ChangeEntry& a, const ChangeEntry& b) {
    return CompareNoCase(a.key().root_name, b.key().root_name) < 0;
  });
}

void WriteDiffTsv(const ConsoleReport& report, std::FILE* out) {
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
}

std::uint64_t CountWouldChange(const std::vector<ChangeEntry>& entries) {
  return static_cast<std::uint64_t>(std::count_if(entries.begin(), entries.end(), WouldChange));
}

int Diff(const Options& o, std::FILE* in, std::FILE* out, std::FILE* err) {
  ChosenRegistry chosen;
  if (const int code = Choose(o, u"diff", false, chosen, err); code != 0) return code;

  ConsoleReport report;
  const LoadSummary summary = Load(o.file, in, chosen.registry, report);
  ReportRefusedLines(o.file, report, err);
  SortAsListed(report.entries);
  const bool unmapped = RefuseUnmapped(chosen, report.entries, err);
  std::uint64_t would_change = 0;
  if (o.format == Format::Json) {
    JsonOutput json(out, "diff", o.file);
    for (const ChangeEntry& entry : report.entries) {
      const bool changes = WouldChange(entry);
      would_change += changes;
      json.Row(entry, changes);
    }
    json.LoadEnd(JsonLoadEndOf(summary, report, would_change));
  } else {
    WriteDiffTsv(report, out);
    if (o.exit_code) would_change = CountWouldChange(report.entries);
  }
  ReportLoadFailure(o.file, summary, report, err);
  const bool normal = summary.outcome == LoadOutcome::Normal;
  if (!o.exit_code) return normal ? 0 : 1;
  if (!normal || unmapped || summary.refused > 0) return 3;
  return would_change > 0 ? 1 : 0;
}

// Prints what the window would show in its message boxes.
class ConsoleMergeUi final : public MergeUi {
 public:
  bool Confirm(std::u16string_view) override { return true; }
  void Show(MergeMessage, std::u16string_view text) override { messages.emplace_back(text); }
  // A script cannot be asked: the rows it may write are merged, and the
  // others are named and reported as failures.
  UnwritableChoice ChooseForUnwritable(std::u16string_view text, bool) override {
    messages.emplace_back(text);
    return UnwritableChoice::MergeOthers;
  }

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
// back to the same keys and values, empty keys included. What the grammar
// cannot carry (a name with a line break) is left out with a comment line.
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
      if (AppendValueName(value.name, line) &&
          FormatDataPart(value.type, value.data.data(), value.data.size(), (line += u'=', line)) == DataPartResult::Ok) {
        text += line;
      } else {
        text += u"; not expressible: a value of type " + RegistryTypeText(value.type);
      }
      text += u"\r\n";
    }
  }
  return text;
}

// Writes the in-memory registry's final state; false, with the reason
// printed, when it cannot.
bool WriteStateOut(const std::u16string& state_out, const MemoryRegistry& memory, std::FILE* err) {
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(state_out), ec);
  if (!WriteUnicodeTextFile(state_out, StateText(memory.Snapshot()))) {
    std::fprintf(err, "hivemend-cli: cannot write %s\n", ToUtf8(state_out).c_str());
    return false;
  }
  return true;
}

constexpr std::u16string_view kNothingMergedText = u"Nothing was merged.";

// Loads file, checks the rows that the rule selects, merges them and prints
// the outcome: merge and undo.
int MergeFile(std::string_view command, const Options& o, const std::u16string& file, std::FILE* in,
              std::FILE* out, std::FILE* err) {
  ChosenRegistry chosen;
  if (const int code = Choose(o, command == "undo" ? u"undo" : u"merge", true, chosen, err); code != 0) {
    // No state to write: an older file of that name does not stay to pass for this run's.
    std::error_code ec;
    if (!o.state_out.empty() && o.hives.empty()) std::filesystem::remove(std::filesystem::path(o.state_out), ec);
    return code;
  }
  MemoryRegistry& memory = chosen.memory;
  // The load opens each key for the merge too, and the merge finds it open.
  KeyKeepingRegistry keeping(*chosen.registry);
  Registry* registry = &keeping;

  ConsoleReport report;
  const LoadSummary summary = Load(file, in, registry, report, kKeyRead | kKeyWrite);
  std::unique_ptr<JsonOutput> json;
  if (o.format == Format::Json) json = std::make_unique<JsonOutput>(out, command, file);
  ReportRefusedLines(file, report, err);
  ReportLoadFailure(file, summary, report, err);
  if (summary.outcome != LoadOutcome::Normal) {
    // The state is written also when nothing was merged: an older file of
    // that name never passes for this run's.
    if (!o.state_out.empty()) WriteStateOut(o.state_out, memory, err);
    if (json) {
      SortAsListed(report.entries);
      for (const ChangeEntry& entry : report.entries) json->Row(entry, WouldChange(entry), false);
      json->LoadEnd(JsonLoadEndOf(summary, report, CountWouldChange(report.entries)));
      JsonMergeEnd end;
      end.messages = {kNothingMergedText};
      json->MergeEnd(end);
    } else {
      Print(out, EscapeField(report.Failure()) + u"\n");
      Print(out, std::u16string(kNothingMergedText) + u"\n");
    }
    return 1;
  }
  RefuseUnmapped(chosen, report.entries, err);
  EntryStore store;
  for (ChangeEntry& entry : report.entries) store.Insert(std::move(entry));
  // A line that could not be read is checked by "all" alone: the merge then
  // names it in the error log.
  ApplyCheckRule(store, o.rule, RefusedRows::CheckedByAll);
  if (json) {
    std::uint64_t would_change = 0;
    store.ForEach([&](const EntryStore::Row& row) {
      const bool changes = WouldChange(row.entry);
      would_change += changes;
      json->Row(row.entry, changes, row.checked);
    });
    json->LoadEnd(JsonLoadEndOf(summary, report, would_change));
  }

  ConsoleMergeUi ui;
  auto folder = [&] { return HistoryFolderFor(o.history, true); };
  // The load just read every row's state through the same registry, which
  // holds their keys open: that reading is the state before the merge, and
  // the merge does not ask each key again when it last changed.
  const MergeResult result = RunMerge(store, *registry, ui, folder, RowsRead::JustBefore);
  // The console runs one command a process: the process's end closes the
  // system's keys all at once, sooner than a call for each.
  if (chosen.registry == SystemRegistry()) keeping.LeaveKeysToProcessEnd();

  // 1 whenever a checked row was not merged, for whatever reason (left out,
  // refused, failed, or nothing merged at all), and whenever a failure was
  // recorded.
  bool left_out = false;
  store.ForEach([&](const EntryStore::Row& row) { left_out = left_out || row.checked; });
  // Lines that could not be read make the merge incomplete, whatever the rule.
  int code = result.error_text.empty() && !left_out && summary.refused == 0 ? 0 : 1;
  if (!o.state_out.empty() && !WriteStateOut(o.state_out, memory, err)) code = 1;
  // The hive files change only now, after the undo file was saved.
  std::u16string problem;
  if (chosen.hives != nullptr && chosen.hives->Changed() && result.undo_saved && !chosen.hives->Commit(&problem)) {
    std::fprintf(err, "hivemend-cli: %s\n", ToUtf8(problem).c_str());
    ui.messages.push_back(problem);
    code = 1;
  }

  if (json) {
    JsonMergeEnd end;
    end.merged = result.confirmed;
    end.rows_merged = result.rows_taken;
    end.undo_file = result.undo_path;
    end.error_log = result.error_log_path;
    end.errors = result.error_text;
    std::vector<std::u16string> plain;
    for (const std::u16string& message : ui.messages) plain.push_back(PlainLineEnds(message));
    end.messages.assign(plain.begin(), plain.end());
    end.succeeded = code == 0;
    json->MergeEnd(end);
    return code;
  }
  if (result.confirmed) {
    Print(out, u"Undo file: " + (result.undo_saved ? result.undo_path : std::u16string(u"(none)")) + u"\n");
    Print(out, u"Error log: " +
                   (result.error_log_path.empty() ? std::u16string(u"(none)") : result.error_log_path) + u"\n");
  }
  for (const std::u16string& message : ui.messages) Print(out, PlainLineEnds(message) + u"\n");
  return code;
}

// --state-out shows the in-memory registry; the live one has its own tools.
bool StateOutWithoutMemory(const Options& o) {
  return !o.state_out.empty() && !o.baseline && TheSystemRegistry() != nullptr;
}

int Merge(const Options& o, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (o.file.empty()) return UsageError(err, u"merge", "a .REG file is needed");
  if (StateOutWithoutMemory(o)) return UsageError(err, u"merge", "--state-out needs --baseline");
  return MergeFile("merge", o, o.file, in, out, err);
}

int Undo(const Options& o, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (!o.file.empty() && o.last) return UsageError(err, u"undo", "give either UNDO.reg or --last");
  if (StateOutWithoutMemory(o)) return UsageError(err, u"undo", "--state-out needs --baseline");
  std::u16string file = o.file;
  if (file.empty()) {
    const std::u16string folder = HistoryFolderFor(o.history, false);
    file = NewestUndoFile(folder);
    if (file.empty()) {
      std::fprintf(err, "hivemend-cli undo: no undo file in %s\n", ToUtf8(folder).c_str());
      return 2;
    }
  }
  if (o.format == Format::Tsv) Print(out, u"Undoing: " + file + u"\n");
  return MergeFile("undo", o, file, in, out, err);
}

struct Command {
  std::u16string_view name;
  unsigned options;
  const char* help;
  int (*run)(const Options& o, std::FILE* in, std::FILE* out, std::FILE* err);
};

int RunDiff(const Options& o, std::FILE* in, std::FILE* out, std::FILE* err) {
  if (o.file.empty()) return UsageError(err, u"diff", "a .REG file is needed");
  return Diff(o, in, out, err);
}

constexpr Command kCommands[] = {
    {u"diff", kBaselineOption | kFormatOption | kExitCodeOption | kHiveOption, kDiffHelp, RunDiff},
    {u"merge", kBaselineOption | kFormatOption | kRuleOption | kHistoryOption | kStateOutOption | kHiveOption,
     kMergeHelp, Merge},
    {u"undo", kBaselineOption | kFormatOption | kHistoryOption | kStateOutOption | kLastOption | kHiveOption,
     kUndoHelp, Undo},
};

void PrintHelp(const Command& command, std::FILE* out) {
  std::fputs(command.help, out);
  if (command.options & kHiveOption) std::fputs(kHiveHelp, out);
}

const Command* FindCommand(std::u16string_view name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

}  // namespace

void SetSystemRegistryForTesting(Registry* registry) { system_registry_for_testing = registry; }

int RunCli(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err, std::FILE* in) {
  if (args.empty()) {
    std::fputs(kUsage, err);
    return 2;
  }
  if (args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help") {
    const Command* command = args.size() > 1 ? FindCommand(args[1]) : nullptr;
    if (command == nullptr) {
      std::fputs(kUsage, out);
    } else {
      PrintHelp(*command, out);
    }
    return 0;
  }
  if (args[0] == u"--version") {
    std::fprintf(out, "hivemend-cli %s\n", ToUtf8(kProgramVersion).c_str());
    return 0;
  }
  const Command* command = FindCommand(args[0]);
  if (command == nullptr) {
    std::fprintf(err, "hivemend-cli: unknown command %s (hivemend-cli --help lists them)\n",
                 Quoted(args[0]).c_str());
    return 2;
  }
  Options options;
  const std::string problem = ParseOptions(args, command->options, options);
  if (!problem.empty()) return UsageError(err, command->name, problem);
  if (options.help) {
    PrintHelp(*command, out);
    return 0;
  }
  return command->run(options, in, out, err);
}

}  // namespace hivemend
