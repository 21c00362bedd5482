// The main window in this process: the real dialog and controls, driven by
// messages as a user's clicks and keys would drive them, loading through the
// real load workers against an in-memory registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "app/MainDialog_win.h"
#include "merge/HistoryFile.h"
#include "msgbox/MessageBoxParams.h"
#include "app/SavedLayout.h"
#include "platform/MemoryRegistry.h"
#include "platform/Process.h"
#include "resources/resource.h"
#include "platform/ForwardingRegistry.h"
#include "tests/RegistryDump.h"
#include "tests/TestSupport.h"
#include "tests/app/WindowTestSupport_win.h"

namespace hivemend {
namespace {

using namespace testing_support;
using Rows = std::vector<std::vector<std::u16string>>;
// The buttons of the question "replace or add".
constexpr int IDC_REPLACE_ANSWER = 23;
constexpr int IDC_ADD_ANSWER = 24;
constexpr int IDC_CANCEL_ANSWER = 25;

// ---- Status texts, as the status bar receives them ---------------------------

std::mutex g_status_mutex;
std::vector<std::pair<int, std::u16string>> g_status_log;

LRESULT CALLBACK RecordStatusTexts(int code, WPARAM wparam, LPARAM lparam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
  if (code == HC_ACTION && call->message == SB_SETTEXTW && call->lParam) {
    std::lock_guard lock(g_status_mutex);
    g_status_log.emplace_back(static_cast<int>(call->wParam & 0xFF),
                              AsU16(reinterpret_cast<const wchar_t*>(call->lParam)));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// ---- The registry that loads compare with ----------------------------------------

// An in-memory registry in which reading the key "Slow" takes 400 ms and
// reading the key "Gate" waits until the test opens the gate.
class GatedRegistry final : public ForwardingRegistry {
 public:
  // inner is a member: the base only keeps the reference until it is built.
  GatedRegistry() : ForwardingRegistry(inner) {}
  ~GatedRegistry() override {
    CloseHandle(reached);
    CloseHandle(release);
  }
  MemoryRegistry inner;
  HANDLE reached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> opened{0};  // keys opened since the last Reset

  void Reset() {
    ResetEvent(reached);
    ResetEvent(release);
    opened = 0;
  }
  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    ++opened;
    if (EqualsNoCase(path, u"Slow")) Sleep(400);  // lets the rows before it go to the window
    if (EqualsNoCase(path, u"Gate")) {
      SetEvent(reached);
      WaitForSingleObject(release, 30000);
    }
    if ((access & kWriteRights) && Locked(path)) return kRegAccessDenied;
    return inner.OpenKey(root, path, access, key);
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (Locked(path)) return kRegAccessDenied;
    return inner.CreateKey(root, path, access, key);
  }
  // Writing the value "GateWrite" waits at the gate too.
  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    if (name == u"GateWrite") {
      SetEvent(reached);
      WaitForSingleObject(release, 30000);
    }
    return inner.SetValue(key, name, type, data, size);
  }

 private:
  // Keys at and below "Locked" refuse writing, as keys of another account do.
  static constexpr std::uint32_t kWriteRights = kKeySetValue | 0x0004 | kKeyDelete | kGenericWrite;
  static bool Locked(std::u16string_view path) {
    return path.size() >= 6 && EqualsNoCase(path.substr(0, 6), u"Locked") && (path.size() == 6 || path[6] == u'\\');
  }
};

// Every window joins its workers before it is gone, so one registry serves
// every test in turn.
GatedRegistry& TestRegistry() {
  static GatedRegistry registry;
  return registry;
}

void Seed(std::u16string_view key, std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
  Registry::Handle handle = 0;
  ASSERT_EQ(TestRegistry().inner.CreateKey(RegRoot::CurrentUser, key, kKeyWrite, &handle), kRegOk);
  ASSERT_EQ(TestRegistry().inner.SetValue(handle, name, type, data.data(), static_cast<std::uint32_t>(data.size())),
            kRegOk);
  TestRegistry().inner.CloseKey(handle);
}

// ---- The window on a thread of its own ----------------------------------------

class Window {
 public:
  explicit Window(MainDialogOptions options = {}, bool real_open_dialog = false) : options_(std::move(options)) {
    {
      std::lock_guard lock(g_status_mutex);
      g_status_log.clear();
    }
    TestRegistry().Reset();
    terminate_event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    options_.terminate_event = terminate_event_;
    if (!options_.registry) options_.registry = &TestRegistry();
    // Each window remembers its layout apart, unless a test shares one.
    static int windows = 0;
    if (options_.layout_key == MainDialogOptions{}.layout_key)
      options_.layout_key = u"Software\\HivemendTest\\Layout" + Decimal(++windows);
    // No update server here: the check finds nothing unless a test says otherwise.
    if (!options_.check_for_update) options_.check_for_update = [](HANDLE) { return std::nullopt; };
    if (!real_open_dialog) options_.choose_file = [this](HWND) { return next_file_; };
    if (!options_.open_folder)
      options_.open_folder = [this](HWND, const std::u16string& folder) { opened_folder_ = folder; };
    if (!options_.show_in_folder)
      options_.show_in_folder = [this](HWND, const std::u16string& file) { shown_file_ = file; };
    thread_ = std::thread([this] {
      thread_id_ = GetCurrentThreadId();
      const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, RecordStatusTexts, nullptr, thread_id_);
      result_ = ShowMainDialog(options_);
      UnhookWindowsHookEx(hook);
      finished_ = true;
    });
    WaitUntil([&] {
      // The title names the loaded files: the window is the thread's one unowned dialog.
      return thread_id_ != 0 && (window_ = FindOwnedDialog(thread_id_, nullptr)) != nullptr;
    });
    list_ = GetDlgItem(window_, IDC_CHANGE_LIST);
    status_bar_ = FindWindowExW(window_, nullptr, STATUSCLASSNAMEW, nullptr);
  }
  ~Window() {
    if (!finished_) PostMessageW(window_, WM_COMMAND, IDM_EXIT, 0);
    thread_.join();
    CloseHandle(terminate_event_);  // the window has joined the thread that waits on it
  }

  HWND window() const { return window_; }
  HWND list() const { return list_; }
  DWORD thread() const { return thread_id_; }
  HANDLE terminate_event() const { return terminate_event_; }
  bool finished() const { return finished_; }
  INT_PTR WaitForResult() {
    WaitUntil([&] { return finished_.load(); }, std::chrono::seconds(10));
    return finished_ ? result_ : -1;
  }
  void ChooseNext(std::optional<std::u16string> file) { next_file_ = std::move(file); }
  const std::u16string& opened_folder() const { return opened_folder_; }
  const std::u16string& shown_file() const { return shown_file_; }

  void Command(int id) { SendMessageW(window_, WM_COMMAND, id, 0); }
  // For commands that open a modal window: the test answers it meanwhile.
  void PostCommand(int id) { PostMessageW(window_, WM_COMMAND, id, 0); }
  void Click(int control) { SendMessageW(GetDlgItem(window_, control), BM_CLICK, 0, 0); }
  bool Enabled(int control) const { return IsWindowEnabled(GetDlgItem(window_, control)) != FALSE; }

