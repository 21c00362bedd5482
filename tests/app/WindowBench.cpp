// Benchmark (not a test): one large .REG file loaded into the real main window
// against the real registry, then every column sorted.
//
//   app_window_bench.exe FILE.reg
//   app_window_bench.exe --details
//   app_window_bench.exe --merge FILE.reg
//   app_window_bench.exe --history FOLDER
//
// Prints the time from the load command to the completion text, the longest
// time the window took to answer a WM_NULL meanwhile, the time of each
// column sort including the repaint, and for each keystroke typed into the
// filter box (a text typed and erased again, a row selected) the time until
// the status bar shows its result, with the longest WM_NULL answer while
// typing. With --details: the time from the
// command to a shown, painted details view of a 1 MB binary value whose file
// and registry sides differ in one byte (the value is made below
// HKCU\Software\HivemendBench and removed again). With --merge: FILE.reg
// loaded, every row checked and merged (into the registry: run it in a
// registry that may change); the time from the confirmation to the outcome,
// the longest time the window took to answer a WM_NULL meanwhile, and how
// often the progress text changed. With --history: the time from File >
// "History..." to the shown dialog listing the merges of FOLDER (taken as the
// history folder).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/MainDialog_win.h"
#include "resources/resource.h"
#include "tests/app/WindowTestSupport_win.h"

using namespace hivemend;
using namespace hivemend::testing_support;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::u16string StatusText(HWND status, int part) {
  wchar_t text[4096] = L"";
  SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
  return AsU16(text);
}

// How the window answers while it works: a WM_NULL every 20 ms, and beside it
// a plain round trip to the system (under Wine: its server) that involves no
// window; when both stall at the same moment, the window was waiting for the
// system, not for itself. Times are ms after origin.
class AnswerWatch {
 public:
  AnswerWatch(HWND window, Clock::time_point origin) : origin_(origin) {
    pinger_ = std::thread([this, window] {
      while (running_) {
        const auto start = Clock::now();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
        const double ms = Ms(Clock::now() - start);
        Keep(ms, start, worst_answer, worst_at);
        if (ms > 100) slow_answers.push_back({Ms(start - origin_), ms});
        Sleep(20);
      }
    });
    prober_ = std::thread([this] {
      const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      while (running_) {
        const auto start = Clock::now();
        WaitForSingleObject(never, 0);
        Keep(Ms(Clock::now() - start), start, worst_plain, worst_plain_at);
        Sleep(20);
      }
      CloseHandle(never);
    });
  }
  ~AnswerWatch() { Stop(); }
  void Stop() {
    running_ = false;
    if (pinger_.joinable()) pinger_.join();
    if (prober_.joinable()) prober_.join();
  }
  void PrintSlowAnswers() const {
    std::printf(" answers over 100 ms:");
    for (const auto& [at, ms] : slow_answers) std::printf(" %.1f ms at %.0f ms;", ms, at);
    std::printf(slow_answers.empty() ? " none\n" : "\n");
  }

  double worst_answer = 0, worst_at = 0, worst_plain = 0, worst_plain_at = 0;
  std::vector<std::pair<double, double>> slow_answers;  // (sent at, ms)

 private:
  void Keep(double ms, Clock::time_point start, double& worst, double& at) const {
    if (ms > worst) {
      worst = ms;
      at = Ms(start - origin_);
    }
  }
  Clock::time_point origin_;
  std::atomic<bool> running_{true};
  std::thread pinger_, prober_;
};

// The main window as the program shows it, on a thread of its own, with a
// layout of its own (a sort remembered from another run would sort the rows
// when a load ends); closed at the end, and the benchmark's keys removed.
class BenchWindow {
 public:
  explicit BenchWindow(MainDialogOptions options) {
    options.layout_key = u"Software\\HivemendBench\\Layout";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\HivemendBench\\Layout");
    ui_ = std::thread([this, options = std::move(options)] {
      thread_ = GetCurrentThreadId();
      ShowMainDialog(options);
    });
    WaitUntil([&] { return thread_ != 0 && (window_ = FindOwnedDialog(thread_, nullptr)) != nullptr; });
  }
  ~BenchWindow() {
    if (window_) PostMessageW(window_, WM_COMMAND, IDM_EXIT, 0);
    ui_.join();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\HivemendBench");
  }
  BenchWindow(const BenchWindow&) = delete;
  BenchWindow& operator=(const BenchWindow&) = delete;
  // None when the window did not show.
  HWND window() const { return window_; }
  DWORD thread() const { return thread_; }
  HWND status() const { return FindWindowExW(window_, nullptr, STATUSCLASSNAMEW, nullptr); }

