// The update prompt on a real window system: which versions are offered, what
// the box says, and that Yes installs with or without "Don't ask me again",
// which stores nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "msgbox/MessageBoxParams.h"
#include "platform/Text.h"
#include "platform/WinString.h"
#include "update/UpdatePrompt_win.h"
#include "update/UpdateVersion.h"

namespace hivemend {
namespace {

// Every text of a window's children, one after the other.
std::wstring ChildTexts(HWND box) {
  std::wstring texts;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t text[1024] = {};
    GetWindowTextW(child, text, 1024);
    texts += text;
    texts += L"\n";
  }
  return texts;
}

// Answers the first update prompt of this process from another thread, the
// way a user would: optionally ticks the check box, then presses a button.
class PromptAnswerer {
 public:
  PromptAnswerer(int button, bool tick) {
    thread_ = std::thread([this, button, tick] {
      const std::wstring caption = AsWide(std::u16string(kUpdatePromptCaption));
      // Up to 30 s: the first box in a new Wine prefix can take seconds to
      // appear, and a box left unanswered would hold the test until its
      // timeout. Finish() ends the wait where no box comes.
      for (int i = 0; i < 600 && !stop_; ++i, Sleep(50)) {
        HWND box = FindWindowW(L"#32770", caption.c_str());
        DWORD pid = 0;
        if (box == nullptr || !IsWindowVisible(box)) continue;
        GetWindowThreadProcessId(box, &pid);
        if (pid != GetCurrentProcessId()) continue;
        texts_ = ChildTexts(box);
        had_check_box_ = GetDlgItem(box, AMB_ID_CHECKBOX) != nullptr;
        if (tick) SendDlgItemMessageW(box, AMB_ID_CHECKBOX, BM_CLICK, 0, 0);
        ticked_ = SendDlgItemMessageW(box, AMB_ID_CHECKBOX, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SendDlgItemMessageW(box, button, BM_CLICK, 0, 0);
        shown_ = true;
        return;
      }
    });
  }
  ~PromptAnswerer() { Finish(); }
  void Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool shown() const { return shown_; }
  bool ticked() const { return ticked_; }
  bool had_check_box() const { return had_check_box_; }
  const std::wstring& texts() const { return texts_; }

 private:
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> shown_{false};
  std::atomic<bool> ticked_{false};
  std::atomic<bool> had_check_box_{false};
  std::wstring texts_;
};

struct PromptCase {
  int line;
  std::u16string latest;
  int button;
  bool tick;
  bool shown;
  bool installs;
};

TEST(UpdatePromptTest, OffersNewerVersionsAndInstallsOnYes) {
  const PromptCase cases[] = {
      {__LINE__, u"0.0.2.12", IDYES, false, true, true},
      {__LINE__, u"0.0.2.12", IDNO, false, true, false},
      // Only the button counts, not the check box; and nothing is stored, so
      // the same offer comes again.
      {__LINE__, u"0.0.2.12", IDYES, true, true, true},
      {__LINE__, u"0.0.2.12", IDNO, true, true, false},
      {__LINE__, u"0.0.2.12", IDYES, false, true, true},
      {__LINE__, u"0.0.3", IDYES, false, true, true},
      {__LINE__, u"1.0.0.300", IDNO, false, true, false},
      {__LINE__, u"0.0.2.11", IDYES, false, false, false},
      {__LINE__, u"", IDYES, false, false, false},
      {__LINE__, u"9.9.9.9" + std::u16string(121, u'x'), IDYES, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    // A box that should not come would be answered; keep its thread short.
    PromptAnswerer answerer(c.button, c.tick);
    int installs = 0;
    const bool offered = OfferUpdate(nullptr, c.latest, [&] {
      ++installs;
      return true;
    });
    answerer.Finish();
    EXPECT_EQ(answerer.shown(), c.shown);
    EXPECT_EQ(offered, c.installs);
    EXPECT_EQ(installs, c.installs ? 1 : 0);
    if (c.shown) {
      EXPECT_EQ(answerer.ticked(), c.tick);
      const std::wstring expected = AsWide(UpdatePromptText(c.latest));
      EXPECT_NE(answerer.texts().find(expected), std::wstring::npos) << "box texts:\n" << answerer.texts();
      EXPECT_TRUE(answerer.had_check_box());
    }
  }
}

}  // namespace
}  // namespace hivemend