  int RowCount() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
  std::u16string Cell(int row, int column) const { return ListCellText(list_, row, column); }
  Rows AllRows() const {
    Rows rows;
    for (int r = 0; r < RowCount(); ++r) {
      rows.emplace_back();
      for (int c = 0; c < 7; ++c) rows.back().push_back(Cell(r, c));
    }
    return rows;
  }
  std::vector<std::u16string> Column(int column) const {
    std::vector<std::u16string> texts;
    for (int r = 0; r < RowCount(); ++r) texts.push_back(Cell(r, column));
    return texts;
  }
  bool Checked(int row) const {
    return (SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) != 0x1000;
  }
  std::string Checks() const {
    std::string s;
    for (int r = 0; r < RowCount(); ++r) s += Checked(r) ? 'x' : '.';
    return s;
  }
  std::u16string StatusText(int part) const {
    wchar_t text[4096] = L"";
    SendMessageW(status_bar_, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return AsU16(text);
  }
  // The texts status part `part` received, in order (not the emptied part
  // that a new load starts with).
  static std::vector<std::u16string> StatusLog(int part) {
    std::lock_guard lock(g_status_mutex);
    std::vector<std::u16string> texts;
    for (const auto& [p, text] : g_status_log)
      if (p == part && !text.empty()) texts.push_back(text);
    return texts;
  }
  // Loads that have shown both completion texts.
  static int CompletionCount() {
    std::lock_guard lock(g_status_mutex);
    int n = 0;
    for (size_t i = 0; i + 1 < g_status_log.size(); ++i)
      n += g_status_log[i].first == 0 &&
           (g_status_log[i].second.starts_with(u"Read ") || g_status_log[i].second.starts_with(u"Loading cancelled")) &&
           g_status_log[i + 1].first == 1;
    return n;
  }
  // Waits until n loads have shown their completion texts.
  bool WaitForCompletions(int n) const { return WaitUntil([&] { return CompletionCount() >= n; }); }

  void Load(const std::u16string& path) {
    ChooseNext(path);
    Click(IDC_LOAD);
  }
  // A load while the list holds rows of another file: the window asks whether
  // to replace them or add to them, and the test answers with button.
  void LoadAnswering(const std::u16string& path, int button) {
    ChooseNext(path);
    PostCommand(IDC_LOAD);
    Answer(button);
  }
  // Answers the window's boxes titled "Hivemend" one after another with the
  // buttons, each box once it has gone; returns each box's message.
  std::vector<std::u16string> AnswerBoxes(std::initializer_list<int> buttons) {
    std::vector<std::u16string> texts;
    for (const int button : buttons) {
      HWND box = nullptr;
      if (!WaitUntil([&] { return (box = FindOwnedDialog(thread_id_, window_, u"Hivemend")) != nullptr; })) {
        ADD_FAILURE() << "no box to answer with " << button;
        break;
      }
      const HWND message = GetDlgItem(box, 1001);  // the program's box; else the platform's text
      texts.push_back(WindowText(message ? message : GetDlgItem(box, 0xFFFF)));
      PostMessageW(box, WM_COMMAND, button, 0);
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    }
    return texts;
  }
  void Answer(int button) {
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindOwnedDialog(thread_id_, window_, u"Hivemend")) != nullptr; }));
    EXPECT_EQ(WindowText(GetDlgItem(box, 1001)).substr(0, 35), u"The list holds rows of other files.");
    PostMessageW(box, WM_COMMAND, button, 0);
    WaitUntil([&] { return !IsWindow(box); });
  }
  bool Selected(int row) const { return SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED; }
  bool Focused(int row) const { return SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_FOCUSED) & LVIS_FOCUSED; }
  std::string Selection() const {
    std::string s;
    for (int r = 0; r < RowCount(); ++r) s += Focused(r) ? (Selected(r) ? 'F' : 'f') : (Selected(r) ? 's' : '.');
    return s;
  }
  void Key(WPARAM key, HWND target = nullptr) { PostMessageW(target ? target : list_, WM_KEYDOWN, key, 0); }
  void Drop(const std::vector<std::u16string>& files, HWND target = nullptr) {
    size_t chars = 1;
    for (const auto& f : files) chars += f.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
    for (const auto& f : files) {
      std::copy(f.begin(), f.end(), names);
      names += f.size() + 1;
    }
    GlobalUnlock(memory);
    // Posted: a drop may ask a question, which the test answers meanwhile.
    PostMessageW(target ? target : window_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  }
  void ClickHeader(int column) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    RECT rect{};
    SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect));
    const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PointerTo(header, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(header, WM_LBUTTONUP, 0, point);
  }
  // The real pointer onto the point a click is sent to: a window that appears
  // or moves under the pointer gets a mouse move from the window system, which
  // between a button's down and up would turn the click into a drag.
  static void PointerTo(HWND window, POINT point) {
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
  }
  // A click in the middle of the row's check box: the state image just left
  // of the item's icon box.
  void ClickCheckBox(int row) {
    RECT icon{};
    icon.left = LVIR_ICON;
    SendMessageW(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&icon));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(list_, LVM_GETIMAGELIST, LVSIL_STATE, 0)), &cx, &cy);
    const POINT at{icon.left - cx / 2, (icon.top + icon.bottom) / 2};
    PointerTo(list_, at);
    SendMessageW(list_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(list_, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  }
  // A click in a cell away from the check box (twice: a double-click).
  void ClickCell(int row, int column, bool twice = false) {
    RECT rect{};
    rect.top = column;
    rect.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    SendMessageW(list_, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    const POINT at{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    PointerTo(list_, at);
    SendMessageW(list_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(list_, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    if (!twice) return;
    PostMessageW(list_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(list_, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  }
  void Select(std::initializer_list<int> rows) {
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    bool first = true;
    for (int r : rows) {
      LVITEMW item{};
      item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
      item.state = LVIS_SELECTED | (first ? LVIS_FOCUSED : 0);
      SendMessageW(list_, LVM_SETITEMSTATE, r, reinterpret_cast<LPARAM>(&item));
      first = false;
    }
  }
  // The filter's text and status choice (StatusChoiceAt), as a user types and
  // picks them; a small list is filtered before the call returns.
  void Filter(const wchar_t* text, int choice = 0) {
    const HWND combo = GetDlgItem(window_, IDC_FILTER_STATUS);
    if (SendMessageW(combo, CB_GETCURSEL, 0, 0) != choice) {
      SendMessageW(combo, CB_SETCURSEL, choice, 0);
      SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_FILTER_STATUS, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }
    SendMessageW(GetDlgItem(window_, IDC_FILTER_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  HWND Focus() const {
    GUITHREADINFO gui{sizeof gui};
    GetGUIThreadInfo(thread_id_, &gui);
    return gui.hwndFocus;
  }
  void ApplyRule(const wchar_t* rule) {
    const HWND combo = GetDlgItem(window_, IDC_CHECK_RULE);
    const LRESULT index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(rule));
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    Click(IDC_APPLY);
  }

 private:
  MainDialogOptions options_;
  HANDLE terminate_event_ = nullptr;
  std::thread thread_;
  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> finished_{false};
  INT_PTR result_ = -1;
  HWND window_ = nullptr;
  HWND list_ = nullptr;
  HWND status_bar_ = nullptr;
  std::optional<std::u16string> next_file_;
  std::u16string opened_folder_;
  std::u16string shown_file_;
};

HWND FindDetails(Window& w);

std::u16string ReadText(unsigned lines, const std::u16string& path) {
  return u"Read " + Decimal(lines) + u" lines from " + path;
}
std::u16string ReadingText(unsigned line, unsigned lines) {
  return u"Reading line " + Decimal(line) + u" of " + Decimal(lines);
}

// A file whose load stops at the key "Gate" until the test opens the gate; the
// 41 rows before it are shown by then. 126 lines after the header.
std::u16string GatedFile(TempFolder& folder) {
  return folder.WriteReg(u"gated.reg", u"[HKEY_CURRENT_USER\\A]\r\n" + ValueLines(40) +
                                           u"[HKEY_CURRENT_USER\\Slow]\r\n\"s\"=\"x\"\r\n"
                                           u"[HKEY_CURRENT_USER\\Gate]\r\n\"g\"=\"x\"\r\n"
                                           u"[HKEY_CURRENT_USER\\A]\r\n" +
                                           ValueLines(80, u"w"));
}

// ---- Window set-up -----------------------------------------------------------

TEST(MainWindow, OpensWithItsControlsMenuAndEmptyList) {
  Window w;
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_FALSE(w.Enabled(IDC_CANCEL_LOAD));
  const HWND combo = GetDlgItem(w.window(), IDC_CHECK_RULE);
  std::vector<std::u16string> items;
  for (int i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t text[64] = L"";
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(AsU16(text));
  }
  EXPECT_EQ(items, (std::vector<std::u16string>{u"All", u"Changed", u"Invert", u"Missing", u"None"}));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  // Nothing to merge yet; the keyboard starts on the button that loads.
  EXPECT_FALSE(w.Enabled(IDC_MERGE));
  GUITHREADINFO gui{sizeof gui};
  ASSERT_TRUE(GetGUIThreadInfo(w.thread(), &gui));
  EXPECT_EQ(gui.hwndFocus, GetDlgItem(w.window(), IDC_LOAD));

  const HWND header = reinterpret_cast<HWND>(SendMessageW(w.list(), LVM_GETHEADER, 0, 0));
  ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 7);
  const char16_t* headers[] = {u"HIVE", u"Compare", u"Key", u"Value Name", u"Type", u"REG file data",
                               u"Current HIVE data"};
  const int widths[] = {135, 70, 260, 140, 100, 205, 205};
  for (int c = 0; c < 7; ++c) {
    wchar_t text[64] = L"";
    HDITEMW item{};
    item.mask = HDI_TEXT | HDI_WIDTH;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(header, HDM_GETITEMW, c, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(AsU16(text), headers[c]);
    EXPECT_GE(item.cxy, widths[c]) << "column " << c;
  }
  const DWORD styles = static_cast<DWORD>(SendMessageW(w.list(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
  EXPECT_EQ(styles & 0x14474u, 0x14474u);

  const HMENU menu = GetMenu(w.window());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(menu), 3);
  wchar_t text[128] = L"";
  GetMenuStringW(menu, IDM_OPEN_HISTORY, text, 128, MF_BYCOMMAND);
  EXPECT_EQ(AsU16(text), u"Open change history and error log folder");

  // The template's layout keeps its room below the menu bar: the status bar
  // does not cover the merge button.
  RECT merge{}, status{};
  GetWindowRect(GetDlgItem(w.window(), IDC_MERGE), &merge);
  GetWindowRect(FindWindowExW(w.window(), nullptr, STATUSCLASSNAMEW, nullptr), &status);
  EXPECT_LE(merge.bottom, status.top);
}

// ---- Loading -------------------------------------------------------------------

TEST(MainWindowLoad, CommandLineFileShowsItsRowsAndTexts) {
  Seed(u"Software\\T", u"Same", kRegSz, test::StringBytes(u"ABC"));
  Seed(u"Software\\T", u"Changed", kRegDword, {0x20, 0, 0, 0});
  Seed(u"Software\\T", u"Type", kRegSz, test::StringBytes(u"A"));
  TempFolder folder;
  const std::u16string path = folder.WriteReg(u"small.reg",
                                              u"[HKEY_CURRENT_USER\\Software\\T]\r\n"
                                              u"\"Same\"=\"abc\"\r\n"
                                              u"\"Changed\"=dword:0000001f\r\n"
                                              u"\"Missing\"=\"m\\\"q\\\"\"\r\n"
                                              u"\"Type\"=hex(2):41,00,00,00\r\n"
                                              u"\"Bad\"=dword:zz\r\n"
                                              u"[HKCU\\Software\\Gone]\r\n"
                                              u"\"x\"=-\r\n");
  MainDialogOptions options;
  // Arguments are trimmed; empty ones and names of nothing are skipped.
  options.startup_arguments = {u"", u"  " + path + u" \t", folder.path() + u"\\absent.reg"};
  Window w(std::move(options));
  ASSERT_TRUE(w.WaitForCompletions(1));
  const Rows expected = {
      {u"HKCU", u"DELETE", u"Software\\Gone", u"x", u"DELETE", u"(delete)", u""},
      {u"HKEY_CURRENT_USER", u"SAME", u"Software\\T", u"Same", u"REG_SZ", u"abc", u"ABC"},  // what the registry holds
      {u"HKEY_CURRENT_USER", u"CHANGED", u"Software\\T", u"Changed", u"REG_DWORD", u"0x1F", u"0x20"},
      {u"HKEY_CURRENT_USER", u"MISSING", u"Software\\T", u"Missing", u"REG_SZ", u"m\"q\"", u""},
      {u"HKEY_CURRENT_USER", u"CHANGED TYPE", u"Software\\T", u"Type", u"REG_EXPAND_SZ", u"A", u"A"},
      // A line that cannot be read: why, in place of its data; not counted.
      {u"HKEY_CURRENT_USER", u"MISSING", u"Software\\T", u"Bad", u"UNKNOWN - ERROR",
       u"line 8: \"zz\" is not a dword of one to eight hexadecimal digits", u""},
  };
  EXPECT_EQ(w.AllRows(), expected);
  EXPECT_EQ(w.StatusText(0), ReadText(9, path));
  EXPECT_EQ(w.StatusText(1), u"1 matched, 2 differ, 1 do not exist");
  // It stays after the completion texts, in a part of its own, until "Clear all".
  EXPECT_EQ(w.StatusText(3), u"1 line could not be read (line 8)");
  EXPECT_EQ(Window::CompletionCount(), 1);  // the skipped arguments started nothing
  EXPECT_FALSE(w.Enabled(IDC_CANCEL_LOAD));
  EXPECT_EQ(w.Checks(), "......");  // rows start unchecked
  w.Click(IDC_CLEAR_ALL);
  EXPECT_EQ(w.StatusText(3), u"");
}

TEST(MainWindowLoad, ProgressEveryFiftyLinesThenCompletion) {
  TempFolder folder;
  const std::u16string path = folder.WriteReg(u"values120.reg", u"[HKEY_CURRENT_USER\\Many]\r\n" + ValueLines(120));
  Window w;
  w.Load(path);
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_EQ(Window::StatusLog(0), (std::vector<std::u16string>{ReadingText(50, 122), ReadingText(100, 122),
                                                                ReadText(122, path)}));
  // The progress texts come before the value on the 50th line is compared.
  EXPECT_EQ(Window::StatusLog(1),
            (std::vector<std::u16string>{u"0 matched, 0 differ, 48 do not exist", u"0 matched, 0 differ, 98 do not exist",
                                         u"0 matched, 0 differ, 120 do not exist"}));
  EXPECT_EQ(w.RowCount(), 120);
  EXPECT_FALSE(w.Enabled(IDC_CANCEL_LOAD));

  // A second file asks; "Add" adds its rows to those already listed.
  w.LoadAnswering(folder.WriteReg(u"one.reg", u"[HKLM\\One]\r\n\"a\"=\"b\"\r\n"), IDC_ADD_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(w.RowCount(), 121);
  EXPECT_EQ(w.Cell(120, 0), u"HKLM");
}

TEST(MainWindowLoad, DroppedFilesLoadTheFirstWhoseNameHoldsDotReg) {
  TempFolder folder;
  const std::u16string a = folder.WriteReg(u"a.reg", u"[HKCU\\A]\r\n\"fromA\"=\"1\"\r\n");
  const std::u16string b = folder.WriteReg(u"b.reg", u"[HKCU\\B]\r\n\"fromB\"=\"1\"\r\n");
  const std::u16string notes = folder.WriteReg(u"NOTES.REG.TXT", u"[HKCU\\N]\r\n\"fromNotes\"=\"1\"\r\n");
  const std::u16string text = folder.WriteReg(u"notes.txt", u"[HKCU\\T]\r\n\"fromTxt\"=\"1\"\r\n");
  Window w;
  w.Drop({a, b, notes});
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_EQ(w.Column(3), std::vector<std::u16string>{u"fromA"});
  EXPECT_EQ(w.StatusText(0), ReadText(3, a));

  w.Drop({text});  // ignored: no ".reg" in the name
  w.Drop({notes}, w.list());  // dropped on the list: the window loads it
  w.Answer(IDC_ADD_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  Sleep(300);
  EXPECT_EQ(Window::CompletionCount(), 2);
  EXPECT_EQ(w.Column(3), (std::vector<std::u16string>{u"fromA", u"fromNotes"}));

  // A dropped name is not checked: the worker reports a file it cannot open.
  w.Drop({folder.path() + u"\\gone.reg"});
  w.Answer(IDC_ADD_ANSWER);
  EXPECT_EQ(AnswerMessageBox(w.thread(), w.window()),
            u"This file could not be loaded!\n\n" + folder.path() + u"\\gone.reg\nThe file does not exist.");
  EXPECT_TRUE(WaitUntil([&] { return !w.Enabled(IDC_CANCEL_LOAD); }));
}

TEST(MainWindowLoad, OpenFileChoiceThatIsNoFileIsRefused) {
  TempFolder folder;
  Window w;
  w.ChooseNext(folder.path() + u"\\nothing-here.reg");
  w.PostCommand(IDC_LOAD);
  EXPECT_EQ(AnswerMessageBox(w.thread(), w.window()), u"File does not appear to exist.");
  w.ChooseNext(folder.path());
  w.PostCommand(IDM_LOAD);
  EXPECT_EQ(AnswerMessageBox(w.thread(), w.window()), u"You must select a .REG file, not a whole folder.");
  w.ChooseNext(std::nullopt);  // the user cancels
  w.Command(IDC_LOAD);
  EXPECT_FALSE(w.Enabled(IDC_CANCEL_LOAD));
  EXPECT_TRUE(Window::StatusLog(0).empty());
}

TEST(MainWindowLoad, EnterOpensTheFileDialogWhichAddsTheExtension) {
  TempFolder folder;
  folder.WriteReg(u"typed.reg", u"[HKCU\\Typed]\r\n\"t\"=\"1\"\r\n");
  Window w(MainDialogOptions{}, /*real_open_dialog=*/true);
  // Enter activates the default button, "Load REG file".
  PostMessageW(w.list(), WM_KEYDOWN, VK_RETURN, 0);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    return (dialog = FindOwnedDialog(w.thread(), w.window(), u"Select a REG file to load")) != nullptr;
  }));
  HWND edit = nullptr;
  EnumChildWindows(
      GetDlgItem(dialog, 0x47c),
      [](HWND child, LPARAM found) -> BOOL {
        wchar_t name[32] = L"";
        GetClassNameW(child, name, 32);
        if (std::wstring(name) != L"Edit") return TRUE;
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&edit));
  ASSERT_NE(edit, nullptr);
  const std::u16string typed = folder.path() + u"\\typed";
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(AsWide(typed)));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(w.WaitForCompletions(1));
  // The dialog names the file with the extension it added (in the letter case
  // that the file system reports).
  EXPECT_TRUE(EqualsNoCase(w.StatusText(0), ReadText(3, typed + u".REG"))) << ToUtf8(w.StatusText(0));
  EXPECT_EQ(w.Column(3), std::vector<std::u16string>{u"t"});
}

TEST(MainWindowLoad, ErrorsOfTheFileEndTheLoadAndDisableCancel) {
  TempFolder folder;
  const std::u16string no_header = folder.WriteRaw(u"noheader.reg", u"REGEDIT\r\nHKEY_CURRENT_USER\\X = b\r\n");
  const std::u16string bad_hex = folder.WriteReg(u"badhex.reg", u"[HKCU\\X]\r\n\"a\"=\"b\"\r\n\"c\"=hex(5x):00\r\n");
  Window w;
  w.Load(no_header);
  EXPECT_TRUE(WaitUntil([&] { return w.StatusText(0) == u"No regedit version on line 1"; }));
  EXPECT_TRUE(WaitUntil([&] { return !w.Enabled(IDC_CANCEL_LOAD); }));

  w.ChooseNext(bad_hex);
  w.PostCommand(IDC_LOAD);
  EXPECT_EQ(AnswerMessageBox(w.thread(), w.window()),
            u"ERROR: Parse error on line 3 - unknown hexadecimal type specification");
  EXPECT_TRUE(WaitUntil([&] { return !w.Enabled(IDC_CANCEL_LOAD); }));
  EXPECT_EQ(w.Column(3), std::vector<std::u16string>{u"a"});  // rows before the error stay
  EXPECT_EQ(Window::CompletionCount(), 0);
}

// ---- Cancelling and clearing during a load ------------------------------------

TEST(MainWindowLoad, CancelEndsTheLoadKeepingItsRows) {
  TempFolder folder;
  const std::u16string path = GatedFile(folder);
  Window w;
  w.Load(path);
  EXPECT_TRUE(w.Enabled(IDC_CANCEL_LOAD));
  ASSERT_EQ(WaitForSingleObject(TestRegistry().reached, 20000), WAIT_OBJECT_0);
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 41; }));
  w.Click(IDC_CANCEL_LOAD);
  SetEvent(TestRegistry().release);
  ASSERT_TRUE(w.WaitForCompletions(1));
  // The value at the gate is still listed, and so is the one read after it
  // while the gate held its comparison; the next line sees the request. The
  // status bar and the title say that the list is not the whole file.
  EXPECT_EQ(w.StatusText(0), u"Loading cancelled: read 48 of 127 lines");
  EXPECT_NE(WindowText(w.window()).find(u"(loading cancelled"), std::u16string::npos) << ToUtf8(WindowText(w.window()));
  EXPECT_EQ(w.RowCount(), 43);
  EXPECT_FALSE(w.Enabled(IDC_CANCEL_LOAD));
  // A load read to its end makes the list whole again.
  w.LoadAnswering(folder.WriteReg(u"whole.reg", u"[HKCU\\W]\r\n\"w\"=\"1\"\r\n"), IDC_REPLACE_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(WindowText(w.window()), u"Hivemend - whole.reg");
}

TEST(MainWindowLoad, ClearAllDuringALoadRemovesTheRowsPresentThen) {
  TempFolder folder;
  const std::u16string path = GatedFile(folder);
  Window w;
  w.Load(path);
  ASSERT_EQ(WaitForSingleObject(TestRegistry().reached, 20000), WAIT_OBJECT_0);
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 41; }));
  w.Click(IDC_CLEAR_ALL);
  EXPECT_EQ(w.RowCount(), 0);
  SetEvent(TestRegistry().release);
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_EQ(w.StatusText(0), ReadText(127, path));
  EXPECT_EQ(w.RowCount(), 81);
  EXPECT_EQ(w.Cell(0, 3), u"g");
  w.ApplyRule(L"All");
  w.PostCommand(IDC_CLEAR_ALL);  // with rows checked it asks first: No keeps them
  EXPECT_TRUE(w.AnswerBoxes({IDNO}).front().starts_with(u"81 rows are checked."));
  EXPECT_EQ(w.RowCount(), 81);
  w.PostCommand(IDC_CLEAR_ALL);
  w.AnswerBoxes({IDYES});
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0; }));
  w.Click(IDC_CLEAR_ALL);  // on an empty list: nothing
  EXPECT_EQ(w.RowCount(), 0);
  // The status bar goes with the rows; the merge button with the checks.
  EXPECT_EQ(w.StatusText(0), u"");
  EXPECT_EQ(w.StatusText(1), u"");
  EXPECT_EQ(w.StatusText(2), u"0 checked");
  EXPECT_FALSE(w.Enabled(IDC_MERGE));
}