 private:
  std::atomic<DWORD> thread_{0};
  HWND window_ = nullptr;
  std::thread ui_;
};

// The details view of a 1 MB binary value, both sides.
int DetailsBench() {
  constexpr size_t kSize = 1 << 20;
  const wchar_t* key_path = L"Software\\HivemendBench\\Details";
  std::vector<std::uint8_t> bytes(kSize);
  for (size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 1;
  RegSetValueExW(key, L"Big", 0, REG_BINARY, bytes.data(), static_cast<DWORD>(kSize));
  RegCloseKey(key);
  bytes[kSize / 2] ^= 0xFF;
  std::u16string body = u"[HKEY_CURRENT_USER\\Software\\HivemendBench\\Details]\r\n\"Big\"=hex:";
  constexpr char16_t kDigits[] = u"0123456789abcdef";
  for (size_t i = 0; i < kSize; ++i) {
    body += kDigits[bytes[i] >> 4];
    body += kDigits[bytes[i] & 15];
    if (i + 1 < kSize) body += (i % 25 == 24) ? std::u16string_view(u",\\\r\n  ") : std::u16string_view(u",");
  }
  body += u"\r\n";
  TempFolder folder;
  const std::u16string file = folder.WriteReg(u"details-bench.reg", body);

  MainDialogOptions options;
  options.startup_arguments = {file};
  const BenchWindow bench(options);
  const HWND window = bench.window();
  const DWORD ui_thread = bench.thread();
  const HWND list = window ? GetDlgItem(window, IDC_CHANGE_LIST) : nullptr;
  const HWND status = window ? bench.status() : nullptr;
  int result = 1;
  if (window && WaitUntil([&] { return StatusText(status, 0).rfind(u"Read ", 0) == 0; }, std::chrono::minutes(2))) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    const auto start = Clock::now();
    PostMessageW(window, WM_COMMAND, IDM_ROW_DETAILS, 0);
    HWND details = nullptr;
    WaitUntil([&] { return (details = FindOwnedDialog(ui_thread, window)) != nullptr; }, std::chrono::seconds(30));
    if (details) {
      RedrawWindow(details, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(details, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
      std::printf("details of a 1 MB binary value, both sides, shown and painted: %.0f ms\n", Ms(Clock::now() - start));
      PostMessageW(details, WM_COMMAND, IDCANCEL, 0);
      WaitUntil([&] { return !IsWindow(details); });
      result = 0;
    }
  }
  return result;
}

// Answers the next box titled "Hivemend" of the thread with button; returns
// false when none came.
bool AnswerBox(DWORD thread, HWND window, int button, std::chrono::seconds wait) {
  HWND box = nullptr;
  if (!WaitUntil([&] { return (box = FindOwnedDialog(thread, window, u"Hivemend")) != nullptr; }, wait)) return false;
  PostMessageW(box, WM_COMMAND, button, 0);
  return WaitUntil([&] { return !IsWindow(box); });
}

int MergeBench(const std::u16string& file) {
  MainDialogOptions options;
  options.startup_arguments = {file};
  const BenchWindow bench(options);
  const HWND window = bench.window();
  const DWORD ui_thread = bench.thread();
  if (!window) return 1;
  const HWND status = bench.status();
  if (!WaitUntil([&] { return StatusText(status, 0).rfind(u"Read ", 0) == 0; }, std::chrono::minutes(10))) return 1;
  const int rows = static_cast<int>(SendMessageW(GetDlgItem(window, IDC_CHANGE_LIST), LVM_GETITEMCOUNT, 0, 0));
  const HWND combo = GetDlgItem(window, IDC_CHECK_RULE);
  SendMessageW(combo, CB_SETCURSEL, SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                 reinterpret_cast<LPARAM>(L"All")), 0);
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_CHECK_RULE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));

  std::atomic<bool> merging{true};
  std::atomic<bool> rows_phase{false};  // from the Yes to the outcome's box
  std::atomic<double> worst_answer{0};
  std::atomic<double> worst_rows{0};
  std::thread pinger([&] {
    while (merging) {
      const bool rows = rows_phase;
      const auto start = Clock::now();
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
      const double ms = Ms(Clock::now() - start);
      worst_answer = std::max(worst_answer.load(), ms);
      if (rows && rows_phase) worst_rows = std::max(worst_rows.load(), ms);
      Sleep(20);
    }
  });
  // A plain round trip to the system on another thread: when it stalls with
  // the window, the window waited for the system (under Wine: its server
  // saving the registry the merge changed).
  std::atomic<double> worst_plain{0};
  std::thread prober([&] {
    const HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    while (merging) {
      const auto start = Clock::now();
      WaitForSingleObject(never, 0);
      worst_plain = std::max(worst_plain.load(), Ms(Clock::now() - start));
      Sleep(20);
    }
    CloseHandle(never);
  });
  // The progress text as the user sees it, read every 20 ms.
  int changes = 0;
  double longest_still = 0;
  std::thread watcher([&] {
    std::u16string last;
    auto last_change = Clock::now();
    while (merging) {
      const std::u16string text = StatusText(status, 0);
      if (text != last && text.rfind(u"Merging row", 0) == 0) {
        if (last.rfind(u"Merging row", 0) == 0) longest_still = std::max(longest_still, Ms(Clock::now() - last_change));
        ++changes;
        last_change = Clock::now();
      }
      last = text;
      Sleep(20);
    }
  });
  PostMessageW(window, WM_COMMAND, IDC_MERGE, 0);
  const bool confirmed = AnswerBox(ui_thread, window, IDYES, std::chrono::seconds(60));
  const auto start = Clock::now();
  rows_phase = true;
  const bool outcome = confirmed && WaitUntil([&] { return FindOwnedDialog(ui_thread, window, u"Hivemend") != nullptr; },
                                              std::chrono::seconds(600));
  rows_phase = false;
  const bool ended = outcome && AnswerBox(ui_thread, window, IDOK, std::chrono::seconds(10));
  const double merge_ms = Ms(Clock::now() - start);
  merging = false;
  pinger.join();
  prober.join();
  watcher.join();
  std::printf("merge of %d rows, confirmation to outcome: %.0f ms%s\n", rows, merge_ms, ended ? "" : " (no outcome)");
  std::printf("longest WM_NULL answer from the Yes to the outcome's box: %.1f ms; with the boxes shown: %.1f ms; "
              "longest plain system round trip: %.1f ms\n",
              worst_rows.load(), worst_answer.load(), worst_plain.load());
  std::printf("\"Merging row N of M\" changed %d times, at most %.0f ms apart\n", changes, longest_still);
  return ended ? 0 : 1;
}

