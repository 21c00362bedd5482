// Measures a whole load natively: read, decode, parse, compare against an
// in-memory registry that holds about half of the file's values, and make the
// row texts.
//
//   hivemend-bench generate VALUES OUT.reg [SEED]   writes a UTF-16 .REG file
//   hivemend-bench load FILE.reg [--keep]           loads it and reports speed
//                                                    and peak memory
//   hivemend-bench stages FILE.reg                  the processor time of each stage
//   hivemend-bench half FILE.reg OUT.reg            every key and every other value,
//                                                    to prepare a registry for a load
//   hivemend-bench empty-hive OUT                   an empty hive file, to fill through
//                                                    hivemend-cli merge --hive
//   hivemend-bench history FOLDER                   reads the merges of a history folder
// --keep also inserts every row into the list store, as the window does, then
// sorts the rows by each column in turn, as a click on its header does, and
// filters them as typing "files 12" into the filter box does, a keystroke at a time.
#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/ListRules.h"
#include "bench/RegGenerator.h"
#include "engine/Baseline.h"
#include "engine/EntryStore.h"
#include "engine/LoadPipeline.h"
#include "engine/RegParser.h"
#include "engine/RegText.h"
#include "engine/RowFilter.h"
#include "merge/HistoryFile.h"
#include "platform/MemoryRegistry.h"
#include "platform/Text.h"
#include "tests/EmptyHive.h"

namespace {

using namespace hivemend;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory now and at its peak, from /proc/self/status (kB).
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return 0;
}

// Starts measuring the peak anew (Linux: "5" to clear_refs resets VmHWM).
void ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

class BenchReport final : public LoadReport {
 public:
  explicit BenchReport(EntryStore* store) : store_(store) {}
  void AddEntry(ChangeEntry&& entry) override {
    ++rows;
    if (store_) store_->Insert(std::move(entry));
  }
  void SetStatusText(int, const std::u16string& text) override { last = text; }
  void ShowError(const std::u16string& text) override { last = text; }
  bool CancelRequested() override { return false; }
  void LoadEnded() override {}
  size_t rows = 0;
  std::u16string last;

 private:
  EntryStore* store_;
};

// Every other value line of a file (with its continuation lines), and every
// key line.
std::u16string HalfText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::u16string text = DecodeRegText(bytes, Windows1252ToUtf16);
  std::u16string half;
  RegLineSource lines(text);
  std::u16string_view line;
  bool keep = true;
  bool in_hex = false;
  while (lines.Next(&line)) {
    const bool value_line = !line.empty() && (line[0] == u'"' || line[0] == u'@');
    if (value_line && !in_hex) keep = !keep;
    if (!value_line && !in_hex) keep = true;
    if (keep) {
      half += line;
      half += u"\r\n";
    }
    in_hex = line.find(u'\\') != std::u16string_view::npos && (in_hex || line.find(u"=hex") != std::u16string_view::npos);
    if (in_hex && line.back() != u'\\') in_hex = false;
  }
  return half;
}

// Fills the registry with every other value of the file, as a merge would.
void FillHalf(const std::string& path, MemoryRegistry& registry) {
  LoadBaselineText(HalfText(path), registry, nullptr);
}

int WriteHalf(const char* path, const char* out_path) {
  const std::u16string half = HalfText(path);
  std::ofstream out(out_path, std::ios::binary);
  out.write("\xFF\xFE", 2);
  out.write(reinterpret_cast<const char*>(half.data()), static_cast<std::streamsize>(half.size() * 2));
  return 0;
}

int Generate(std::uint32_t values, const char* out_path, std::uint32_t seed) {
  const std::u16string text = bench::GenerateRegText(values, seed);
  std::ofstream out(out_path, std::ios::binary);
  out.write("\xFF\xFE", 2);
  out.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * 2));
  std::printf("wrote %u values, %zu bytes to %s\n", values, text.size() * 2 + 2, out_path);
  return 0;
}

// Processor time of each stage on its own, to see where a load's time goes.
class CountingSink final : public ParseSink {
 public:
  void OnValue(ParsedValue&) override { ++values; }
  size_t values = 0;
};