TEST(MainWindowLoad, ACancelPressAfterTheLastCheckDoesNotStopTheNextLoad) {
  TempFolder folder;
  const std::u16string gated = folder.WriteReg(u"last.reg", u"[HKCU\\A]\r\n" + ValueLines(3) +
                                                                u"[HKCU\\Gate]\r\n\"g\"=\"x\"\r\n");
  const std::u16string next = folder.WriteReg(u"next.reg", u"[HKCU\\B]\r\n" + ValueLines(10));
  Window w;
  w.Load(gated);
  ASSERT_EQ(WaitForSingleObject(TestRegistry().reached, 20000), WAIT_OBJECT_0);
  w.Click(IDC_CANCEL_LOAD);  // the worker has made its last check
  SetEvent(TestRegistry().release);
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_EQ(w.StatusText(0), ReadText(7, gated));
  w.LoadAnswering(next, IDC_ADD_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(w.StatusText(0), ReadText(12, next));
  EXPECT_EQ(w.RowCount(), 14);
}

// Results taken in many short turns keep their order: rows by their first
// column, every progress text in turn, the completion last, and the status bar
// shown throughout (its painting is held back during each turn).
TEST(MainWindowLoad, ALoadTakenInManyTurnsKeepsEveryTextAndTheRowOrder) {
  TempFolder folder;
  const std::u16string path = folder.WriteReg(
      u"turns.reg", u"[HKEY_LOCAL_MACHINE\\L]\r\n" + ValueLines(3000) + u"[HKEY_CURRENT_USER\\C]\r\n" +
                        ValueLines(3000, u"c"));
  MainDialogOptions options;
  options.load_turn_ms = 0;  // a turn ends after every few operations
  Window w(std::move(options));
  w.Load(path);
  ASSERT_TRUE(w.WaitForCompletions(1));
  // The texts, shortened to what tells them apart.
  std::string shown;
  for (const std::u16string& text : Window::StatusLog(0)) {
    if (text == ReadText(6003, path)) shown += "end";
    for (unsigned line = 50; line <= 6003; line += 50)
      if (text == ReadingText(line, 6003)) shown += std::to_string(line) + " ";
  }
  std::string expected;
  for (unsigned line = 50; line <= 6003; line += 50) expected += std::to_string(line) + " ";
  EXPECT_EQ(shown, expected + "end");
  EXPECT_EQ(Window::StatusLog(1).size(), Window::StatusLog(0).size());
  EXPECT_EQ(w.StatusText(1), u"0 matched, 0 differ, 6000 do not exist");
  ASSERT_EQ(w.RowCount(), 6000);
  EXPECT_EQ(w.Cell(0, 3), u"c1");
  EXPECT_EQ(w.Cell(2999, 3), u"c3000");
  EXPECT_EQ(w.Cell(3000, 3), u"v1");
  EXPECT_EQ(w.Cell(5999, 0), u"HKEY_LOCAL_MACHINE");
  EXPECT_TRUE(IsWindowVisible(FindWindowExW(w.window(), nullptr, STATUSCLASSNAMEW, nullptr)));
  EXPECT_FALSE(w.Enabled(IDC_CANCEL_LOAD));
}

// ---- Sorting and checking --------------------------------------------------------

std::u16string SortFile(TempFolder& folder) {
  return folder.WriteReg(u"sort.reg",
                         u"[HKLM\\k9]\r\n\"a\"=dword:00000001\r\n"
                         u"[HKCU\\k10]\r\n\"b\"=\"x\"\r\n"
                         u"[HKCR\\k1]\r\n\"c\"=hex:00\r\n");
}

TEST(MainWindowList, ColumnClicksSortAscendingThenDescending) {
  TempFolder folder;
  Window w;
  w.Load(SortFile(folder));
  ASSERT_TRUE(w.WaitForCompletions(1));
  using V = std::vector<std::u16string>;
  EXPECT_EQ(w.Column(0), (V{u"HKCR", u"HKCU", u"HKLM"}));
  w.ClickHeader(2);
  EXPECT_EQ(w.Column(2), (V{u"k1", u"k10", u"k9"}));  // text order: "10" before "9"
  w.ClickHeader(2);
  EXPECT_EQ(w.Column(2), (V{u"k9", u"k10", u"k1"}));
  w.ClickHeader(4);  // its own first click: ascending
  EXPECT_EQ(w.Column(4), (V{u"REG_BINARY", u"REG_DWORD", u"REG_SZ"}));
  // Rows that arrive later are placed by the last sort when their load ends,
  // and the header shows it again.
  w.LoadAnswering(folder.WriteReg(u"later.reg", u"[HKCC\\k0]\r\n\"d\"=\"y\"\r\n"), IDC_ADD_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(w.Column(4), (V{u"REG_BINARY", u"REG_DWORD", u"REG_SZ", u"REG_SZ"}));
  const HWND header = reinterpret_cast<HWND>(SendMessageW(w.list(), LVM_GETHEADER, 0, 0));
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  SendMessageW(header, HDM_GETITEMW, 4, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(item.fmt & (HDF_SORTUP | HDF_SORTDOWN), HDF_SORTUP);
}

TEST(MainWindowList, CheckRulesApplyToEveryRow) {
  Seed(u"Rules", u"same", kRegSz, test::StringBytes(u"s"));
  Seed(u"Rules", u"changed", kRegSz, test::StringBytes(u"other"));
  Seed(u"Rules", u"type", kRegDword, {1, 0, 0, 0});
  TempFolder folder;
  Window w;
  w.Load(folder.WriteReg(u"rules.reg",
                         u"[HKCU\\Rules]\r\n\"missing\"=\"m\"\r\n\"same\"=\"s\"\r\n\"changed\"=\"c\"\r\n"
                         u"\"type\"=\"t\"\r\n[HKCU\\NoSuchKey]\r\n\"gone\"=-\r\n"));
  ASSERT_TRUE(w.WaitForCompletions(1));
  ASSERT_EQ(w.Column(1), (std::vector<std::u16string>{u"MISSING", u"SAME", u"CHANGED", u"CHANGED TYPE", u"DELETE"}));
  w.Click(IDC_APPLY);  // nothing selected in the box: nothing changes
  EXPECT_EQ(w.Checks(), ".....");
  struct Step {
    int line;
    const wchar_t* rule;
    std::string checks;
  };
  const Step steps[] = {
      {__LINE__, L"All", "xxxxx"},    {__LINE__, L"Changed", "..xx."}, {__LINE__, L"Invert", "xx..x"},
      {__LINE__, L"Invert", "..xx."}, {__LINE__, L"Missing", "x...."}, {__LINE__, L"None", "....."},
  };
  for (const Step& s : steps) {
    w.ApplyRule(s.rule);
    EXPECT_EQ(w.Checks(), s.checks) << "step at line " << s.line;
  }
  wchar_t text[64] = L"";
  GetWindowTextW(GetDlgItem(w.window(), IDC_CHECK_RULE), text, 64);
  EXPECT_EQ(AsU16(text), u"None");  // the box keeps the user's choice
  // A choice in the list applies at once; a new load resets the box.
  const HWND combo = GetDlgItem(w.window(), IDC_CHECK_RULE);
  SendMessageW(combo, CB_SETCURSEL, SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                 reinterpret_cast<LPARAM>(L"Missing")), 0);
  SendMessageW(w.window(), WM_COMMAND, MAKEWPARAM(IDC_CHECK_RULE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  EXPECT_EQ(w.Checks(), "x....");
  EXPECT_EQ(GetWindowLongW(combo, GWL_STYLE) & 3, CBS_DROPDOWNLIST);  // nothing to type into
  w.Command(IDM_RELOAD);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST(MainWindowList, CheckBoxesToggleByClickAndSpaceBar) {
  TempFolder folder;
  Window w;
  w.Load(SortFile(folder));
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_FALSE(w.Enabled(IDC_MERGE));  // nothing checked: nothing to merge
  w.ClickCheckBox(1);
  EXPECT_EQ(w.Checks(), ".x.");
  EXPECT_TRUE(w.Enabled(IDC_MERGE));
  w.ClickCheckBox(1);
  EXPECT_EQ(w.Checks(), "...");
  // A click anywhere else on a row selects it, in every column, and checks
  // nothing; a double-click opens the row's details.
  for (int column = 0; column < 7; ++column) {
    w.ClickCell(column % 3, column);
    EXPECT_EQ(w.Checks(), "...") << "column " << column;
    EXPECT_TRUE(w.Selected(column % 3)) << "column " << column;
  }
  w.ClickCell(2, 3, true);
  const HWND details = FindDetails(w);
  ASSERT_NE(details, nullptr);
  PostMessageW(details, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(details); }));
  EXPECT_EQ(w.Checks(), "...");
  w.Select({0, 2});
  SendMessageW(w.list(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(w.Checks(), "x.x");
  w.Select({1, 2});  // the focused row decides: all selected rows become checked
  SendMessageW(w.list(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(w.Checks(), "xxx");
  SendMessageW(w.list(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(w.Checks(), "x..");
}

// The filter shows the rows whose key, value name or data hold its text, in
// any letter case, and of the chosen status, also as a load adds them; rows it
// hides keep their checks, which the merge question counts; a merge's rows
// leave the count.
TEST(MainWindowList, TheFilterShowsTheRowsItMatchesAsTheyCome) {
  TempFolder folder;
  Window w;
  const HWND box = GetDlgItem(w.window(), IDC_FILTER_TEXT);
  w.Load(GatedFile(folder));  // A: v1..v40, Slow: s, Gate: g, A: w1..w80
  ASSERT_EQ(WaitForSingleObject(TestRegistry().reached, 20000), WAIT_OBJECT_0);
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 41; }));
  EXPECT_EQ(w.StatusText(4), u"");
  w.Command(IDM_FIND);  // Ctrl+F
  EXPECT_EQ(w.Focus(), box);
  w.Filter(L"W1");
  EXPECT_EQ(w.RowCount(), 0);
  EXPECT_EQ(w.StatusText(4), u"Showing 0 of 41 rows");
  SetEvent(TestRegistry().release);
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_TRUE(WaitUntil([&] { return w.StatusText(4) == u"Showing 11 of 122 rows"; })) << ToUtf8(w.StatusText(4));
  EXPECT_EQ(w.Column(3), (std::vector<std::u16string>{u"w1", u"w10", u"w11", u"w12", u"w13", u"w14", u"w15", u"w16",
                                                      u"w17", u"w18", u"w19"}));
  w.Filter(L"gate", 4);  // the key, and only SAME rows
  EXPECT_EQ(w.StatusText(4), u"Showing 0 of 122 rows");
  w.Filter(L"gate", 2);  // MISSING
  EXPECT_EQ(w.Column(3), std::vector<std::u16string>{u"g"});

  // Ctrl+A and the space bar check the rows shown; the checks stay with rows
  // the filter hides, and count.
  w.Filter(L"w1");
  w.Command(IDM_SELECT_ALL);
  w.Key(VK_SPACE);
  ASSERT_TRUE(WaitUntil([&] { return w.Checks() == std::string(11, 'x'); }));
  w.Filter(L"v");
  EXPECT_EQ(w.RowCount(), 40);
  EXPECT_EQ(w.Checks(), std::string(40, '.'));
  EXPECT_EQ(w.StatusText(2), u"11 checked");

  // F3 and Shift+F3 from the box: the next and the previous row shown,
  // around the ends; Enter goes to the list, Escape in the box empties it.
  w.Command(IDM_FIND);
  w.Key(VK_F3, box);
  ASSERT_TRUE(WaitUntil([&] { return w.Selection().starts_with("F."); })) << w.Selection();
  w.Key(VK_F3, box);
  ASSERT_TRUE(WaitUntil([&] { return w.Selection().starts_with(".F."); })) << w.Selection();
  w.Command(IDM_FIND_PREVIOUS);  // Shift+F3
  w.Command(IDM_FIND_PREVIOUS);
  EXPECT_EQ(w.Selection(), std::string(39, '.') + "F");
  const std::u16string chosen = w.Column(3).back();
  w.Key(VK_RETURN, box);
  ASSERT_TRUE(WaitUntil([&] { return w.Focus() == w.list(); }));
  SendMessageW(w.window(), WM_NULL, 0, 0);
  EXPECT_EQ(FindOwnedDialog(w.thread(), w.window()), nullptr);  // nor the details, nor the default button's load
  EXPECT_EQ(w.StatusText(4), u"Showing 40 of 122 rows");
  w.Key(VK_ESCAPE, box);
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 122; }));
  EXPECT_EQ(WindowText(box), u"");
  EXPECT_EQ(w.StatusText(4), u"");
  const std::string selection = w.Selection();  // the selected row, at its line in the whole list
  EXPECT_EQ(std::count(selection.begin(), selection.end(), '.'), 121) << selection;
  EXPECT_EQ(w.Column(3).at(selection.find('F')), chosen) << selection;
  w.Command(IDM_FIND);
  ASSERT_EQ(w.Focus(), box);
  w.Key(VK_ESCAPE, box);  // in the empty box: to the list, the window stays
  ASSERT_TRUE(WaitUntil([&] { return w.Focus() == w.list(); }));
  EXPECT_FALSE(w.finished());

  // The merge question counts the checked rows the filter hides; after the
  // merge the count is of the rows left.
  w.Filter(L"v");
  w.PostCommand(IDC_MERGE);
  const std::vector<std::u16string> texts = w.AnswerBoxes({IDYES, IDOK});
  ASSERT_FALSE(texts.empty());
  EXPECT_TRUE(texts[0].ends_with(u"\r\n\r\n11 of the 11 checked rows are hidden by the filter.")) << ToUtf8(texts[0]);
  ASSERT_TRUE(WaitUntil([&] { return w.StatusText(4) == u"Showing 40 of 111 rows"; })) << ToUtf8(w.StatusText(4));
  EXPECT_EQ(w.RowCount(), 40);
  EXPECT_EQ(w.StatusText(2), u"0 checked");
}

// The merge button writes to the registry that the rows were compared with.
TEST(MainWindowList, MergeWritesToTheRegistryTheRowsCameFrom) {
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\HivemendTest\\WindowMerge");  // left by a failed run
  TempFolder folder;
  Window w;
  w.Load(folder.WriteReg(u"merge.reg", u"[HKEY_CURRENT_USER\\Software\\HivemendTest\\WindowMerge]\r\n\"m\"=dword:00000007\r\n"));
  ASSERT_TRUE(w.WaitForCompletions(1));
  w.ApplyRule(L"All");
  w.PostCommand(IDC_MERGE);
  EXPECT_EQ(FirstParagraph(w.AnswerBoxes({IDYES, IDOK}).back()), u"Changes successfully applied!");
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0; }));

  Registry::Handle key = 0;
  ASSERT_EQ(TestRegistry().inner.OpenKey(RegRoot::CurrentUser, u"Software\\HivemendTest\\WindowMerge", kKeyRead, &key), kRegOk);
  std::uint32_t type = 0, data = 0, size = 4;
  EXPECT_EQ(TestRegistry().inner.QueryValue(key, u"m", &type, reinterpret_cast<std::uint8_t*>(&data), &size), kRegOk);
  TestRegistry().inner.CloseKey(key);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(data, 7u);
  // Nothing reached the system's registry (cleaned up should it have).
  HKEY live = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\HivemendTest\\WindowMerge", 0, KEY_READ, &live),
            ERROR_SUCCESS);
  if (live) {
    RegCloseKey(live);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\HivemendTest\\WindowMerge");
  }
}