int HistoryBench(const std::u16string& folder) {
  MainDialogOptions options;
  options.history_folder = [&] { return folder; };
  const BenchWindow bench(options);
  const HWND window = bench.window();
  const DWORD ui_thread = bench.thread();
  if (!window) return 1;
  const auto start = Clock::now();
  PostMessageW(window, WM_COMMAND, IDM_HISTORY, 0);
  HWND dialog = nullptr;
  const bool shown = WaitUntil([&] {
    return (dialog = FindOwnedDialog(ui_thread, window, u"Merge history")) != nullptr;
  }, std::chrono::seconds(60));
  if (shown) UpdateWindow(dialog);
  const double ms = Ms(Clock::now() - start);
  std::printf("History... to the shown dialog: %.0f ms (%s)\n", ms,
              shown ? ToUtf8(WindowText(GetDlgItem(dialog, IDC_HISTORY_COUNT))).c_str() : "not shown");
  if (shown) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  WaitUntil([&] { return !IsWindow(dialog); });
  return shown ? 0 : 1;
}

// Types a text into the filter box and erases it again, a keystroke every
// 150 ms or when the last one's result shows, whichever is later, with one
// row selected, which is to be the one selected at the end again; then F3,
// F3 and Shift+F3.
void FilterKeystrokes(HWND window, HWND status) {
  const HWND box = GetDlgItem(window, IDC_FILTER_TEXT);
  const HWND list = GetDlgItem(window, IDC_CHANGE_LIST);
  LVITEMW item{};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, 5, reinterpret_cast<LPARAM>(&item));
  const auto typing_start = Clock::now();
  AnswerWatch watch(window, typing_start);
  const std::wstring text = L"plugins\\1";
  std::vector<wchar_t> keys(text.begin(), text.end());
  keys.insert(keys.end(), text.size(), L'\b');
  double slowest = 0;
  for (const wchar_t key : keys) {
    const auto start = Clock::now();
    // Returns once the box has taken the key and the first slice has run.
    SendMessageW(box, WM_CHAR, key, 0);
    WaitUntil([&] { return !StatusText(status, 4).starts_with(u"Filtering"); }, std::chrono::seconds(60));
    const double ms = Ms(Clock::now() - start);
    slowest = std::max(slowest, ms);
    std::printf("filter \"%s\": %s after %.0f ms (sent %.0f ms after the first)\n", ToUtf8(WindowText(box)).c_str(),
                ToUtf8(StatusText(status, 4)).c_str(), ms, Ms(start - typing_start));
    Sleep(static_cast<DWORD>(std::max(0.0, 150 - ms)));
  }
  const auto selected_line = [&] {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  };
  std::printf("selected line at the end: %d (5 before typing)\n", selected_line());
  // F3, F3 and Shift+F3 in the box: the next, next and previous row shown.
  for (const int command : {IDM_FIND_NEXT, IDM_FIND_NEXT, IDM_FIND_PREVIOUS}) {
    const auto start = Clock::now();
    SendMessageW(window, WM_COMMAND, command, 0);
    const double ms = Ms(Clock::now() - start);
    slowest = std::max(slowest, ms);
    std::printf("%s: line %d after %.0f ms\n", command == IDM_FIND_NEXT ? "F3" : "Shift+F3", selected_line(), ms);
    Sleep(150);
  }
  watch.Stop();
  std::printf("filter keystrokes: slowest result %.0f ms; longest WM_NULL answer while typing: %.1f ms; longest "
              "plain system round trip meanwhile: %.1f ms\n",
              slowest, watch.worst_answer, watch.worst_plain);
  watch.PrintSlowAnswers();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--details") return DetailsBench();
  if (argc == 3 && std::wstring(argv[1]) == L"--history") return HistoryBench(AsU16(argv[2]));
  if (argc == 3 && std::wstring(argv[1]) == L"--merge") return MergeBench(AsU16(argv[2]));
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_window_bench FILE.reg\n");
    return 2;
  }
  const std::u16string file = AsU16(argv[1]);
  MainDialogOptions options;
  options.choose_file = [&](HWND) { return std::optional<std::u16string>(file); };
  const BenchWindow bench(options);
  const HWND window = bench.window();
  const DWORD ui_thread = bench.thread();
  if (!window) return 1;
  const HWND list = GetDlgItem(window, IDC_CHANGE_LIST);
  const HWND status = bench.status();

  const auto bench_start = Clock::now();
  AnswerWatch watch(window, bench_start);

  const auto start = Clock::now();
  const double load_sent_at = Ms(start - bench_start);
  PostMessageW(window, WM_COMMAND, IDC_LOAD, 0);
  WaitUntil([&] { return StatusText(status, 0).rfind(u"Read ", 0) == 0; }, std::chrono::minutes(10));
  const double load_ms = Ms(Clock::now() - start);
  watch.Stop();
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  std::printf("rows: %d\n%s | %s\n", rows, ToUtf8(StatusText(status, 0)).c_str(),
              ToUtf8(StatusText(status, 1)).c_str());
  std::printf("load command to completion text: %.0f ms\n", load_ms);
  std::printf("longest WM_NULL answer during the load: %.1f ms (sent %.0f ms after the window opened)\n",
              watch.worst_answer, watch.worst_at);
  std::printf("longest plain system round trip meanwhile, on another thread: %.1f ms (at %.0f ms)\n",
              watch.worst_plain, watch.worst_plain_at);
  std::printf("load command sent %.0f ms after the window opened;", load_sent_at);
  watch.PrintSlowAnswers();
  if (const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, ui_thread)) {
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
      auto ms = [](const FILETIME& t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0; };
      std::printf("window thread CPU time: %.0f ms user, %.0f ms kernel\n", ms(user), ms(kernel));
    }
    CloseHandle(thread);
  }

  {
    // What showing new rows costs the window: telling the list its row count.
    const auto t0 = Clock::now();
    for (int i = 0; i < 20; ++i)
      SendMessageW(list, LVM_SETITEMCOUNT, rows, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    std::printf("LVM_SETITEMCOUNT at %d rows: %.1f ms a call\n", rows, Ms(Clock::now() - t0) / 20);
  }
  const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  for (int column = 0; column < 7; ++column) {
    RECT rect{};
    SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect));
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    const auto sort_start = Clock::now();
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(header, WM_LBUTTONUP, 0, point);
    UpdateWindow(list);  // the repaint that shows the new order
    std::printf("sort by column %d: %.0f ms\n", column, Ms(Clock::now() - sort_start));
  }
  FilterKeystrokes(window, status);
  return 0;
}