int Stages(const char* path) {
  MemoryRegistry registry;
  FillHalf(path, registry);
  double t = CpuSeconds();
  ReadOnlyFile file;
  std::u16string raw;
  size_t byte_count = 0;
  if (file.Open(FromUtf8(path)) != FileReadStatus::Ok || file.ReadAll(raw, &byte_count) != FileReadStatus::Ok) return 1;
  const double read = CpuSeconds() - t;
  t = CpuSeconds();
  const std::u16string text = DecodeRegText(std::move(raw), byte_count, Windows1252ToUtf16);
  const double decode = CpuSeconds() - t;
  t = CpuSeconds();
  CountingSink sink;
  ParseRegText(text, sink);
  const double parse = CpuSeconds() - t;
  t = CpuSeconds();
  BenchReport report(nullptr);
  RunLoadText(text, u"x", &registry, report);
  const double all = CpuSeconds() - t;
  std::printf("read %.3f s, decode %.3f s, parse %.3f s, parse+compare+texts %.3f s (%zu values)\n", read, decode,
              parse, all, sink.values);
  return 0;
}

int Load(const char* path, bool keep) {
  MemoryRegistry registry;
  FillHalf(path, registry);
  malloc_trim(0);
  ResetPeak();
  const long rss_before = StatusKb("VmRSS:");
  std::ifstream probe(path, std::ios::binary | std::ios::ate);
  const double file_mb = static_cast<double>(probe.tellg()) / (1024.0 * 1024.0);

  EntryStore store;
  BenchReport report(keep ? &store : nullptr);
  const double cpu_start = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const LoadSummary summary = RunLoad(FromUtf8(path), &registry, report, Windows1252ToUtf16);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpu_start;
  const long rss_after = StatusKb("VmHWM:");

  std::printf("file            %.1f MiB, %zu values, %u lines\n", file_mb, report.rows, summary.line_number + 1);
  std::printf("result          %s\n", ToUtf8(summary.counts.Text()).c_str());
  std::printf("time            %.3f s (%.3f s of processor time)\n", seconds, cpu);
  std::printf("speed           %.0f values/s (%.0f values per processor second)\n",
              static_cast<double>(report.rows) / seconds, static_cast<double>(report.rows) / cpu);
  std::printf("memory          %.1f MiB before the load (the registry), at most %.1f MiB more during it: %.2f x the file\n",
              rss_before / 1024.0, (rss_after - rss_before) / 1024.0, (rss_after - rss_before) / 1024.0 / file_mb);
  if (keep) {
    std::printf("sort by column ");
    for (int column = 0; column < kColumnCount; ++column) {
      const double sort_start = CpuSeconds();
      SortRows(store, column, true);
      std::printf("%d: %.0f ms%s", column, (CpuSeconds() - sort_start) * 1000,
                  column + 1 < kColumnCount ? ", " : " (processor time)\n");
    }
    const std::u16string typed = u"files 12";
    RowFilter previous;
    std::printf("filter         ");
    for (size_t n = 1; n <= typed.size(); ++n) {
      const RowFilter filter(typed.substr(0, n), {});
      const double filter_start = CpuSeconds();
      filter.Apply(store, &previous);
      std::printf(" \"%s\" %.0f ms (%zu)", ToUtf8(typed.substr(0, n)).c_str(), (CpuSeconds() - filter_start) * 1000,
                  store.shown_size());
      previous = filter;
    }
    const double clear_start = CpuSeconds();
    RowFilter().Apply(store, &previous);
    std::printf(", cleared %.0f ms (processor time)\n", (CpuSeconds() - clear_start) * 1000);
  }
  return 0;
}

int History(const char* folder) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu_start = CpuSeconds();
  const std::vector<MergeRecord> history = ReadHistory(FromUtf8(folder));
  std::printf("%zu merges read in %.0f ms (%.0f ms of processor time)\n", history.size(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1000,
              (CpuSeconds() - cpu_start) * 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "generate") == 0) {
    return Generate(static_cast<std::uint32_t>(std::stoul(argv[2])), argv[3],
                    argc > 4 ? static_cast<std::uint32_t>(std::stoul(argv[4])) : 1);
  }
  if (argc >= 3 && std::strcmp(argv[1], "stages") == 0) return Stages(argv[2]);
  if (argc >= 4 && std::strcmp(argv[1], "half") == 0) return WriteHalf(argv[2], argv[3]);
  if (argc >= 3 && std::strcmp(argv[1], "empty-hive") == 0) {
    const std::string bytes = hivemend::test::EmptyHiveBytes();
    std::ofstream out(argv[2], std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
  }
  if (argc >= 3 && std::strcmp(argv[1], "history") == 0) return History(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "load") == 0) {
    return Load(argv[2], argc > 3 && std::strcmp(argv[3], "--keep") == 0);
  }
  std::fprintf(stderr,
               "usage: hivemend-bench generate VALUES OUT.reg [SEED] | load FILE.reg [--keep] | stages FILE.reg |"
               " half FILE.reg OUT.reg | empty-hive OUT | history FOLDER\n");
  return 2;
}