// The merge runs on a worker: the window answers while a row is written, shows
// the progress, and its Cancel stops between rows; the undo file saved before
// the first write takes back exactly what was written.
TEST(MainWindowList, AMergeCancelledBetweenRowsIsTakenBackByItsUndoFile) {
  for (int i = 0; i < 10; ++i) Seed(u"Merge", u"v" + Decimal(i), kRegSz, test::StringBytes(u"old"));
  const auto before = test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, u"Merge");
  TempFolder folder;
  std::u16string lines;
  for (int i = 0; i < 10; ++i) lines += (i == 5 ? u"\"GateWrite\"=\"new\"\r\n" : u"") + (u"\"v" + Decimal(i) + u"\"=\"new\"\r\n");
  Window w;
  w.Load(folder.WriteReg(u"merge.reg", u"[HKEY_CURRENT_USER\\Merge]\r\n" + lines));
  ASSERT_TRUE(w.WaitForCompletions(1));
  w.ApplyRule(L"All");
  w.PostCommand(IDC_MERGE);
  w.AnswerBoxes({IDYES});
  ASSERT_EQ(WaitForSingleObject(TestRegistry().reached, 20000), WAIT_OBJECT_0);  // writing row 6
  DWORD_PTR ignored = 0;
  EXPECT_NE(SendMessageTimeoutW(w.window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored), 0);
  EXPECT_TRUE(WaitUntil([&] { return w.StatusText(0) == u"Merging row 6 of 11"; })) << ToUtf8(w.StatusText(0));
  EXPECT_EQ(WindowText(GetDlgItem(w.window(), IDC_MERGE)), u"Cancel merging");
  EXPECT_FALSE(w.Enabled(IDC_CLEAR_ALL));
  w.Click(IDC_MERGE);
  SetEvent(TestRegistry().release);
  const std::u16string outcome = w.AnswerBoxes({IDOK}).front();
  EXPECT_TRUE(outcome.starts_with(u"Merging was cancelled: 6 of 11 checked rows were merged before the cancel."))
      << ToUtf8(outcome);
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 5; }));
  EXPECT_EQ(w.Checks(), "xxxxx");  // the rows not merged stay, checked
  EXPECT_EQ(WindowText(GetDlgItem(w.window(), IDC_MERGE)), u"Merge checked changes into registry");

  // The undo file, named in the outcome, merged back.
  const size_t at = outcome.find(u"The undo file ") + 14;
  std::u16string undo = outcome.substr(at, outcome.find(u" takes them back") - at);
  std::erase(undo, u'\r');  // the box breaks a long path with line breaks of its own
  std::erase(undo, u'\n');
  w.LoadAnswering(undo, IDC_REPLACE_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  w.ApplyRule(L"All");
  w.PostCommand(IDC_MERGE);
  EXPECT_EQ(FirstParagraph(w.AnswerBoxes({IDYES, IDOK}).back()), u"Changes successfully applied!");
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0; }));
  EXPECT_EQ(test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, u"Merge"), before);
  DeleteFileW(AsWide(undo));
}

