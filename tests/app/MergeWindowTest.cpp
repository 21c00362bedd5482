// The window's merge command under a real window system: its boxes are
// answered as a user answers them, against the real registry (below
// HKCU\Software\HivemendTest\<unique>) and a history folder of the test's own.
#include <gtest/gtest.h>

#include "platform/SystemText.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/MergeWorker_win.h"
#include "msgbox/MessageBoxLayout.h"
#include "platform/ForwardingRegistry.h"
#include "tests/merge/MergeTestSupport.h"
#include "tests/msgbox/BoxDriver_win.h"

namespace hivemend::test {
namespace {

constexpr RegRoot kCU = RegRoot::CurrentUser;

// One box as the user saw it.
struct SeenBox {
  std::wstring text;
  bool program_box = false;  // the program's own message box, not the platform's
  bool question_icon = false;
};

// Answers the boxes titled "Hivemend" one after another with the given button
// ids, on a helper thread, and records what each showed.
class BoxScript {
 public:
  explicit BoxScript(std::vector<int> buttons)
      : thread_([this, buttons = std::move(buttons)] {
          for (int button : buttons) {
            HWND box = WaitForBox(L"Hivemend");
            if (!box) return;
            SeenBox seen;
            HWND message = GetDlgItem(box, kMessageId);
            seen.program_box = message != nullptr;
            seen.text = Text(message ? message : GetDlgItem(box, 0xFFFF));
            seen.question_icon = GetDlgItem(box, IDYES) != nullptr;
            seen_.push_back(seen);
            if (const char* pause = std::getenv("HIVEMEND_TEST_PAUSE_MS")) Sleep(std::atoi(pause));
            SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
            WaitUntil([&] { return !IsWindow(box); }, 5000);
          }
        }) {}
  ~BoxScript() { Join(); }
  const std::vector<SeenBox>& Join() {
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  std::vector<SeenBox> seen_;
  std::thread thread_;
};

// The real registry, except that storing a value named "Refused" fails.
class RefusingRegistry final : public ForwardingRegistry {
 public:
  RefusingRegistry() : ForwardingRegistry(*SystemRegistry()) {}
  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    if (name == u"Refused") return kRegAccessDenied;
    return ForwardingRegistry::SetValue(key, name, type, data, size);
  }
};

class MergeWindow : public testing::Test {
 protected:
  void SetUp() override {
    key_ = u"Software\\HivemendTest\\merge-window-" + Decimal(GetCurrentProcessId());
    RemoveKey();
    owner_ = CreateWindowExW(0, L"STATIC", L"Merge test owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 700,
                             400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(owner_);
    params_.options = AMB_OPT_NARROW;
    params_.string_module = GetModuleHandleW(nullptr);
    params_.text_color = AMB_COLOR_NONE;
    params_.background_color = AMB_COLOR_NONE;
  }
  void TearDown() override {
    if (owner_) DestroyWindow(owner_);
    RemoveKey();
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\HivemendTest");  // only when empty
  }
  void RemoveKey() { RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key_.c_str())); }

  void Add(std::u16string_view status, std::u16string_view name, std::u16string_view type,
           std::u16string_view text = {}, std::optional<std::vector<std::uint8_t>> data = std::nullopt,
           bool checked = true) {
    store_.at(store_.Insert(Row(u"HKCU", status, key_, name, type, text, std::move(data)))).checked = checked;
  }
  MergeResult Merge(std::vector<int> answers, std::vector<SeenBox>* seen, Registry* registry = nullptr) {
    BoxScript script(std::move(answers));
    const MergeResult result = RunMergeCommand(owner_, store_, registry ? *registry : *SystemRegistry(),
                                               [this] { return history_.u16(); }, &params_);
    *seen = script.Join();
    return result;
  }

  std::u16string key_;
  HWND owner_ = nullptr;
  MessageBoxParams params_;
  EntryStore store_;
  TempDir history_;
};

std::string FileName(const std::u16string& path) { return Show(path.substr(path.find_last_of(u"\\/") + 1)); }

// The outcome of a merge without failures.
std::wstring Success(const MergeResult& result, const char* rows) {
  const std::string name = FileName(result.undo_path);
  return L"Changes successfully applied!\r\n\r\nMerged " + std::wstring(rows, rows + std::strlen(rows)) +
         L".\r\nUndo file: " + std::wstring(name.begin(), name.end());
}

std::u16string AsU16String(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

TEST_F(MergeWindow, AnEmptyListShowsOnlyItsError) {
  std::vector<SeenBox> seen;
  const MergeResult result = Merge({IDOK}, &seen);
  EXPECT_FALSE(result.confirmed);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, L"There are no values to merge!");
  EXPECT_FALSE(seen[0].program_box);
  EXPECT_TRUE(history_.Files().empty());
}

TEST_F(MergeWindow, AnsweringNoLeavesEverythingAsItWas) {
  Add(u"MISSING", u"v", u"REG_SZ", u"text");
  std::vector<SeenBox> seen;
  const MergeResult result = Merge({IDNO}, &seen);
  EXPECT_FALSE(result.confirmed);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].text.starts_with(L"The checked changes will be merged into your registry."));
  EXPECT_TRUE(seen[0].question_icon);
  EXPECT_EQ(store_.size(), 1u);
  EXPECT_FALSE(KeyExists(*SystemRegistry(), kCU, key_));
  EXPECT_TRUE(history_.Files().empty());
}

