#include "cli/Cli.h"

#include <algorithm>
#include <memory>

#include "engine/Baseline.h"
#include "engine/LoadPipeline.h"
#include "platform/MemoryRegistry.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

constexpr char kUsage[] =
    "Usage:\n"
    "  hivemend-cli diff FILE.reg [--baseline STATE.reg]\n"
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
    "Exit codes: 0 the load ended normally, 1 the load ended with an error,\n"
    "2 wrong usage or an unreadable baseline.\n";

void Print(std::FILE* f, std::u16string_view text) {
  const std::string utf8 = ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), f);
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
  Registry* registry = SystemRegistry();
  if (has_baseline || registry == nullptr) registry = &memory;
  if (has_baseline) {
    std::u16string problem;
    if (!LoadBaseline(baseline, memory, &problem)) {
      std::fprintf(err, "hivemend-cli: baseline %s: %s\n", ToUtf8(baseline).c_str(), ToUtf8(problem).c_str());
      return 2;
    }
  }

  ConsoleReport report;
  const LoadSummary summary = RunLoad(file, registry, report);

  // The list keeps rows in ascending order of their first column as they arrive.
  std::stable_sort(report.entries.begin(), report.entries.end(),
                   [](const ChangeEntry& a, const ChangeEntry& b) { return CompareNoCase(a.hive, b.hive) < 0; });
  std::u16string line;
  for (int c = 0; c < 7; ++c) {
    if (c) line += u'\t';
    line += kColumnHeaders[c];
  }
  line += u'\n';
  Print(out, line);
  for (const ChangeEntry& entry : report.entries) {
    line.clear();
    for (int c = 0; c < 7; ++c) {
      if (c) line += u'\t';
      line += EscapeField(entry.Column(c));
    }
    line += u'\n';
    Print(out, line);
  }
  if (!report.error.empty()) Print(out, EscapeField(report.error) + u"\n");
  for (const std::u16string& text : report.status) {
    if (!text.empty()) Print(out, EscapeField(text) + u"\n");
  }
  return summary.outcome == LoadOutcome::Normal ? 0 : 1;
}

}  // namespace

std::u16string EscapeField(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'\t': out += u"\\t"; break;
      case u'\r': out += u"\\r"; break;
      case u'\n': out += u"\\n"; break;
      case u'\\': out += u"\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

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
  std::fprintf(err, "hivemend-cli: unknown command '%s'\n%s", ToUtf8(args[0]).c_str(), kUsage);
  return 2;
}

}  // namespace hivemend