// Rows under a key the account may not change are named before anything is
// written: the program restarts with the same file and the same rows checked,
// or merges the others.
bool Exists(std::u16string_view key) {
  Registry::Handle handle = 0;
  if (TestRegistry().inner.OpenKey(RegRoot::CurrentUser, key, kKeyRead, &handle) != kRegOk) return false;
  TestRegistry().inner.CloseKey(handle);
  return true;
}

TEST(MainWindowList, RowsTheAccountMayNotWriteRestartOrStayBehind) {
  Seed(u"Locked", u"a", kRegSz, test::StringBytes(u"old"));
  TempFolder folder;
  const std::u16string file = folder.WriteReg(
      u"locked.reg", u"[HKEY_CURRENT_USER\\Locked]\r\n\"a\"=\"new\"\r\n\"b\"=\"new\"\r\n"
                     u"[HKEY_CURRENT_USER\\Software\\HivemendTest\\Open]\r\n\"c\"=\"new\"\r\n");
  for (const int answer : {AMB_ID_CUSTOM1 /* restart */, AMB_ID_CUSTOM2 /* merge the others */}) {
    SCOPED_TRACE(answer);
    std::vector<std::u16string> restarted;
    MainDialogOptions options;
    options.restart_elevated = [&](const std::vector<std::u16string>& arguments) {
      restarted = arguments;
      return 0L;
    };
    options.startup_arguments = {file};
    Window w(options);
    ASSERT_TRUE(w.WaitForCompletions(1));
    ASSERT_EQ(w.Column(3), (std::vector<std::u16string>{u"a", u"b", u"c"}));
    w.ClickCheckBox(0);
    w.ClickCheckBox(2);
    ASSERT_EQ(w.Checks(), "x.x");
    w.PostCommand(IDC_MERGE);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindOwnedDialog(w.thread(), w.window(), u"Hivemend")) != nullptr; }));
    EXPECT_TRUE(WindowText(GetDlgItem(box, 1001)).starts_with(
        u"This account may not change the keys of 1 of the 2 checked rows:\r\n\r\nHKEY_CURRENT_USER\\Locked\r\n"));
    EXPECT_EQ(WindowText(GetDlgItem(box, AMB_ID_CUSTOM1)), u"Restart as administrator");
    PostMessageW(box, WM_COMMAND, answer, 0);
    if (answer == AMB_ID_CUSTOM1) {
      EXPECT_EQ(w.WaitForResult(), 0);  // the window closed for the new copy
      ASSERT_EQ(restarted.size(), 3u);
      EXPECT_EQ(restarted[0], u"/checked");
      EXPECT_EQ(restarted[2], file);
      EXPECT_FALSE(Exists(u"Software\\HivemendTest\\Open"));
      // The new copy: the same file, the same rows checked; the file of
      // checked rows is gone once read.
      MainDialogOptions again;
      again.checked_lines_file = restarted[1];
      again.startup_arguments = {restarted[2]};
      Window w2(again);
      ASSERT_TRUE(w2.WaitForCompletions(1));
      EXPECT_EQ(w2.Checks(), "x.x");
      EXPECT_EQ(w2.StatusText(2), u"2 checked");
      EXPECT_EQ(GetFileAttributesW(AsWide(restarted[1])), INVALID_FILE_ATTRIBUTES);
      continue;
    }
    // The confirmation, then the outcome with the row left behind.
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    const std::vector<std::u16string> texts = w.AnswerBoxes({IDYES, IDOK});
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(texts[1].starts_with(u"1 of the 2 checked rows were not merged: they stay in the list, checked."));
    EXPECT_NE(texts[1].find(u"Did not write key HKEY_CURRENT_USER\\Locked value a"), std::u16string::npos);
    ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 2; }));
    EXPECT_TRUE(restarted.empty());
    EXPECT_EQ(w.Column(3), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_TRUE(Exists(u"Software\\HivemendTest\\Open"));
    ASSERT_EQ(TestRegistry().inner.DeleteTree(RegRoot::CurrentUser, u"Software\\HivemendTest\\Open"), kRegOk);
  }
}

// ---- Details, row menu, selection, keys ----------------------------------------

// The details view the window opened, or none.
HWND FindDetails(Window& w) {
  HWND found = nullptr;
  WaitUntil([&] {
    found = FindOwnedDialog(w.thread(), w.window());
    return found != nullptr && WindowText(found).rfind(u"Details - ", 0) == 0;
  });
  return found != nullptr && WindowText(found).rfind(u"Details - ", 0) == 0 ? found : nullptr;
}

std::u16string DumpCell(HWND details, int line, int column) {
  wchar_t text[256] = L"";
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 256;
  SendMessageW(GetDlgItem(details, IDC_DETAILS_DUMP), LVM_GETITEMTEXTW, line, reinterpret_cast<LPARAM>(&item));
  return AsU16(text);
}

TEST(MainWindowDetails, EveryTypeReadBackFromTheView) {
  Seed(u"Software\\Details", u"Greeting", kRegSz, test::StringBytes(u"hello, WORLD"));
  Seed(u"Software\\Details", u"Blob", kRegBinary, {1, 2, 3, 4});
  Seed(u"Software\\Details", u"Count", kRegQword, {5, 0, 0, 0, 0, 0, 0, 0});
  TempFolder folder;
  const std::u16string path = folder.WriteReg(
      u"details.reg", u"[HKEY_CURRENT_USER\\Software\\Details]\r\n"
                      u"\"Blob\"=hex:01,02,09,04,05\r\n"
                      u"\"Count\"=hex(b):05,00,00,00,00,00,00,00\r\n"
                      u"\"Greeting\"=\"Hello, world\"\r\n"
                      u"\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                      u"\"Path\"=hex(2):25,00,48,00,4d,00,54,00,25,00,00,00\r\n");
  SetEnvironmentVariableW(L"HMT", L"expanded");
  Window w;
  w.Load(path);
  ASSERT_TRUE(w.WaitForCompletions(1));
  ASSERT_EQ(w.Column(3), (std::vector<std::u16string>{u"Blob", u"Count", u"Greeting", u"List", u"Path"}));
  // "Current HIVE data" shows what the registry holds, also for a SAME row.
  EXPECT_EQ(w.Cell(2, 1), u"SAME");
  EXPECT_EQ(w.Cell(2, 6), u"hello, WORLD");
  EXPECT_EQ(WindowText(w.window()), u"Hivemend - details.reg");

  struct Case {
    int line;
    int row;
    std::u16string file, live;  // the text sides; empty for a dump
  };
  const Case cases[] = {
      {__LINE__, 1, u"0x0000000000000005 (5)\r\n", u"0x0000000000000005 (5)\r\n"},
      {__LINE__, 2, u"Hello, world\r\n", u"hello, WORLD\r\n"},
      {__LINE__, 3, u"1: a\r\n2: b\r\n", u"(no such value)\r\n"},
      {__LINE__, 4, u"As written: %HMT%\r\nExpanded:   expanded\r\n", u"(no such value)\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    w.Select({c.row});
    w.Key(VK_RETURN);  // Enter on a row opens its details
    const HWND details = FindDetails(w);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(details, IDC_DETAILS_FILE)), c.file);
    EXPECT_EQ(WindowText(GetDlgItem(details, IDC_DETAILS_LIVE)), c.live);
    EXPECT_NE(WindowText(GetDlgItem(details, IDC_DETAILS_SUMMARY)).find(u"read from the registry when this view opened"),
              std::u16string::npos);
    PostMessageW(GetFocus() ? GetFocus() : GetDlgItem(details, IDC_DETAILS_FILE), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(GetDlgItem(details, IDC_DETAILS_FILE), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(details); }));
  }

  // A binary value: both sides in one dump, the bytes that differ marked;
  // opened by a double-click. Copy puts everything on the clipboard.
  w.Select({0});
  RECT rect{};
  rect.left = LVIR_LABEL;
  SendMessageW(w.list(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rect));
  PostMessageW(w.list(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(rect.left + 40, (rect.top + rect.bottom) / 2));
  const HWND details = FindDetails(w);
  ASSERT_NE(details, nullptr);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(details, IDC_DETAILS_DUMP)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(details, IDC_DETAILS_FILE)));
  EXPECT_EQ(SendMessageW(GetDlgItem(details, IDC_DETAILS_DUMP), LVM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(DumpCell(details, 0, 0), u"* 00000000");
  EXPECT_EQ(DumpCell(details, 0, 1).substr(0, 15), u" 01 02*09 04*05");
  EXPECT_EQ(DumpCell(details, 0, 3).substr(0, 15), u" 01 02*03 04   ");
  EXPECT_NE(WindowText(GetDlgItem(details, IDC_DETAILS_SUMMARY)).find(u"5 bytes in the file, 4 in the registry; 2 differ"),
            std::u16string::npos);
  SendMessageW(GetDlgItem(details, IDC_DETAILS_COPY), BM_CLICK, 0, 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  const HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const std::u16string copied = data ? AsU16(static_cast<const wchar_t*>(GlobalLock(data))) : std::u16string();
  if (data) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_NE(copied.find(u"Key:                Software\\Details\r\n"), std::u16string::npos) << ToUtf8(copied);
  EXPECT_NE(copied.find(u"* 00000000  01 02*09 04*05"), std::u16string::npos) << ToUtf8(copied);
  SendMessageW(GetDlgItem(details, IDCANCEL), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(details); }));
}

std::u16string ClipboardText() {
  if (!OpenClipboard(nullptr)) return u"(clipboard closed)";
  const HANDLE data = GetClipboardData(CF_UNICODETEXT);
  std::u16string text = data ? AsU16(static_cast<const wchar_t*>(GlobalLock(data))) : std::u16string();
  if (data) GlobalUnlock(data);
  CloseClipboard();
  return text;
}

// The selection and the focus stay with their rows through a sort, rows
// inserted above them and the removal of merged rows.
TEST(MainWindowList, SelectionFollowsItsRows) {
  TempFolder folder;
  Window w;
  w.Load(SortFile(folder));  // HKCR k1, HKCU k10, HKLM k9
  ASSERT_TRUE(w.WaitForCompletions(1));
  w.Select({2});  // HKLM k9, focused
  w.ClickHeader(2);
  w.ClickHeader(2);  // descending: k9, k10, k1
  EXPECT_EQ(w.Column(2), (std::vector<std::u16string>{u"k9", u"k10", u"k1"}));
  EXPECT_EQ(w.Selection(), "F..");
  // The sorted column's header shows the direction.
  const HWND header = reinterpret_cast<HWND>(SendMessageW(w.list(), LVM_GETHEADER, 0, 0));
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  SendMessageW(header, HDM_GETITEMW, 2, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(item.fmt & (HDF_SORTUP | HDF_SORTDOWN), HDF_SORTDOWN);

  w.LoadAnswering(folder.WriteReg(u"later.reg", u"[HKCC\\k0]\r\n\"d\"=\"y\"\r\n"), IDC_ADD_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(WindowText(w.window()), u"Hivemend - 2 files");
  EXPECT_EQ(w.Column(2), (std::vector<std::u16string>{u"k9", u"k10", u"k1", u"k0"}));  // by the last sort
  EXPECT_EQ(w.Selection(), "F...");

  // Ctrl+A, then the space bar: every selected row takes the opposite of the
  // focused row's check.
  w.Command(IDM_SELECT_ALL);
  EXPECT_EQ(w.Selection(), "Fsss");
  w.Key(VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return w.Checks() == "xxxx"; }));
  EXPECT_EQ(w.StatusText(2), u"4 checked");

  // Merge the first two rows: the rows after them keep their selection and
  // the focus.
  w.Select({3, 2});
  w.Command(IDM_ROW_UNCHECK);
  EXPECT_EQ(w.Checks(), "xx..");
  EXPECT_EQ(w.StatusText(2), u"2 checked");
  w.PostCommand(IDC_MERGE);
  w.AnswerBoxes({IDYES, IDOK});
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 2; }));
  EXPECT_EQ(w.Column(2), (std::vector<std::u16string>{u"k1", u"k0"}));
  EXPECT_EQ(w.Selection(), "sF");
  // The status bar describes the rows left.
  EXPECT_EQ(w.StatusText(1), u"0 matched, 0 differ, 2 do not exist");
  EXPECT_EQ(w.StatusText(2), u"0 checked");
}