TEST_F(MergeWindow, AllRowsCheckedAreMergedAndTheListEmpties) {
  SetValue(*SystemRegistry(), kCU, key_, u"Old", {kRegDword, DwordBytes(7)});
  Add(u"MISSING", u"s", u"REG_SZ", u"C:\\Temp");
  Add(u"CHANGED", u"Old", u"REG_DWORD", u"0x8", DwordBytes(8));
  Add(u"SAME", u"@", u"REG_SZ", u"default");
  std::vector<SeenBox> seen;
  const MergeResult result = Merge({IDYES, IDOK}, &seen);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, Success(result, "3 rows"));
  EXPECT_TRUE(seen[1].program_box);
  EXPECT_TRUE(store_.empty());
  EXPECT_EQ(GetValue(*SystemRegistry(), kCU, key_, u"s"), (Value{kRegSz, StringBytes(u"C:\\Temp")}));
  EXPECT_EQ(GetValue(*SystemRegistry(), kCU, key_, u"Old"), (Value{kRegDword, DwordBytes(8)}));
  EXPECT_EQ(GetValue(*SystemRegistry(), kCU, key_, u""), (Value{kRegSz, StringBytes(u"default")}));
  ASSERT_EQ(history_.Files().size(), 1u);
  EXPECT_EQ(UndoBody(result.undo_path), "[HKCU\\" + Show(key_) + "]\r\n\"s\"=-\r\n\"Old\"=dword:7\r\n\"@\"=-\r\n");
}

TEST_F(MergeWindow, NoRowCheckedWritesAHeaderOnlyUndoFileAndSucceeds) {
  Add(u"MISSING", u"v", u"REG_SZ", u"text", std::nullopt, false);
  std::vector<SeenBox> seen;
  const MergeResult result = Merge({IDYES, IDOK}, &seen);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, Success(result, "0 rows"));
  EXPECT_EQ(store_.size(), 1u);
  EXPECT_EQ(UndoBody(result.undo_path), "");
  EXPECT_FALSE(KeyExists(*SystemRegistry(), kCU, key_));
}

TEST_F(MergeWindow, AFailingRowStaysAndIsInTheLogAndInTheMessageAfterThePathAndAnEmptyLine) {
  RefusingRegistry registry;
  Add(u"MISSING", u"Refused", u"REG_DWORD", u"0x1", DwordBytes(1));
  Add(u"MISSING", u"Fine", u"REG_DWORD", u"0x1", DwordBytes(1));
  std::vector<SeenBox> seen;
  const MergeResult result = Merge({IDYES, IDOK}, &seen, &registry);
  const std::u16string failure =
      u"Error writing value at " + key_ + u"\\Refused: " + SystemErrorText(kRegAccessDenied) + u"\r\n";
  ASSERT_EQ(seen.size(), 2u);
  ASSERT_FALSE(result.error_log_path.empty());
  // The box breaks words too long for its width (the key path here) with line
  // breaks of its own: compare without line breaks.
  const auto unbroken = [](std::string text) {
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
  };
  EXPECT_EQ(unbroken(Show(AsU16String(seen[1].text))),
            unbroken("1 of the 2 checked rows were not merged: they stay in the list, checked.\r\n\r\n"
                     "The following errors were recorded to the error log file " + Show(result.error_log_path) +
                     ":\r\n\r\n" + Show(failure) + "Merged 1 row.Undo file: " + FileName(result.undo_path) +
                     "Error log: " + FileName(result.error_log_path)));
  EXPECT_NE(Show(AsU16String(seen[1].text)).find(":\r\n\r\n"), std::string::npos);
  EXPECT_TRUE(seen[1].program_box);
  const std::u16string log = ReadUtf16File(result.error_log_path);
  EXPECT_TRUE(log.starts_with(u"Hivemend error log of the merge of ")) << Show(log);
  EXPECT_TRUE(log.ends_with(u"\r\n\r\n" + failure)) << Show(log);
  ASSERT_EQ(store_.size(), 1u);  // the failed row stays, checked
  EXPECT_TRUE(store_.at(0).checked);
  EXPECT_TRUE(GetValue(*SystemRegistry(), kCU, key_, u"Fine"));
  EXPECT_EQ(history_.Files().size(), 2u);
}

TEST_F(MergeWindow, TwoMergesLeaveTwoUndoFiles) {
  std::vector<SeenBox> seen;
  Add(u"MISSING", u"a", u"REG_SZ", u"1");
  const MergeResult first = Merge({IDYES, IDOK}, &seen);
  Add(u"SAME", u"a", u"REG_SZ", u"2");
  const MergeResult second = Merge({IDYES, IDOK}, &seen);
  ASSERT_TRUE(first.undo_saved && second.undo_saved);
  EXPECT_NE(first.undo_path, second.undo_path);
  EXPECT_EQ(history_.Files().size(), 2u);
  EXPECT_EQ(UndoBody(second.undo_path), "[HKCU\\" + Show(key_) + "]\r\n\"a\"=\"1\"\r\n");
}

}  // namespace
}  // namespace hivemend::test
