// The message box under a real window system: boxes are created and answered
// the way a user answers them (mouse clicks, keys, the close box).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "BoxDriver_win.h"
#include "msgbox/AppDialogTemplate_win.h"
#include "msgbox/AppMessageBox_win.h"
#include "msgbox/SavedAnswer.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/WinString.h"

namespace hivemend {
namespace {

using test::BoxAnswerer;
using test::ClickControl;
using test::PressKey;
using test::WaitUntil;

constexpr UINT kQuiet = AMB_NO_SOUND;

void Copy(char16_t* field, std::size_t capacity, std::wstring_view text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  for (std::size_t i = 0; i < n; ++i) field[i] = static_cast<char16_t>(text[i]);
  field[n] = 0;
}
template <std::size_t N>
void Copy(char16_t (&field)[N], std::wstring_view text) {
  Copy(field, N, text);
}

// The box's message and button ids, as the test sees them.
std::vector<int> PushButtonIds(HWND box) {
  std::vector<int> ids;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (test::ClassName(child) == L"Button" && id != AMB_ID_CHECKBOX) ids.push_back(id);
  }
  return ids;
}

bool CloseItemGreyed(HWND box) {
  return (GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

// --- Button sets and their answers ---------------------------------------------

TEST(AppMessageBox, EveryButtonOfEverySetAnswersItsId) {
  struct Case {
    int line;
    UINT style;
    std::vector<int> ids;
  } const cases[] = {
      {__LINE__, MB_OK, {IDOK}},
      {__LINE__, MB_OKCANCEL, {IDOK, IDCANCEL}},
      {__LINE__, MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
      {__LINE__, MB_YESNOCANCEL | AMB_YES_TO_ALL | AMB_NO_TO_ALL,
       {IDYES, AMB_ID_YES_TO_ALL, IDNO, AMB_ID_NO_TO_ALL, IDCANCEL}},
      {__LINE__, MB_YESNO, {IDYES, IDNO}},
      {__LINE__, MB_RETRYCANCEL, {IDRETRY, IDCANCEL}},
      {__LINE__, MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
      {__LINE__, 7, {IDCONTINUE, IDABORT}},
      {__LINE__, 8, {AMB_ID_SKIP, AMB_ID_SKIP_ALL, IDCANCEL}},
      {__LINE__, 9, {IDIGNORE, AMB_ID_IGNORE_ALL, IDCANCEL}},
      {__LINE__, 12, {IDOK}},
  };
  for (const Case& c : cases) {
    for (int id : c.ids) {
      SCOPED_TRACE(testing::Message() << "case at line " << c.line << ", button " << id);
      std::vector<int> shown;
      int result = 0;
      {
        BoxAnswerer answer(L"Sets", [&](HWND box) {
          shown = PushButtonIds(box);
          // A real click for the first button of each set, BM_CLICK for the rest.
          if (id == c.ids.front())
            ClickControl(box, id);
          else
            SendDlgItemMessageW(box, id, BM_CLICK, 0, 0);
        });
        result = AppMessageBox(nullptr, L"Pick one.", L"Sets", c.style | kQuiet);
        EXPECT_TRUE(answer.found());
      }
      EXPECT_EQ(shown, c.ids);
      EXPECT_EQ(result, id);
    }
  }
}

TEST(AppMessageBox, CancelCommand) {
  // Escape and the close box reach the box as a Cancel command.
  struct Case {
    int line;
    UINT style;
    bool use_close_box;
    int result;  // 0: the box stays; it is then answered with No
    bool close_greyed;
  } const cases[] = {
      {__LINE__, MB_OK, false, IDOK, false},
      {__LINE__, MB_OK, true, IDOK, false},
      {__LINE__, MB_OKCANCEL, false, IDCANCEL, false},
      {__LINE__, MB_YESNOCANCEL, true, IDCANCEL, false},
      {__LINE__, 8, false, IDCANCEL, false},
      {__LINE__, MB_YESNO, false, 0, true},
      {__LINE__, MB_YESNO, true, 0, true},
      {__LINE__, MB_ABORTRETRYIGNORE, false, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    bool greyed = false, stayed = false;
    int result = 0;
    {
      BoxAnswerer answer(L"Cancel", [&](HWND box) {
        greyed = CloseItemGreyed(box);
        if (c.use_close_box)
          EXPECT_TRUE(test::ClickCloseBox(box));
        else
          PressKey(box, VK_ESCAPE);
        if (c.result == 0) {
          Sleep(300);
          stayed = IsWindow(box) && IsWindowVisible(box);
          ClickControl(box, (c.style & 0xF) == MB_YESNO ? IDNO : IDIGNORE);
        }
      });
      result = AppMessageBox(nullptr, L"Cancel me.", L"Cancel", c.style | kQuiet);
      EXPECT_TRUE(answer.found());
    }
    EXPECT_EQ(greyed, c.close_greyed);
    if (c.result != 0) {
      EXPECT_EQ(result, c.result);
    } else {
      EXPECT_TRUE(stayed);
      EXPECT_EQ(result, (c.style & 0xF) == MB_YESNO ? IDNO : IDIGNORE);
    }
  }
}

TEST(AppMessageBox, EnterPressesTheDefaultButton) {
  struct Case {
    int line;
    UINT style;
    int result;
  } const cases[] = {
      {__LINE__, MB_YESNO, IDYES},
      {__LINE__, MB_YESNO | MB_DEFBUTTON2, IDNO},
      {__LINE__, MB_YESNO | MB_DEFBUTTON3, IDYES},
      {__LINE__, MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    int result = 0;
    int focus_id = 0;
    {
      BoxAnswerer answer(L"Enter", [&](HWND box) {
        // The focus as the box's own thread sees it.
        const DWORD box_thread = GetWindowThreadProcessId(box, nullptr);
        AttachThreadInput(GetCurrentThreadId(), box_thread, TRUE);
        focus_id = GetDlgCtrlID(GetFocus());
        AttachThreadInput(GetCurrentThreadId(), box_thread, FALSE);
        PressKey(box, VK_RETURN);
      });
      result = AppMessageBox(nullptr, L"Press Enter.", L"Enter", c.style | kQuiet);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(focus_id, c.result);  // the default button had the focus
  }
}

// --- Check box and saved answers -------------------------------------------------

TEST(AppMessageBox, TickedCheckBoxAddsItsBit) {
  struct Case {
    int line;
    UINT style;
    int button;
    bool tick;
    int result;
  } const cases[] = {
      {__LINE__, MB_YESNO | AMB_CHECK_ASK, IDYES, true, 0x01000006},
      {__LINE__, MB_YESNO | AMB_CHECK_ASK, IDYES, false, IDYES},
      {__LINE__, MB_OK | AMB_CHECK_TELL, IDOK, true, 0x02000001},
      {__LINE__, MB_OK | AMB_CHECK_SHOW | AMB_CHECK_TELL, IDOK, true, 0x02000001},
      {__LINE__, MB_OKCANCEL | AMB_CHECK_SHOW, IDOK, true, 0x04000001},
      {__LINE__, MB_OKCANCEL | AMB_CHECK_SHOW, IDCANCEL, true, IDCANCEL},  // Cancel never carries it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    int result = 0;
    std::wstring check_caption;
    {
      BoxAnswerer answer(L"Check", [&](HWND box) {
        check_caption = test::Text(GetDlgItem(box, AMB_ID_CHECKBOX));
        if (c.tick) ClickControl(box, AMB_ID_CHECKBOX);
        if (c.button == IDCANCEL)
          PressKey(box, VK_ESCAPE);
        else
          ClickControl(box, c.button);
      });
      result = AppMessageBox(nullptr, L"Check it.", L"Check", c.style | kQuiet);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_FALSE(check_caption.empty());
  }
}

// Runs one question of the saved-answer tests. Returns the result; *shown says
// whether a box appeared (it is then answered by act).
int AskSaved(const MessageBoxParams& params, const std::function<void(HWND)>& act, bool* shown) {
  BoxAnswerer answer(L"Saved", act);
  const int result = AppMessageBox(nullptr, L"Install it now?", L"Saved", MB_YESNO | AMB_CHECK_ASK | kQuiet, &params);
  *shown = answer.found();
  if (!*shown) {
    // The box did not show: nothing else may appear either.
    EXPECT_EQ(test::WaitForBox(L"Saved", 0), nullptr);
  }
  return result;
}

TEST(AppMessageBox, SavedAnswers) {
  test::TestKey key;
  MessageBoxParams params;
  Copy(params.company_name, key.company());
  params.module_name = u"hivemend.exe";
  // The answers as the store (checked on its own) finds them in the registry.
  const SavedAnswers saved(*SystemRegistry(), AsU16(key.company().c_str()), ProgramPath());
  const std::int32_t question = MessageChecksum(u"Install it now?");

  // Ticked and answered No: stored, and the caller's record is left alone.
  bool shown = false;
  int result = AskSaved(params, [](HWND box) {
    ClickControl(box, AMB_ID_CHECKBOX);
    ClickControl(box, IDNO);
  }, &shown);
  EXPECT_TRUE(shown);
  EXPECT_EQ(result, 0x01000007);
  EXPECT_EQ(params.checksum, 0);
  EXPECT_EQ(saved.Read(u"hivemend.exe", question), 0x01000007u);

  // Asked again: the saved answer, without a window.
  result = AskSaved(params, [](HWND box) { ClickControl(box, IDYES); }, &shown);
  EXPECT_FALSE(shown);
  EXPECT_EQ(result, 0x01000007);

  // Another question (other text) is asked.
  {
    BoxAnswerer answer(L"Saved", [](HWND box) { ClickControl(box, IDYES); });
    EXPECT_EQ(AppMessageBox(nullptr, L"Something else?", L"Saved", MB_YESNO | AMB_CHECK_ASK | kQuiet, &params), IDYES);
    EXPECT_TRUE(answer.found());
  }

  // A saved value without a check-box bit does not answer.
  ASSERT_TRUE(saved.Write(u"hivemend.exe", question, 0));
  result = AskSaved(params, [](HWND box) { ClickControl(box, IDYES); }, &shown);
  EXPECT_TRUE(shown);
  EXPECT_EQ(result, IDYES);

  // Without a module name nothing is stored or looked up.
  MessageBoxParams anonymous = params;
  anonymous.module_name = nullptr;
  result = AskSaved(anonymous, [](HWND box) {
    ClickControl(box, AMB_ID_CHECKBOX);
    ClickControl(box, IDYES);
  }, &shown);
  EXPECT_TRUE(shown);
  EXPECT_EQ(result, 0x01000006);
  EXPECT_EQ(saved.Read(u"hivemend.exe", question), 0u);

  // Ticked and cancelled: plain IDCANCEL, nothing stored.
  {
    BoxAnswerer answer(L"Saved", [](HWND box) {
      ClickControl(box, AMB_ID_CHECKBOX);
      PressKey(box, VK_ESCAPE);
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"Cancel it?", L"Saved", MB_OKCANCEL | AMB_CHECK_ASK | kQuiet, &params), IDCANCEL);
  }
  EXPECT_EQ(saved.Read(u"hivemend.exe", MessageChecksum(u"Cancel it?")), 0u);
}

// The child half of SavedAnswerBelongsToTheProgramFile: run from a renamed copy.
TEST(AppMessageBox, ChildAsksTheSavedQuestion) {
  wchar_t company[512] = {};
  if (!GetEnvironmentVariableW(L"HIVEMEND_MSGBOX_CHILD", company, 512)) GTEST_SKIP() << "run by the parent test";
  MessageBoxParams params;
  Copy(params.company_name, company);
  params.module_name = u"hivemend.exe";
  bool shown = false;
  const int result = AskSaved(params, [](HWND box) { ClickControl(box, IDYES); }, &shown);
  EXPECT_TRUE(shown);
  EXPECT_EQ(result, IDYES);
}

TEST(AppMessageBox, SavedAnswerBelongsToTheProgramFile) {
  test::TestKey key;
  MessageBoxParams params;
  Copy(params.company_name, key.company());
  params.module_name = u"hivemend.exe";
  bool shown = false;
  ASSERT_EQ(AskSaved(params, [](HWND box) {
    ClickControl(box, AMB_ID_CHECKBOX);
    ClickControl(box, IDNO);
  }, &shown), 0x01000007);
  ASSERT_EQ(AskSaved(params, [](HWND) {}, &shown), 0x01000007);
  ASSERT_FALSE(shown);

  // The same question from a copy of this program under another file name.
  wchar_t self[MAX_PATH] = {}, temp[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  GetTempPathW(MAX_PATH, temp);
  const std::wstring copy = std::wstring(temp) + L"hivemend_renamed_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE));
  SetEnvironmentVariableW(L"HIVEMEND_MSGBOX_CHILD", key.company().c_str());
  std::wstring command = L"\"" + copy + L"\" --gtest_filter=AppMessageBox.ChildAsksTheSavedQuestion";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  SetEnvironmentVariableW(L"HIVEMEND_MSGBOX_CHILD", nullptr);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exit_code = 99;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  DeleteFileW(copy.c_str());
  EXPECT_EQ(exit_code, 0u);
}

// --- Timers ---------------------------------------------------------------------

TEST(AppMessageBox, CountdownOf1500RunsTenSecondsAndTimesOut) {
  MessageBoxParams params;
  params.countdown_seconds = 1500;
  std::vector<std::wstring> captions;
  BoxAnswerer answer(L"Countdown", [&](HWND box) {
    HWND yes = GetDlgItem(box, IDYES);
    std::wstring last;
    WaitUntil([&] {
      const std::wstring now = test::Text(yes);
      if (now != last && IsWindow(box)) captions.push_back(last = now);
      return !IsWindow(box);
    }, 20000);
  });
  const int result = AppMessageBox(nullptr, L"Counting down.", L"Countdown", MB_YESNO | MB_ICONQUESTION | kQuiet, &params);
  EXPECT_EQ(static_cast<DWORD>(result), 0x80000006u);
  EXPECT_LT(result, 0);
  EXPECT_EQ(LOWORD(result), IDYES);
  EXPECT_EQ(params.countdown_seconds, 1500);  // the caller's record is unchanged
  // The caption counted 10 to 1 (polling may miss none at 1 s a step), then came back.
  std::vector<std::wstring> expected{L"Yes"};
  for (int n = 10; n >= 1; --n) expected.push_back(L"Yes = " + std::to_wstring(n));
  ASSERT_GE(captions.size(), expected.size());
  captions.resize(std::min(captions.size(), expected.size() + 1));
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(captions[i], expected[i]) << i;
}

TEST(AppMessageBox, AClickStopsTheCountdownForGood) {
  MessageBoxParams params;
  params.countdown_seconds = 2;
  std::wstring during, after;
  BoxAnswerer answer(L"Stop", [&](HWND box) {
    WaitUntil([&] { return test::Text(GetDlgItem(box, IDNO)) == L"No = 2"; }, 5000);
    during = test::Text(GetDlgItem(box, IDNO));
    // A click on the box itself, away from every control.
    RECT client{};
    GetClientRect(box, &client);
    POINT point{client.right - 3, client.bottom - 3};
    ClientToScreen(box, &point);
    test::ClickAt(point);
    Sleep(3500);
    after = test::Text(GetDlgItem(box, IDNO));
    ClickControl(box, IDYES);
  });
  const int result = AppMessageBox(nullptr, L"Stop the countdown.", L"Stop", MB_YESNO | MB_DEFBUTTON2 | kQuiet, &params);
  EXPECT_EQ(during, L"No = 2");
  EXPECT_EQ(after, L"No");
  EXPECT_EQ(result, IDYES);
}

TEST(AppMessageBox, DisabledPeriod) {
  MessageBoxParams params;
  params.disabled_seconds = 2;
  bool disabled_at_first = false, help_enabled = false, greyed_at_first = false;
  bool ignored_keys = false, enabled_later = false, close_enabled_later = false;
  std::wstring title_during, title_after;
  BoxAnswerer answer(L"Wait", [&](HWND box) {
    disabled_at_first = !IsWindowEnabled(GetDlgItem(box, IDOK)) && !IsWindowEnabled(GetDlgItem(box, IDCANCEL));
    help_enabled = IsWindowEnabled(GetDlgItem(box, AMB_ID_HELP)) && IsWindowEnabled(GetDlgItem(box, AMB_ID_CHECKBOX));
    greyed_at_first = CloseItemGreyed(box);
    PressKey(box, VK_RETURN);
    PressKey(box, VK_ESCAPE);
    Sleep(200);
    ignored_keys = IsWindow(box);
    WaitUntil([&] { return test::Text(box) == L"Wait 1"; }, 5000);
    title_during = test::Text(box);
    enabled_later = WaitUntil([&] { return IsWindowEnabled(GetDlgItem(box, IDOK)) != FALSE; }, 5000);
    title_after = test::Text(box);
    close_enabled_later = !CloseItemGreyed(box);
    PressKey(box, VK_RETURN);
  });
  const int result = AppMessageBox(nullptr, L"Read this first.", L"Wait", MB_OKCANCEL | MB_HELP | AMB_CHECK_TELL | kQuiet,
                                   &params);
  EXPECT_TRUE(disabled_at_first);
  EXPECT_TRUE(help_enabled);
  EXPECT_TRUE(greyed_at_first);
  EXPECT_TRUE(ignored_keys);
  EXPECT_EQ(title_during, L"Wait 1");
  EXPECT_TRUE(enabled_later);
  EXPECT_EQ(title_after, L"Wait");
  EXPECT_TRUE(close_enabled_later);
  EXPECT_EQ(result, IDOK);
}

// --- Clipboard, position, delegation ------------------------------------------

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"<no clipboard>";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST(AppMessageBox, CtrlCCopiesTheBox) {
  MessageBoxParams params;
  params.report_callback = [](const char16_t*, std::uint32_t) {};
  params.countdown_seconds = 9;
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  std::wstring copied;
  BoxAnswerer answer(L"Copy", [&](HWND box) {
    // Copied while the countdown shows in the default button's caption.
    WaitUntil([&] { return test::Text(GetDlgItem(box, IDYES)) == L"Yes = 9"; }, 5000);
    PressKey(box, 'C', true);
    WaitUntil([&] { return !(copied = ClipboardText()).empty(); }, 3000);
    ClickControl(box, IDNO);
  });
  const int result = AppMessageBox(nullptr, L"Line one\r\nA&B line two", L"Copy me",
                                   MB_YESNO | MB_HELP | AMB_CHECK_ASK | kQuiet, &params);
  EXPECT_EQ(result, IDNO);
  const std::wstring line = L"---------------------------\r\n";
  EXPECT_EQ(copied, line + L"Copy me\r\n" + line + L"Line one\r\nA&B line two\r\n" + line +
                        L"Yes = 9   No   Help   Report   Do not ask me again   \r\n" + line);
}

TEST(AppMessageBox, Position) {
  struct Case {
    int line;
    int x, y;
  } const cases[] = {
      {__LINE__, 0, 5},
      {__LINE__, 5, 0},
      {__LINE__, 120, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    MessageBoxParams params;
    params.x = c.x;
    params.y = c.y;
    RECT rect{};
    BoxAnswerer answer(L"Place", [&](HWND box) {
      GetWindowRect(box, &rect);
      ClickControl(box, IDOK);
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"Here.", L"Place", MB_OK | kQuiet, &params), IDOK);
    EXPECT_EQ(rect.left, c.x);
    EXPECT_EQ(rect.top, c.y);
  }
}

// A plain visible window of this thread, to own boxes.
HWND MakeOwner(int x, int y, int width, int height) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"HivemendMsgboxOwner";
  RegisterClassW(&window_class);  // the second time fails, the class being there
  return CreateWindowExW(0, L"HivemendMsgboxOwner", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(AppMessageBox, CentredOnItsOwnerWhichIsDisabledMeanwhile) {
  HWND owner = MakeOwner(100, 60, 700, 500);
  ASSERT_NE(owner, nullptr);
  RECT box_rect{}, owner_rect{};
  GetWindowRect(owner, &owner_rect);
  bool owner_disabled = false;
  HWND box_owner = nullptr;
  BoxAnswerer answer(L"Owned", [&](HWND box) {
    GetWindowRect(box, &box_rect);
    owner_disabled = !IsWindowEnabled(owner);
    box_owner = GetWindow(box, GW_OWNER);
    PressKey(box, VK_RETURN);
  });
  EXPECT_EQ(AppMessageBox(owner, L"Centred.", L"Owned", MB_OK | kQuiet), IDOK);
  EXPECT_TRUE(owner_disabled);
  EXPECT_EQ(box_owner, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
  const int width = box_rect.right - box_rect.left, height = box_rect.bottom - box_rect.top;
  EXPECT_EQ(box_rect.left, (owner_rect.left + owner_rect.right) / 2 - width / 2);
  EXPECT_EQ(box_rect.top, (owner_rect.top + owner_rect.bottom) / 2 - height / 2);

  // Without an owner the box takes the thread's active window.
  SetForegroundWindow(owner);
  SetActiveWindow(owner);
  ASSERT_EQ(GetActiveWindow(), owner);
  box_owner = nullptr;
  {
    BoxAnswerer implicit(L"Owned", [&](HWND box) {
      box_owner = GetWindow(box, GW_OWNER);
      PressKey(box, VK_RETURN);
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"Centred.", L"Owned", MB_OK | kQuiet), IDOK);
  }
  EXPECT_EQ(box_owner, owner);
  DestroyWindow(owner);
}

TEST(AppMessageBox, SystemModalWithTheHandBitGoesToThePlatformBox) {
  struct Case {
    int line;
    UINT style;
    bool own_box;
  } const cases[] = {
      {__LINE__, MB_OK | MB_SYSTEMMODAL | MB_ICONEXCLAMATION, false},
      {__LINE__, MB_OK | MB_SYSTEMMODAL | MB_ICONHAND, false},
      {__LINE__, MB_OK | MB_SYSTEMMODAL | MB_ICONQUESTION | AMB_CHECK_ASK, true},
      {__LINE__, MB_OK | MB_ICONEXCLAMATION, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    bool has_message_control = false, has_check_box = false, topmost = false;
    BoxAnswerer answer(L"Modal", [&](HWND box) {
      topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
      has_message_control = GetDlgItem(box, kMessageId) != nullptr;
      has_check_box = GetDlgItem(box, AMB_ID_CHECKBOX) != nullptr;
      SendDlgItemMessageW(box, IDOK, BM_CLICK, 0, 0);
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"System modal.", L"Modal", c.style | kQuiet), IDOK);
    EXPECT_TRUE(answer.found());
    EXPECT_EQ(has_message_control, c.own_box);
    EXPECT_EQ(has_check_box, c.own_box && (c.style & AMB_CHECK_ASK));
    if (c.own_box) {
      EXPECT_EQ(topmost, (c.style & MB_SYSTEMMODAL) != 0);
    }
  }
}

TEST(AppMessageBox, TopmostAndForeground) {
  bool topmost = false;
  HWND foreground = nullptr, box_seen = nullptr;
  BoxAnswerer answer(L"Top", [&](HWND box) {
    box_seen = box;
    topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    foreground = GetForegroundWindow();
    SendDlgItemMessageW(box, IDOK, BM_CLICK, 0, 0);
  });
  EXPECT_EQ(AppMessageBox(nullptr, L"On top.", L"Top", MB_OK | MB_TOPMOST | MB_SETFOREGROUND | kQuiet), IDOK);
  EXPECT_TRUE(topmost);
  EXPECT_EQ(foreground, box_seen);
}

// --- The controls match the layout ----------------------------------------------

TEST(AppMessageBox, ControlsSitWhereTheLayoutPutsThem) {
  struct Case {
    int line;
    UINT style;
    const wchar_t* text;
    std::uint32_t options;
    std::int32_t countdown;
  } const cases[] = {
      {__LINE__, MB_YESNO | MB_ICONQUESTION | AMB_CHECK_ASK,
       L"There is an update for Hivemend available. Version 0.0.3.1. Would you like to auto-install it now?",
       AMB_OPT_MODERN, 0},
      {__LINE__, MB_OK | MB_ICONEXCLAMATION, L"Short.", 0, 0},
      {__LINE__, MB_ABORTRETRYIGNORE | MB_HELP | AMB_CHECK_SHOW, L"Two\nlines", AMB_OPT_NARROW | AMB_OPT_MODERN, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    MessageBoxParams record;
    record.options = c.options;
    record.countdown_seconds = c.countdown;
    CAppDialogTemplate box_template(nullptr, c.text, L"Layout", c.style | kQuiet, record);
    const BoxLayout& layout = box_template.Layout();
    std::vector<std::pair<int, RECT>> rects;
    RECT client{};
    BoxAnswerer answer(L"Layout", [&](HWND box) {
      GetClientRect(box, &client);
      for (const LayoutItem& item : layout.items) rects.push_back({item.id, test::ControlRect(box, item.id)});
      PressKey(box, VK_RETURN);
    });
    box_template.RunModal();
    ASSERT_EQ(rects.size(), layout.items.size());
    // The layout's pixels exactly: the template's dialog units are the system
    // font's, which need not be the monitor's DPI.
    EXPECT_EQ(client.right, layout.width);
    EXPECT_EQ(client.bottom, layout.height);
    for (std::size_t i = 0; i < rects.size(); ++i) {
      const LayoutItem& item = layout.items[i];
      const RECT& r = rects[i].second;
      SCOPED_TRACE(testing::Message() << "control " << item.id);
      EXPECT_EQ(r.left, item.rect.left);
      EXPECT_EQ(r.top, item.rect.top);
      EXPECT_EQ(r.right, item.rect.right);
      EXPECT_EQ(r.bottom, item.rect.bottom);
    }
  }
}

// The control's font height in pixels.
int FontHeight(HWND control) {
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (!handle || GetObjectW(handle, sizeof font, &font) != sizeof font) return 0;
  return std::abs(font.lfHeight);
}

// Every child's rectangle in the client area, by id.
std::vector<std::pair<int, RECT>> ChildRects(HWND box) {
  std::vector<std::pair<int, RECT>> rects;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    rects.push_back({GetDlgCtrlID(child), test::ControlRect(box, GetDlgCtrlID(child))});
  return rects;
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

std::wstring ManyLines(int lines) {
  std::wstring text = L"Errors:\n";
  for (int i = 1; i <= lines; ++i)
    text += L"HKEY_CURRENT_USER\\Software\\Example\\Key" + std::to_wstring(i) + L": Access is denied.\n";
  return text;
}

TEST(AppMessageBox, TextTallerThanTheWorkAreaScrollsInsideIt) {
  const std::wstring text = ManyLines(300);
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  RECT window{}, work{}, client{};
  std::vector<std::pair<int, RECT>> rects;
  std::wstring class_name, shown, copied;
  LONG_PTR style = 0;
  int line_count = 0, first_line = -1, after_wheel = -1, after_page = -1;
  HWND focus = nullptr, ok = nullptr;
  BoxAnswerer answer(L"Tall", [&](HWND box) {
    GetWindowRect(box, &window);
    GetClientRect(box, &client);
    work = WorkAreaOf(box);
    rects = ChildRects(box);
    const HWND message = GetDlgItem(box, kMessageId);
    class_name = test::ClassName(message);
    shown.assign(static_cast<std::size_t>(GetWindowTextLengthW(message)) + 1, L'\0');
    shown.resize(static_cast<std::size_t>(GetWindowTextW(message, shown.data(), static_cast<int>(shown.size()))));
    style = GetWindowLongPtrW(message, GWL_STYLE);
    line_count = static_cast<int>(SendMessageW(message, EM_GETLINECOUNT, 0, 0));
    first_line = static_cast<int>(SendMessageW(message, EM_GETFIRSTVISIBLELINE, 0, 0));
    // The wheel over the box, and Page Down, turn the text; the focus stays.
    SendMessageW(GetDlgItem(box, IDOK), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    after_wheel = static_cast<int>(SendMessageW(message, EM_GETFIRSTVISIBLELINE, 0, 0));
    PressKey(box, VK_NEXT);
    after_page = static_cast<int>(SendMessageW(message, EM_GETFIRSTVISIBLELINE, 0, 0));
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info);
    focus = info.hwndFocus;
    ok = GetDlgItem(box, IDOK);
    PressKey(box, 'C', true);
    WaitUntil([&] { return !(copied = ClipboardText()).empty(); }, 3000);
    PressKey(box, VK_RETURN);
  });
  EXPECT_EQ(AppMessageBox(nullptr, text.c_str(), L"Tall", MB_OK | MB_ICONEXCLAMATION | kQuiet), IDOK);
  ASSERT_TRUE(answer.found());
  EXPECT_TRUE(Inside(window, work)) << window.top << ".." << window.bottom << " in " << work.top << ".." << work.bottom;
  for (const auto& [id, r] : rects) {
    SCOPED_TRACE(testing::Message() << "control " << id);
    EXPECT_TRUE(Inside(r, client));
  }
  EXPECT_EQ(class_name, L"Edit");
  EXPECT_TRUE(style & WS_VSCROLL);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_FALSE(style & WS_TABSTOP);
  // The whole text with CR LF line breaks, in more lines than show.
  std::wstring crlf;
  for (wchar_t c : text) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
  EXPECT_TRUE(shown == crlf) << "the control's text differs from the message with CR LF line breaks";
  EXPECT_GE(line_count, 301);
  EXPECT_EQ(first_line, 0);
  EXPECT_GT(after_wheel, 0);
  EXPECT_GT(after_page, after_wheel);
  EXPECT_EQ(focus, ok);
  // Ctrl+C copies the text as it was given.
  EXPECT_NE(copied.find(L"\r\n" + text.substr(0, 3999) + L"\r\n"), std::wstring::npos) << copied.substr(0, 200);
}

TEST(AppMessageBox, DpiChangeScalesTheBox) {
  struct Case {
    int line;
    const wchar_t* text;
    UINT style;
  } const cases[] = {
      {__LINE__, L"There is an update for Hivemend available. Would you like to install it now?",
       MB_YESNO | MB_ICONQUESTION | AMB_CHECK_ASK},
      {__LINE__, L"Short.", MB_OKCANCEL | MB_HELP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    RECT client{}, scaled_client{}, back_client{};
    std::vector<std::pair<int, RECT>> before, after;
    int font = 0, scaled_font = 0, back_font = 0;
    BoxAnswerer answer(L"Dpi", [&](HWND box) {
      const HWND message = GetDlgItem(box, kMessageId);
      GetClientRect(box, &client);
      before = ChildRects(box);
      font = FontHeight(message);
      // What the system suggests for twice the DPI: the client area twice as
      // large, in a frame for that DPI.
      auto change = [&](UINT from, UINT to) {
        RECT window{}, now{};
        GetWindowRect(box, &window);
        GetClientRect(box, &now);
        RECT suggested{0, 0, MulDiv(now.right, to, from), MulDiv(now.bottom, to, from)};
        AdjustWindowRectEx(&suggested, GetWindowLongW(box, GWL_STYLE), FALSE, GetWindowLongW(box, GWL_EXSTYLE));
        OffsetRect(&suggested, window.left - suggested.left, window.top - suggested.top);
        SendMessageW(box, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
      };
      change(96, 192);
      GetClientRect(box, &scaled_client);
      after = ChildRects(box);
      scaled_font = FontHeight(message);
      change(192, 96);
      GetClientRect(box, &back_client);
      back_font = FontHeight(message);
      PressKey(box, VK_RETURN);
    });
    EXPECT_EQ(AppMessageBox(nullptr, c.text, L"Dpi", c.style | kQuiet) & 0xFFFF, c.style & MB_YESNO ? IDYES : IDOK);
    ASSERT_TRUE(answer.found());
    EXPECT_NEAR(scaled_client.right, 2 * client.right, 2);
    EXPECT_NEAR(scaled_client.bottom, 2 * client.bottom, 2);
    EXPECT_NEAR(scaled_font, 2 * font, 1);
    EXPECT_GT(font, 0);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "control " << after[i].first);
      const RECT& b = before[i].second;
      const RECT& a = after[i].second;
      EXPECT_TRUE(Inside(a, scaled_client));
      EXPECT_NEAR(a.left, 2 * b.left, 2);
      EXPECT_NEAR(a.top, 2 * b.top, 2);
      // An icon takes its size from the icon for the new DPI.
      if (after[i].first == kIconId) continue;
      EXPECT_NEAR(a.right, 2 * b.right, 2);
      EXPECT_NEAR(a.bottom, 2 * b.bottom, 2);
    }
    // And back again.
    EXPECT_NEAR(back_client.right, client.right, 2);
    EXPECT_NEAR(back_client.bottom, client.bottom, 2);
    EXPECT_EQ(back_font, font);
  }
}

TEST(AppMessageBox, ModernLookPaintsTheBand) {
  struct Case {
    int line;
    COLORREF background;  // CLR_INVALID: the system window colour
  } const cases[] = {
      {__LINE__, CLR_INVALID},
      {__LINE__, RGB(255, 248, 220)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    MessageBoxParams params;
    params.background_color = c.background;
    COLORREF band = 0, below = 0;
    BoxAnswerer answer(L"Band", [&](HWND box) {
      Sleep(200);
      RECT client{};
      GetClientRect(box, &client);
      HDC dc = GetDC(box);
      band = GetPixel(dc, 3, 3);
      below = GetPixel(dc, 3, client.bottom - 3);
      ReleaseDC(box, dc);
      PressKey(box, VK_RETURN);
    });
    EXPECT_EQ(AppMessageBox(nullptr, L"Painted.", L"Band", MB_OK | MB_ICONASTERISK | kQuiet, &params), IDOK);
    EXPECT_EQ(band, c.background == CLR_INVALID ? GetSysColor(COLOR_WINDOW) : c.background);
    EXPECT_EQ(below, GetSysColor(COLOR_BTNFACE));
  }
}

// --- Texts, Help, Report, quitting ---------------------------------------------------

TEST(AppMessageBox, TextsFromTheStringTableAndTheMissingCaption) {
  std::wstring text, title, yes;
  {
    BoxAnswerer answer(L"", [&](HWND box) {
      text = test::Text(GetDlgItem(box, kMessageId));
      title = test::Text(box);
      yes = test::Text(GetDlgItem(box, IDYES));
      ClickControl(box, IDNO);
    });
    EXPECT_EQ(AppMessageBox(nullptr, MAKEINTRESOURCEW(9013), nullptr, MB_YESNO | kQuiet), IDNO);
  }
  EXPECT_EQ(text, L"Yes to all");
  EXPECT_EQ(title, L"Error");
  EXPECT_EQ(yes, L"Yes");
  {
    BoxAnswerer answer(L"&Yes", [&](HWND box) {
      title = test::Text(box);
      yes = test::Text(GetDlgItem(box, IDYES));
      text = test::Text(GetDlgItem(box, kMessageId));
      ClickControl(box, IDYES);
    });
    EXPECT_EQ(AppMessageBox(nullptr, nullptr, L"&Yes", MB_YESNO | AMB_NO_STRING_TABLE | kQuiet), IDYES);
  }
  EXPECT_EQ(title, L"&Yes");
  EXPECT_EQ(yes, L"&Yes");
  EXPECT_EQ(text, L"");
}

struct ReportLog {
  static inline std::u16string text;
  static inline std::uint32_t data = 0;
  static inline int calls = 0;
  static void Record(const char16_t* t, std::uint32_t d) {
    text = t;
    data = d;
    ++calls;
  }
};

TEST(AppMessageBox, HelpAndReportLeaveTheBoxOpen) {
  MessageBoxParams params;
  params.report_callback = &ReportLog::Record;
  params.report_data = 77;
  Copy(params.report_caption, L"Send &report");
  bool open_after = false;
  std::wstring report_caption;
  BoxAnswerer answer(L"Extras", [&](HWND box) {
    report_caption = test::Text(GetDlgItem(box, AMB_ID_REPORT));
    ClickControl(box, AMB_ID_REPORT);
    ClickControl(box, AMB_ID_HELP);  // no help file next to the program: nothing happens
    Sleep(200);
    open_after = IsWindowVisible(box) != FALSE;
    ClickControl(box, IDOK);
  });
  EXPECT_EQ(AppMessageBox(nullptr, L"Report me.", L"Extras", MB_OK | MB_HELP | kQuiet, &params), IDOK);
  EXPECT_TRUE(open_after);
  EXPECT_EQ(report_caption, L"Send &report");
  EXPECT_EQ(ReportLog::calls, 1);
  EXPECT_EQ(ReportLog::text, u"Report me.");
  EXPECT_EQ(ReportLog::data, 77u);
}

TEST(AppMessageBox, CustomButtonsAndIcon) {
  MessageBoxParams params;
  Copy(params.custom_buttons, L"\nKeep\nReplace all\n\nLater\nNever\nExtra");
  params.icon_module = GetModuleHandleW(L"user32.dll");
  params.icon_id = 32516;  // the information icon of the system's own resources
  std::vector<int> ids;
  bool has_icon = false, close_greyed = false;
  BoxAnswerer answer(L"Custom", [&](HWND box) {
    ids = PushButtonIds(box);
    has_icon = GetDlgItem(box, kIconId) != nullptr;
    close_greyed = CloseItemGreyed(box);
    PressKey(box, VK_ESCAPE);  // no Cancel button: ignored
    ClickControl(box, AMB_ID_CUSTOM3);
  });
  EXPECT_EQ(AppMessageBox(nullptr, L"Custom buttons.", L"Custom", MB_YESNOCANCEL | kQuiet, &params), AMB_ID_CUSTOM3);
  EXPECT_EQ(ids, (std::vector<int>{AMB_ID_CUSTOM1, AMB_ID_CUSTOM2, AMB_ID_CUSTOM3, AMB_ID_CUSTOM4}));
  EXPECT_TRUE(has_icon);
  EXPECT_TRUE(close_greyed);
}

TEST(AppMessageBox, OwnerDestroyedWhileTheBoxIsUp) {
  HWND owner = MakeOwner(50, 50, 300, 200);
  ASSERT_NE(owner, nullptr);
  // The owner goes away (as a window closed by another copy of the program
  // does); its owned box goes with it and the call returns.
  BoxAnswerer answer(L"Orphan", [&](HWND) { PostMessageW(owner, WM_CLOSE, 0, 0); });
  EXPECT_EQ(AppMessageBox(owner, L"Owner goes.", L"Orphan", MB_OK | kQuiet), -1);
  EXPECT_FALSE(IsWindow(owner));
}

TEST(AppMessageBox, QuitMessageEndsTheBoxAndIsPostedAgain) {
  const DWORD thread = GetCurrentThreadId();
  BoxAnswerer answer(L"Quit", [&](HWND) { PostThreadMessageW(thread, WM_QUIT, 42, 0); });
  EXPECT_EQ(AppMessageBox(nullptr, L"Quit.", L"Quit", MB_OK | kQuiet), -1);
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 42u);
}

// A command that another thread sends (not posts) is handled inside the
// loop's PeekMessage, which then finds nothing in the queue: the loop must see
// that the box has ended instead of waiting for some other message to come.
TEST(AppMessageBox, CommandSentFromAnotherThreadEndsTheBox) {
  const DWORD thread = GetCurrentThreadId();
  std::atomic<bool> returned{false};
  std::atomic<bool> had_to_wake{false};
  BoxAnswerer answer(L"Sent", [&](HWND box) {
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    // Nothing else is sent or posted to the box's thread, unless it still
    // waits after 20 s: then a message releases it and the test fails.
    for (int i = 0; i < 400 && !returned; ++i) Sleep(50);
    if (!returned) {
      had_to_wake = true;
      PostThreadMessageW(thread, WM_NULL, 0, 0);
    }
  });
  EXPECT_EQ(AppMessageBox(nullptr, L"Ended from another thread.", L"Sent", MB_OK | kQuiet), IDOK);
  returned = true;
  EXPECT_TRUE(answer.found());
  EXPECT_FALSE(had_to_wake);
}

}  // namespace
}  // namespace hivemend