TEST(MainWindowList, RowMenuCommandsAndCopy) {
  Seed(u"Software\\Menu", u"a", kRegSz, test::StringBytes(u"old\tvalue"));
  TempFolder folder;
  MainDialogOptions options;
  std::vector<std::u16string> opened;
  options.open_registry_editor = [&](const std::u16string& key) { opened.push_back(key); };
  Window w(std::move(options));
  w.Load(folder.WriteReg(u"menu.reg", u"[HKEY_CURRENT_USER\\Software\\Menu]\r\n\"a\"=\"new\"\r\n"
                                      u"[HKEY_CURRENT_USER\\Software\\NoSuchKey]\r\n\"b\"=dword:00000002\r\n"));
  ASSERT_TRUE(w.WaitForCompletions(1));
  ASSERT_EQ(w.Column(3), (std::vector<std::u16string>{u"a", u"b"}));

  // The menu on the current row: from the context-menu key, with the command
  // that needs an existing key greyed for the row without one.
  for (int row : {0, 1}) {
    w.Select({row});
    w.Key(VK_APPS);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = FindWindowW(L"#32768", nullptr)) != nullptr && IsWindowVisible(menu); }));
    const HMENU items = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(GetMenuState(items, IDM_ROW_DETAILS, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_EQ((GetMenuState(items, IDM_ROW_REGEDIT, MF_BYCOMMAND) & MF_GRAYED) != 0, row == 1) << "row " << row;
    wchar_t text[64] = L"";
    GetMenuStringW(items, IDM_ROW_COPY, text, 64, MF_BYCOMMAND);
    EXPECT_EQ(AsU16(text), u"C&opy\tCtrl+C");
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu) || !IsWindow(menu); }));
  }

  w.Select({0, 1});
  w.Command(IDM_ROW_CHECK);
  EXPECT_EQ(w.Checks(), "xx");
  w.Select({1});
  w.Command(IDM_ROW_UNCHECK);
  EXPECT_EQ(w.Checks(), "x.");
  w.Select({0});
  w.Command(IDM_ROW_REGEDIT);
  EXPECT_EQ(opened, std::vector<std::u16string>{u"HKEY_CURRENT_USER\\Software\\Menu"});

  // Copy: the selected rows in the console front end's form, with the list's
  // texts (a tab in a value shown as the list shows it).
  w.Select({1, 0});
  w.Command(IDM_ROW_COPY);
  EXPECT_EQ(ClipboardText(),
            u"HIVE\tCompare\tKey\tValue Name\tType\tREG file data\tCurrent HIVE data\n"
            u"HKEY_CURRENT_USER\tCHANGED\tSoftware\\\\Menu\ta\tREG_SZ\tnew\told<TAB>value\n"  // the list's data texts
            u"HKEY_CURRENT_USER\tMISSING\tSoftware\\\\NoSuchKey\tb\tREG_DWORD\t0x2\t\n");

  // The File menu shows the shortcuts.
  wchar_t text[64] = L"";
  GetMenuStringW(GetMenu(w.window()), IDM_RELOAD, text, 64, MF_BYCOMMAND);
  EXPECT_EQ(AsU16(text), u"Load again\tF5");
}

// F5 after a merge compares the same file again: the merged values are SAME.
TEST(MainWindowList, F5AfterAMergeShowsTheMergedValuesAsSame) {
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\HivemendTest\\Reload");
  TempFolder folder;
  const std::u16string path = folder.WriteReg(
      u"reload.reg", u"[HKEY_CURRENT_USER\\Software\\HivemendTest\\Reload]\r\n\"one\"=\"1\"\r\n\"two\"=hex:02,02\r\n");
  Window w;
  w.Load(path);
  ASSERT_TRUE(w.WaitForCompletions(1));
  EXPECT_EQ(w.Column(1), (std::vector<std::u16string>{u"MISSING", u"MISSING"}));
  w.ApplyRule(L"All");
  w.PostCommand(IDC_MERGE);
  w.AnswerBoxes({IDYES, IDOK});
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0; }));
  EXPECT_EQ(w.StatusText(1), u"0 matched, 0 differ, 0 do not exist");
  w.Key(VK_F5);
  ASSERT_TRUE(w.WaitForCompletions(2));
  EXPECT_EQ(w.Column(1), (std::vector<std::u16string>{u"SAME", u"SAME"}));
  EXPECT_EQ(w.StatusText(1), u"2 matched, 0 differ, 0 do not exist");
  EXPECT_EQ(WindowText(w.window()), u"Hivemend - reload.reg");
  // "Replace" empties the list before another file's rows come; Cancel loads nothing.
  const std::u16string other = folder.WriteReg(u"other.reg", u"[HKCU\\Other]\r\n\"o\"=\"1\"\r\n");
  w.LoadAnswering(other, IDC_CANCEL_ANSWER);
  Sleep(200);
  EXPECT_EQ(w.RowCount(), 2);
  w.LoadAnswering(other, IDC_REPLACE_ANSWER);
  ASSERT_TRUE(w.WaitForCompletions(3));
  EXPECT_EQ(w.Column(3), std::vector<std::u16string>{u"o"});
  EXPECT_EQ(WindowText(w.window()), u"Hivemend - other.reg");
}

// ---- Taking merges back ------------------------------------------------------------

// The merges of the history folder as the History dialog lists them.
Rows HistoryRows(HWND dialog) {
  const HWND list = GetDlgItem(dialog, IDC_HISTORY_LIST);
  Rows rows(static_cast<size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < 5; ++c) rows[r].push_back(ListCellText(list, static_cast<int>(r), c));
  }
  return rows;
}

// A merge of demo rows (values changed, added and deleted, a key created, a
// key deleted with what it holds) is taken back exactly by Undo last merge,
// whose own undo file takes the undo back; the outcome names the undo file and
// shows it in its folder; the History dialog lists every merge and previews one.
TEST(MainWindowUndo, UndoLastMergeRestoresTheRegistryAndTheHistoryListsEveryMerge) {
  const std::u16string key = u"Software\\HivemendTest\\Undo";
  (void)TestRegistry().inner.DeleteTree(RegRoot::CurrentUser, key);  // left by a failed run
  Seed(key, u"Greeting", kRegSz, test::StringBytes(u"hello, WORLD"));
  Seed(key, u"RetryCount", kRegDword, test::DwordBytes(5));
  Seed(key, u"LegacyMode", kRegDword, test::DwordBytes(1));
  Seed(key + u"\\Obsolete", u"OldSetting", kRegSz, test::StringBytes(u"old"));
  Seed(key + u"\\Obsolete\\Deeper", u"Blob", kRegBinary, {1, 2, 3});
  const auto before = test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, key);
  TempFolder folder, history;
  MainDialogOptions options;
  options.history_folder = [&history] { return history.path(); };
  Window w(options);
  w.PostCommand(IDM_UNDO_LAST);
  EXPECT_TRUE(w.AnswerBoxes({IDOK}).front().starts_with(u"There is no undo file in the history folder " +
                                                         history.path()));

  w.Load(folder.WriteReg(u"demo.reg", u"[HKEY_CURRENT_USER\\" + key + u"]\r\n\"Greeting\"=\"Hello, world\"\r\n"
                                      u"\"RetryCount\"=dword:00000007\r\n\"Theme\"=\"dark\"\r\n\"LegacyMode\"=-\r\n"
                                      u"[HKEY_CURRENT_USER\\" + key + u"\\Counters]\r\n"
                                      u"\"Launches\"=hex(b):2a,00,00,00,00,00,00,00\r\n"
                                      u"[-HKEY_CURRENT_USER\\" + key + u"\\Obsolete]\r\n"));
  ASSERT_TRUE(w.WaitForCompletions(1));
  const int rows = w.RowCount();
  w.ApplyRule(L"All");
  w.PostCommand(IDC_MERGE);
  w.AnswerBoxes({IDYES});
  // The outcome: its first line, the rows and the undo file, and a way to it.
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = FindOwnedDialog(w.thread(), w.window(), u"Hivemend")) != nullptr; }));
  const std::u16string undo = NewestUndoFile(history.path());
  const std::u16string undo_name = undo.substr(history.path().size() + 1);
  EXPECT_EQ(test::Show(WindowText(GetDlgItem(box, 1001))),
            test::Show(u"Changes successfully applied!\r\n\r\nMerged " + Decimal(rows) + u" rows.\r\nUndo file: " +
                       undo_name));
  EXPECT_EQ(WindowText(GetDlgItem(box, IDOK)), u"OK");
  EXPECT_EQ(WindowText(GetDlgItem(box, AMB_ID_REPORT)), u"Show in folder");
  PostMessageW(box, WM_COMMAND, AMB_ID_REPORT, 0);
  ASSERT_TRUE(WaitUntil([&] { return w.shown_file() == undo; })) << test::Show(w.shown_file());
  EXPECT_TRUE(IsWindow(box));  // until OK, Escape or the close box
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0 && !IsWindow(box); }));
  EXPECT_EQ(w.StatusText(0), u"Merged " + Decimal(rows) + u" rows; undo: " + undo_name);
  const auto merged = test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, key);
  ASSERT_NE(merged, before);

  // Undo last merge: the undo file's rows, all checked, and one question.
  w.PostCommand(IDM_UNDO_LAST);
  std::vector<std::u16string> texts = w.AnswerBoxes({IDYES, IDOK});
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_TRUE(texts[0].starts_with(u"The list now holds the ")) << test::Show(texts[0]);
  EXPECT_NE(texts[0].find(u"of the undo file " + undo_name + u", which takes back the merge of "), std::u16string::npos);
  EXPECT_EQ(FirstParagraph(texts[1]), u"Changes successfully applied!");
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0; }));
  EXPECT_EQ(test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, key), before);
  const std::u16string undo_of_undo = NewestUndoFile(history.path());
  EXPECT_NE(undo_of_undo, undo);
  // The undo was a merge of its own: undoing it merges the demo rows again.
  w.PostCommand(IDM_UNDO_LAST);
  w.AnswerBoxes({IDYES, IDOK});
  ASSERT_TRUE(WaitUntil([&] { return w.RowCount() == 0; }));
  EXPECT_EQ(test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, key), merged);

  // History: every merge newest first, a damaged file listed as such.
  const std::u16string damaged = history.WriteRaw(u"hivemend_undo_20000101-000000.reg", u"not an undo file");
  KeepNewest(damaged);
  w.PostCommand(IDM_HISTORY);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (dialog = FindOwnedDialog(w.thread(), w.window(), u"Merge history")) != nullptr; }));
  const Rows listed = HistoryRows(dialog);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0], (std::vector<std::u16string>{u"(damaged)", u"Not a readable undo file of Hivemend", u"", u"No",
                                                    u"hivemend_undo_20000101-000000.reg"}));
  EXPECT_EQ(listed[1][1], undo_of_undo.substr(history.path().size() + 1));
  EXPECT_EQ(listed[2][1], undo_name);
  EXPECT_EQ(listed[3][1], u"demo.reg");
  EXPECT_EQ(listed[3][2], Decimal(rows));
  EXPECT_EQ(listed[3][3], u"No");
  EXPECT_EQ(listed[3][4], undo_name);
  EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_HISTORY_COUNT)), u"4 merges in " + history.path());
  // The damaged file is selected first: shown in its folder, never loaded.
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_HISTORY_PREVIEW)));
  SendMessageW(GetDlgItem(dialog, IDC_HISTORY_SHOW), BM_CLICK, 0, 0);
  EXPECT_EQ(w.shown_file(), damaged);
  // Preview of the oldest merge's undo file: its rows, unchecked.
  LVITEMW item{};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(GetDlgItem(dialog, IDC_HISTORY_LIST), LVM_SETITEMSTATE, 3, reinterpret_cast<LPARAM>(&item));
  ASSERT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_HISTORY_PREVIEW)));
  SendMessageW(GetDlgItem(dialog, IDC_HISTORY_PREVIEW), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  ASSERT_TRUE(w.WaitForCompletions(4));
  EXPECT_EQ(WindowText(w.window()), u"Hivemend - " + undo_name);
  EXPECT_EQ(w.Checks(), std::string(static_cast<size_t>(w.RowCount()), '.'));
  EXPECT_GT(w.RowCount(), 0);
  ASSERT_EQ(TestRegistry().inner.DeleteTree(RegRoot::CurrentUser, key), kRegOk);
}

// ---- Menus, About box, closing ------------------------------------------------------

TEST(MainWindowMenu, AboutShowsTheProgramVersion) {
  Window w;
  w.PostCommand(IDM_ABOUT);
  HWND about = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (about = FindOwnedDialog(w.thread(), w.window(), u"About Hivemend")) != nullptr; }));
  // The tests are built into test builds only, which say so.
  EXPECT_EQ(WindowText(GetDlgItem(about, IDC_ABOUT_TEXT)), u"Hivemend 0.0.2.11 (test build)");
  EXPECT_FALSE(IsWindowEnabled(w.window()));
  SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about) && IsWindowEnabled(w.window()); }));
}

// The Settings entries set and remove the .REG file handler in the window's
// registry, say so in the program's message box, and leave the list alone.
TEST(MainWindowMenu, SettingsEntriesSetAndRemoveTheFileHandler) {
  TempFolder folder;
  Window w;
  w.Load(SortFile(folder));
  ASSERT_TRUE(w.WaitForCompletions(1));
  w.ApplyRule(L"All");
  const Rows rows = w.AllRows();
  const std::u16string status0 = w.StatusText(0), status1 = w.StatusText(1);
  const auto classes = test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, u"Software\\Classes");
  const auto command_text = [&] {
    RegKey key(TestRegistry().inner);
    char16_t text[1024] = {};
    std::uint32_t type = 0, size = sizeof text - 2;
    if (key.Open(RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell\\Hivemend\\command", kKeyRead) != kRegOk ||
        key.Query(u"", &type, reinterpret_cast<std::uint8_t*>(text), &size) != kRegOk)
      return std::u16string(u"(none)");
    return std::u16string(text);
  };
  // Answers the box that the command opens and returns its text.
  const auto run = [&](int command) {
    w.PostCommand(command);
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindOwnedDialog(w.thread(), w.window(), u"Hivemend")) != nullptr; }))
      return std::u16string(u"(no message box)");
    const std::u16string text = WindowText(GetDlgItem(box, 1001));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !IsWindow(box); });
    return text;
  };

  // The Settings menu checks the entry in force as it opens.
  const auto checked_entry = [&] {
    const HMENU settings = GetSubMenu(GetMenu(w.window()), 1);
    SendMessageW(w.window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(settings), 1);
    for (const int id : {IDM_SET_FILE_HANDLER, IDM_REMOVE_FILE_HANDLER})
      if (GetMenuState(settings, id, MF_BYCOMMAND) & MF_CHECKED) return id;
    return 0;
  };
  EXPECT_EQ(checked_entry(), IDM_REMOVE_FILE_HANDLER);
  const std::u16string set = run(IDM_SET_FILE_HANDLER);
  EXPECT_EQ(set.rfind(u"Opening a .REG file (a double-click, or Open) now shows it in Hivemend", 0), 0u) << test::Show(set);
  EXPECT_EQ(command_text(), u"\"" + ProgramPath() + u"\" \"%1\"");
  EXPECT_EQ(checked_entry(), IDM_SET_FILE_HANDLER);
  EXPECT_EQ(test::Show(run(IDM_REMOVE_FILE_HANDLER)),
            "Hivemend no longer opens .REG files: what opened them before is back.");
  EXPECT_EQ(checked_entry(), IDM_REMOVE_FILE_HANDLER);
  EXPECT_EQ(test::DumpRegistry(TestRegistry().inner, RegRoot::CurrentUser, u"Software\\Classes"), classes);
  EXPECT_EQ(test::Show(run(IDM_REMOVE_FILE_HANDLER)),
            "Hivemend is not set as the .REG file handler: nothing was changed.");

  EXPECT_EQ(w.AllRows(), rows);
  EXPECT_EQ(w.Checks(), "xxx");
  EXPECT_EQ(w.StatusText(0), status0);
  EXPECT_EQ(w.StatusText(1), status1);
  EXPECT_TRUE(IsWindowEnabled(w.window()));
}

TEST(MainWindowMenu, OpenHistoryFolderCreatesAndShowsIt) {
  Window w;
  w.Command(IDM_OPEN_HISTORY);
  const std::u16string folder = w.opened_folder();
  ASSERT_GT(folder.size(), 9u);
  EXPECT_EQ(folder.substr(folder.size() - 9), u"\\Hivemend");
  const DWORD attributes = GetFileAttributesW(AsWide(folder));
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(MainWindowEnd, ResultsOfTheWaysToClose) {
  struct Case {
    int line;
    std::function<void(Window&)> close;
    INT_PTR result;
  };
  const Case cases[] = {
      {__LINE__, [](Window& w) { w.PostCommand(IDM_EXIT); }, 0},
      {__LINE__, [](Window& w) { PostMessageW(w.window(), WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
      {__LINE__, [](Window& w) { PostMessageW(GetFocus() ? GetFocus() : w.list(), WM_KEYDOWN, VK_ESCAPE, 0); }, 2},
      {__LINE__, [](Window& w) { SetEvent(w.terminate_event()); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    Window w;
    c.close(w);
    EXPECT_EQ(w.WaitForResult(), c.result);
  }
}

TEST(MainWindowEnd, ATerminateRequestClosesOpenDialogsToo) {
  Window w;
  w.PostCommand(IDM_ABOUT);
  ASSERT_TRUE(WaitUntil([&] { return FindOwnedDialog(w.thread(), w.window(), u"About Hivemend") != nullptr; }));
  SetEvent(w.terminate_event());
  EXPECT_EQ(w.WaitForResult(), 0);
}

// The update result and the close request both arrive while the window runs
// the prompt's own message loop; the prompt is answered No.
TEST(MainWindowEnd, ATerminateRequestClosesTheUpdatePrompt) {
  MainDialogOptions options;
  options.check_for_update = [](HANDLE) { return std::optional<std::u16string>(u"0.0.2.12"); };
  Window w(std::move(options));
  ASSERT_TRUE(WaitUntil(
      [&] { return FindOwnedDialog(w.thread(), w.window(), u"Hivemend Update Available") != nullptr; }));
  SetEvent(w.terminate_event());
  EXPECT_EQ(w.WaitForResult(), 0);
}

TEST(MainWindowEnd, ATerminateRequestClosesALoadErrorMessage) {
  TempFolder folder;
  Window w;
  w.Drop({folder.path() + u"\\gone.reg"});
  ASSERT_TRUE(WaitUntil([&] { return FindOwnedDialog(w.thread(), w.window(), u"Hivemend") != nullptr; }));
  SetEvent(w.terminate_event());
  EXPECT_EQ(w.WaitForResult(), 0);
}

// The window waits for a worker that is inside the registry, and the worker
// stops at its next line: of the 80 values after the gate only the one read
// while the gate held the comparison is compared (its key opened once more).
TEST(MainWindowEnd, ClosingDuringALoadStopsAndJoinsTheWorker) {
  TempFolder folder;
  const std::u16string path = GatedFile(folder);
  Window w;
  w.Load(path);
  ASSERT_EQ(WaitForSingleObject(TestRegistry().reached, 20000), WAIT_OBJECT_0);
  const int opened_at_gate = TestRegistry().opened;
  w.PostCommand(IDM_EXIT);
  Sleep(300);
  EXPECT_FALSE(w.finished());  // still waiting for the worker
  SetEvent(TestRegistry().release);
  EXPECT_EQ(w.WaitForResult(), 0);
  EXPECT_EQ(TestRegistry().opened, opened_at_gate + 1);
}

// ---- The update download ----------------------------------------------------

// The progress window of this thread that owner owns, or none.
HWND FindProgressWindow(DWORD thread, HWND owner) {
  return FindOwnedWindow(thread, owner, L"HivemendUpdateProgress", false);
}

// A download that reports some of its bytes (all of them: the installer is
// being checked) and then waits for its stop.
struct StalledInstall {
  std::atomic<bool> stopped{false};
  std::uint64_t received = 5000;
  InstallFunction function() {
    return [this](HANDLE stop, DownloadProgress progress) {
      progress(received, 10000);
      if (WaitForSingleObject(stop, 30000) != WAIT_OBJECT_0) return InstallResult(InstallOutcome::TimedOut);
      stopped = true;
      return InstallResult(InstallOutcome::Stopped);
    };
  }
};

// After Yes, the window stays usable while the download runs beside it; each
// way to end it stops the download (which deletes its partial file).
TEST(MainWindowUpdate, CancelACloseRequestAndClosingTheWindowStopTheDownload) {
  enum class End { Cancel, CloseRequest, CloseBox };
  const struct Case {
    int line;
    End end;
    INT_PTR result;  // of the window; -1: it stays open
    std::uint64_t received;  // of 10000 bytes before it stalls
  } cases[] = {
      {__LINE__, End::Cancel, -1, 5000},
      {__LINE__, End::Cancel, -1, 10000},  // during the installer's check
      {__LINE__, End::CloseRequest, 0, 5000},
      {__LINE__, End::CloseBox, 2, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    StalledInstall install;
    install.received = c.received;
    MainDialogOptions options;
    options.check_for_update = [](HANDLE) { return std::optional<std::u16string>(u"0.0.2.12"); };
    options.install_update = install.function();
    Window w(std::move(options));
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (prompt = FindOwnedDialog(w.thread(), w.window(), u"Hivemend Update Available")) != nullptr; }));
    PostMessageW(prompt, WM_COMMAND, IDYES, 0);
    HWND progress = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (progress = FindProgressWindow(w.thread(), w.window())) != nullptr; }));
    const std::u16string expected = c.received < 10000 ? DownloadProgressText(c.received, 10000)
                                                       : u"Checking the installer's signature and version...";
    EXPECT_TRUE(WaitUntil([&] { return WindowText(FindWindowExW(progress, nullptr, L"Static", nullptr)) == expected; }));
    // The main window answers meanwhile.
    EXPECT_TRUE(IsWindowEnabled(w.window()));
    EXPECT_TRUE(SendMessageTimeoutW(w.window(), WM_NULL, 0, 0, SMTO_BLOCK, 10000, nullptr));
    EXPECT_FALSE(install.stopped);

    switch (c.end) {
      case End::Cancel: PostMessageW(progress, WM_COMMAND, IDCANCEL, 0); break;
      case End::CloseRequest: SetEvent(w.terminate_event()); break;
      case End::CloseBox: PostMessageW(w.window(), WM_SYSCOMMAND, SC_CLOSE, 0); break;
    }
    if (c.result >= 0) {
      EXPECT_EQ(w.WaitForResult(), c.result);
    } else {
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(progress); }));
      EXPECT_FALSE(w.finished());
    }
    EXPECT_TRUE(install.stopped);
  }
}

// Every end of a download but Cancel is reported once, a start too; the
// window stays.
TEST(MainWindowUpdate, EveryEndOfADownloadIsReportedOnce) {
  for (const InstallOutcome outcome : {InstallOutcome::Started, InstallOutcome::ServerStatus,
                                       InstallOutcome::WrongVersion, InstallOutcome::Declined}) {
    SCOPED_TRACE(static_cast<int>(outcome));
    InstallResult result(outcome);
    result.offered_version = u"0.0.2.12";
    result.installer_version = u"0.0.2.10";
    result.status = 404;
    MainDialogOptions options;
    options.check_for_update = [](HANDLE) { return std::optional<std::u16string>(u"0.0.2.12"); };
    options.install_update = [result](HANDLE, DownloadProgress) { return result; };
    Window w(std::move(options));
    HWND prompt = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (prompt = FindOwnedDialog(w.thread(), w.window(), u"Hivemend Update Available")) != nullptr; }));
    PostMessageW(prompt, WM_COMMAND, IDYES, 0);
    HWND box = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (box = FindOwnedDialog(w.thread(), w.window(), u"Hivemend Update")) != nullptr; }));
    EXPECT_FALSE(InstallOutcomeMessage(result).empty());
    EXPECT_EQ(WindowText(GetDlgItem(box, 1001)), InstallOutcomeMessage(result));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box) && FindProgressWindow(w.thread(), w.window()) == nullptr; }));
    EXPECT_FALSE(w.finished());
  }
}

// ---- Sizes: resizing, the minimum size, a new DPI -------------------------------

RECT ClientRectOf(HWND control, HWND parent) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The work area of the window's monitor.
RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcWork;
}

// Every control lies inside the client area and has room; the list runs from
// its top place to above the merge button.
void ExpectControlsInside(HWND window, int line) {
  SCOPED_TRACE(testing::Message() << "checked at line " << line);
  RECT client{};
  GetClientRect(window, &client);
  for (const int id : {IDC_MERGE, IDC_CHANGE_LIST, IDC_LOAD, IDC_CHECK_RULE, IDC_APPLY, IDC_CANCEL_LOAD,
                       IDC_CLEAR_ALL, IDC_FILTER_TEXT, IDC_FILTER_STATUS}) {
    const RECT r = ClientRectOf(GetDlgItem(window, id), window);
    EXPECT_GE(r.left, 0) << id;
    EXPECT_GE(r.top, 0) << id;
    EXPECT_LE(r.right, client.right) << id;
    EXPECT_LE(r.bottom, client.bottom) << id;
    EXPECT_GT(r.right - r.left, 10) << id;
    EXPECT_GT(r.bottom - r.top, 10) << id;
  }
  const RECT list = ClientRectOf(GetDlgItem(window, IDC_CHANGE_LIST), window);
  const RECT merge = ClientRectOf(GetDlgItem(window, IDC_MERGE), window);
  const RECT status = ClientRectOf(FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr), window);
  EXPECT_LT(list.bottom, merge.top);
  EXPECT_LE(merge.bottom, status.top);
  // The filter's box keeps room between the buttons and its status choice,
  // above the list.
  const RECT box = ClientRectOf(GetDlgItem(window, IDC_FILTER_TEXT), window);
  const RECT choice = ClientRectOf(GetDlgItem(window, IDC_FILTER_STATUS), window);
  EXPECT_GE(box.left, ClientRectOf(GetDlgItem(window, IDC_APPLY), window).right);
  EXPECT_GT(box.right - box.left, 150);
  EXPECT_LT(box.right, choice.left);
  EXPECT_LE(std::max(box.bottom, choice.top + 14), list.top);
  EXPECT_EQ(status.right, client.right);
  EXPECT_EQ(status.bottom, client.bottom);
}

TEST(MainWindowSize, TheListFillsTheWindowAsItIsResized) {
  Window w;
  const HWND window = w.window();
  EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongW(window, GWL_STYLE) & WS_MAXIMIZEBOX);
  ExpectControlsInside(window, __LINE__);
  // From a size that leaves room to grow on the screen.
  SetWindowPos(window, nullptr, 0, 0, 900, 600, SWP_NOZORDER);
  ExpectControlsInside(window, __LINE__);
  RECT before{};
  GetWindowRect(window, &before);
  const RECT list_before = ClientRectOf(w.list(), window);
  const RECT merge_before = ClientRectOf(GetDlgItem(window, IDC_MERGE), window);
  const RECT load_before = ClientRectOf(GetDlgItem(window, IDC_LOAD), window);

  SetWindowPos(window, nullptr, 0, 0, (before.right - before.left) + 120, (before.bottom - before.top) + 80,
               SWP_NOMOVE | SWP_NOZORDER);
  ExpectControlsInside(window, __LINE__);
  const RECT list_after = ClientRectOf(w.list(), window);
  EXPECT_EQ(list_after.right - list_after.left, list_before.right - list_before.left + 120);
  EXPECT_EQ(list_after.bottom - list_after.top, list_before.bottom - list_before.top + 80);
  const RECT merge_after = ClientRectOf(GetDlgItem(window, IDC_MERGE), window);
  EXPECT_EQ(merge_after.left, merge_before.left + 120);
  EXPECT_EQ(merge_after.top, merge_before.top + 80);
  const RECT load_after = ClientRectOf(GetDlgItem(window, IDC_LOAD), window);
  EXPECT_EQ(load_after.left, load_before.left);
  EXPECT_EQ(load_after.top, load_before.top);

  // Asked to be tiny, the window keeps its minimum size, with every control usable.
  SetWindowPos(window, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
  RECT least{};
  GetWindowRect(window, &least);
  EXPECT_GT(least.right - least.left, 300);
  EXPECT_GT(least.bottom - least.top, 200);
  ExpectControlsInside(window, __LINE__);

  ShowWindow(window, SW_MAXIMIZE);
  ExpectControlsInside(window, __LINE__);
  ShowWindow(window, SW_RESTORE);
}

TEST(MainWindowSize, TheWindowFitsTheWorkAreaOnStart) {
  Window w;
  RECT frame{};
  GetWindowRect(w.window(), &frame);
  const RECT work = WorkAreaOf(w.window());
  EXPECT_GE(frame.left, work.left);
  EXPECT_GE(frame.top, work.top);
  EXPECT_LE(frame.right, work.right);
  EXPECT_LE(frame.bottom, work.bottom);
}

TEST(MainWindowSize, ANewDpiScalesFontControlsAndColumns) {
  Window w;
  const HWND window = w.window();
  const auto font_height = [&](HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
  };
  const int font_before = font_height(GetDlgItem(window, IDC_LOAD));
  const int column_before = static_cast<int>(SendMessageW(w.list(), LVM_GETCOLUMNWIDTH, 2, 0));
  const RECT load_before = ClientRectOf(GetDlgItem(window, IDC_LOAD), window);
  RECT frame{};
  GetWindowRect(window, &frame);
  // The system asks for twice the DPI and suggests a rectangle twice as large
  // (here: as large as fits).
  RECT suggested{frame.left, frame.top, frame.left + 2 * (frame.right - frame.left),
                 frame.top + 2 * (frame.bottom - frame.top)};
  const UINT dpi = 2 * GetDeviceCaps(GetDC(nullptr), LOGPIXELSY);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_NEAR(font_height(GetDlgItem(window, IDC_LOAD)), 2 * font_before, 1);
  EXPECT_NEAR(SendMessageW(w.list(), LVM_GETCOLUMNWIDTH, 2, 0), 2 * column_before, 1);
  const RECT load_after = ClientRectOf(GetDlgItem(window, IDC_LOAD), window);
  EXPECT_NEAR(load_after.right - load_after.left, 2 * (load_before.right - load_before.left), 1);
  ExpectControlsInside(window, __LINE__);
}

TEST(MainWindowSize, TheLayoutComesBackAfterARestart) {
  MainDialogOptions options;
  options.layout_key = u"Software\\HivemendTest\\Restart";
  RECT placed{};
  int widths[2] = {};
  int order[7] = {};
  {
    Window w(options);
    SetWindowPos(w.window(), nullptr, 37, 41, 900, 560, SWP_NOZORDER);
    SendMessageW(w.list(), LVM_SETCOLUMNWIDTH, 0, 77);
    SendMessageW(w.list(), LVM_SETCOLUMNWIDTH, 3, 222);
    int swapped[7] = {1, 0, 2, 3, 4, 6, 5};
    SendMessageW(w.list(), LVM_SETCOLUMNORDERARRAY, 7, reinterpret_cast<LPARAM>(swapped));
    w.ClickHeader(3);
    w.ClickHeader(3);  // value names, descending
    GetWindowRect(w.window(), &placed);
  }
  {
    TempFolder folder;
    Window w(options);
    // The sort comes back too: the first load's rows follow it, with the arrow.
    w.Load(folder.WriteReg(u"sorted.reg", u"[HKEY_CURRENT_USER\\Software\\HivemendTest\\Sorted]\r\n"
                                          u"\"b\"=\"1\"\r\n\"c\"=\"1\"\r\n\"a\"=\"1\"\r\n"));
    ASSERT_TRUE(w.WaitForCompletions(1));
    EXPECT_EQ(w.Column(3), (std::vector<std::u16string>{u"c", u"b", u"a"}));
    const HWND header = reinterpret_cast<HWND>(SendMessageW(w.list(), LVM_GETHEADER, 0, 0));
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, 3, reinterpret_cast<LPARAM>(&item));
    EXPECT_TRUE(item.fmt & HDF_SORTDOWN);
    RECT again{};
    GetWindowRect(w.window(), &again);
    EXPECT_EQ(again.left, placed.left);
    EXPECT_EQ(again.top, placed.top);
    EXPECT_EQ(again.right, placed.right);
    EXPECT_EQ(again.bottom, placed.bottom);
    widths[0] = static_cast<int>(SendMessageW(w.list(), LVM_GETCOLUMNWIDTH, 0, 0));
    widths[1] = static_cast<int>(SendMessageW(w.list(), LVM_GETCOLUMNWIDTH, 3, 0));
    EXPECT_EQ(widths[0], 77);
    EXPECT_EQ(widths[1], 222);
    SendMessageW(w.list(), LVM_GETCOLUMNORDERARRAY, 7, reinterpret_cast<LPARAM>(order));
    EXPECT_EQ(order[0], 1);
    EXPECT_EQ(order[5], 6);
    // Then maximised, and the place it was last on is a monitor that is gone.
    ShowWindow(w.window(), SW_MAXIMIZE);
  }
  {
    Window w(options);
    EXPECT_TRUE(IsZoomed(w.window()));
    ShowWindow(w.window(), SW_RESTORE);
  }
  SavedLayout gone = LoadSavedLayout(TestRegistry(), options.layout_key);
  ASSERT_TRUE(gone.place.has_value());
  gone.maximized = false;
  gone.place = Rect{5000, 3000, 5800, 3500};
  ASSERT_TRUE(StoreSavedLayout(TestRegistry(), gone, options.layout_key));
  {
    Window w(options);
    RECT back{};
    GetWindowRect(w.window(), &back);
    const RECT work = WorkAreaOf(w.window());
    EXPECT_EQ(back.right, work.right);
    EXPECT_EQ(back.bottom, work.bottom);
    EXPECT_EQ(back.right - back.left, 800);
  }
}

// A second and a third copy open below and right of the first, not on top
// (here the first fills the work area: the others are cut to it).
TEST(MainWindowSize, MoreCopiesOpenOffsetFromTheFirst) {
  Window first;
  Window second;
  Window third;
  RECT a{}, b{}, c{};
  GetWindowRect(first.window(), &a);
  GetWindowRect(second.window(), &b);
  GetWindowRect(third.window(), &c);
  const RECT work = WorkAreaOf(first.window());
  for (const RECT* r : {&b, &c}) {
    EXPECT_LE(r->right - r->left, a.right - a.left);  // the same size, or cut to the work area
    EXPECT_GE(r->left, work.left);
    EXPECT_LE(r->right, work.right);
    EXPECT_LE(r->bottom, work.bottom);
  }
  const auto apart = [](const RECT& p, const RECT& q) { return std::abs(p.left - q.left) >= 16 || std::abs(p.top - q.top) >= 16; };
  const auto show = [](const RECT& r) { return testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom; };
  EXPECT_TRUE(apart(a, b)) << show(a) << " " << show(b);
  EXPECT_TRUE(apart(a, c)) << show(a) << " " << show(c);
  EXPECT_TRUE(apart(b, c)) << show(b) << " " << show(c);
}

}  // namespace
}  // namespace hivemend
