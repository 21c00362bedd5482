// hivemend.exe from the outside, as a user and a UI-automation tool see it:
// rows read across the process boundary, "/terminate" between two copies, and
// the exit codes of the ways to close the window.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>

#include "platform/Registry.h"
#include "platform/Version.h"
#include "tests/RegistryDump.h"
#include "resources/resource.h"
#include "tests/app/WindowTestSupport_win.h"

namespace hivemend {
namespace {

using namespace testing_support;
using Clock = std::chrono::steady_clock;

std::u16string ProgramPath() {
  wchar_t self[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::u16string path = AsU16(self);
  path.resize(path.find_last_of(u'\\') + 1);
  for (char c : std::string(HIVEMEND_EXE_FROM_TEST)) path += c == '/' ? u'\\' : static_cast<char16_t>(c);
  return path;
}

// One running hivemend.exe.
class Program {
 public:
  explicit Program(const std::u16string& arguments) {
    std::u16string command = u"\"" + ProgramPath() + u"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    started_ = Clock::now();
    if (!CreateProcessW(nullptr, const_cast<wchar_t*>(AsWide(command)), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      ADD_FAILURE() << "cannot start hivemend.exe: error " << GetLastError();
      return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
  }
  // A copy that someone else started (the shell).
  explicit Program(HANDLE process) : process_(process), id_(GetProcessId(process)), started_(Clock::now()) {}
  ~Program() {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 99);
      WaitForSingleObject(process_, 5000);
    }
    if (remote_) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }

  HANDLE process() const { return process_; }
  Clock::time_point started() const { return started_; }

  // The main window, once it is visible.
  HWND Window() {
    if (window_) return window_;
    WaitUntil([&] {
      EnumWindows(
          [](HWND w, LPARAM self) -> BOOL {
            auto& p = *reinterpret_cast<Program*>(self);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            // The title names the loaded file: "Hivemend - name.reg".
            if (pid != p.id_ || !IsWindowVisible(w) || GetWindow(w, GW_OWNER) ||
                WindowText(w).rfind(u"Hivemend", 0) != 0)
              return TRUE;
            p.window_ = w;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(this));
      return window_ != nullptr;
    });
    return window_;
  }

  // Exit code, or -1 when the process has not ended in time.
  long WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    if (WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return -1;
    ended_ = Clock::now();
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
  }
  Clock::time_point ended() const { return ended_; }

  // Texts read with messages whose buffer lives in the program's memory.
  std::u16string StatusText(int part) {
    const HWND status = FindWindowExW(Window(), nullptr, STATUSCLASSNAMEW, nullptr);
    return RemoteText([&](std::uintptr_t buffer) {
      return SendMessageTimeoutW(status, SB_GETTEXTW, part, static_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                                 nullptr);
    }, 0);
  }
  int RowCount() {
    DWORD_PTR count = 0;
    SendMessageTimeoutW(GetDlgItem(Window(), IDC_CHANGE_LIST), LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
    return static_cast<int>(count);
  }
  std::u16string Cell(int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = 4096;
    return RemoteText([&](std::uintptr_t buffer) {
      return SendMessageTimeoutW(GetDlgItem(Window(), IDC_CHANGE_LIST), LVM_GETITEMTEXTW, row,
                                 static_cast<LPARAM>(buffer - sizeof item), SMTO_ABORTIFHUNG, 5000, nullptr);
    }, sizeof item, &item);
  }

 private:
  // Calls send(remote text buffer); item (when given) is written just before it
  // with its pszText pointing at the buffer.
  template <typename Send>
  std::u16string RemoteText(Send send, size_t header, LVITEMW* item = nullptr) {
    constexpr size_t kBlock = 64 * 1024;
    if (!remote_) {
      HANDLE vm = process_;
      remote_ = VirtualAllocEx(vm, nullptr, kBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
      if (!remote_) return u"(no remote memory)";
    }
    const auto base = reinterpret_cast<std::uintptr_t>(remote_);
    const std::uintptr_t text = base + header;
    const wchar_t empty = L'\0';
    WriteProcessMemory(process_, reinterpret_cast<void*>(text), &empty, sizeof empty, nullptr);
    if (item) {
      item->pszText = reinterpret_cast<wchar_t*>(text);
      WriteProcessMemory(process_, remote_, item, sizeof *item, nullptr);
    }
    send(text);
    std::vector<wchar_t> buffer(4096, L'\0');
    ReadProcessMemory(process_, reinterpret_cast<void*>(text), buffer.data(), (buffer.size() - 1) * sizeof(wchar_t),
                      nullptr);
    buffer.back() = L'\0';
    return AsU16(buffer.data());
  }

  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  HWND window_ = nullptr;
  void* remote_ = nullptr;
  Clock::time_point started_, ended_;
};

// A key of the test's own under HKCU\Software\HivemendTest, removed at the end.
class TestKey {
 public:
  TestKey() : path_(u"Software\\HivemendTest\\app-" + Decimal(GetCurrentProcessId()) + u"-" + Decimal(GetTickCount64())) {}
  ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(path_)); }
  const std::u16string& path() const { return path_; }
  void SetString(const wchar_t* name, const wchar_t* value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, AsWide(path_), name, REG_SZ, value,
                    static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }

 private:
  std::u16string path_;
};

bool WaitForCompletion(Program& program) {
  return WaitUntil([&] { return program.StatusText(0).rfind(u"Read ", 0) == 0; });
}

TEST(HivemendExe, ShowsTheRowsOfAFileNamedOnTheCommandLine) {
  TestKey key;
  key.SetString(L"Same", L"one");
  key.SetString(L"Changed", L"old");
  TempFolder folder;
  const std::u16string file = folder.WriteReg(u"e2e.reg", u"[HKEY_CURRENT_USER\\" + key.path() +
                                                              u"]\r\n\"Same\"=\"ONE\"\r\n\"Changed\"=\"new\"\r\n"
                                                              u"\"Missing\"=dword:00000010\r\n");
  Program program(u"\"" + file + u"\"");
  ASSERT_NE(program.Window(), nullptr);
  ASSERT_TRUE(WaitForCompletion(program)) << ToUtf8(program.StatusText(0));
  EXPECT_EQ(program.StatusText(0), u"Read 5 lines from " + file);
  EXPECT_EQ(program.StatusText(1), u"1 matched, 1 differ, 1 do not exist");
  ASSERT_EQ(program.RowCount(), 3);
  const std::vector<std::vector<std::u16string>> expected = {
      {u"HKEY_CURRENT_USER", u"SAME", key.path(), u"Same", u"REG_SZ", u"ONE", u"one"},  // what the registry holds
      {u"HKEY_CURRENT_USER", u"CHANGED", key.path(), u"Changed", u"REG_SZ", u"new", u"old"},
      {u"HKEY_CURRENT_USER", u"MISSING", key.path(), u"Missing", u"REG_DWORD", u"0x10", u""},
  };
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 7; ++c)
      EXPECT_EQ(program.Cell(r, c), expected[r][c]) << "row " << r << " column " << c;
  PostMessageW(program.Window(), WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(program.WaitForExit(), 0);
}

TEST(HivemendExe, ExitCodesOfTheWaysToClose) {
  struct Case {
    int line;
    const char* how;
    void (*close)(HWND window);
    long code;
  };
  const Case cases[] = {
      {__LINE__, "File Exit", [](HWND w) { PostMessageW(w, WM_COMMAND, IDM_EXIT, 0); }, 0},
      {__LINE__, "close box", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, 2},
      {__LINE__, "Escape", [](HWND w) { PostMessageW(GetDlgItem(w, IDC_MERGE), WM_KEYDOWN, VK_ESCAPE, 0); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.how << " (case at line " << c.line << ")");
    Program program(u"");
    ASSERT_NE(program.Window(), nullptr);
    c.close(program.Window());
    EXPECT_EQ(program.WaitForExit(), c.code);
  }
}

TEST(HivemendExe, TerminateClosesARunningCopy) {
  // Early, while the update check still waits to begin, and later, when it
  // has asked the (unreachable) update server.
  for (const auto delay : {std::chrono::milliseconds(0), std::chrono::milliseconds(5500)}) {
    SCOPED_TRACE(testing::Message() << "request after " << delay.count() << " ms");
    Program running(u"");
    ASSERT_NE(running.Window(), nullptr);
    Sleep(static_cast<DWORD>(delay.count()));
    Program terminate(u"/TERMINATE");
    EXPECT_EQ(running.WaitForExit(), 0);
    EXPECT_EQ(terminate.WaitForExit(), 0);
    // The running copy ends while the requesting one still sleeps its 2 s.
    EXPECT_LT(running.ended(), terminate.ended());
    std::printf("window closed %lld ms after the request started\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           running.ended() - terminate.started()).count()));
  }
}

TEST(HivemendExe, TerminateWithNoCopyRunningShowsNothingAndExitsWithZero) {
  Program alone(u"\"some file.reg\" /terminate");
  EXPECT_EQ(alone.WaitForExit(), 0);
}

// The values sit under a key that exists, so that each one is looked up in
// the registry: below a missing key none is, and such a load can end before
// anyone sees it running.
TEST(HivemendExe, ClosingDuringALongLoadEndsTheProcess) {
  TempFolder folder;
  TestKey key;
  key.SetString(L"seed", L"x");
  const std::u16string file =
      folder.WriteReg(u"long.reg", u"[HKEY_CURRENT_USER\\" + key.path() + u"]\r\n" + ValueLines(30000));
  Program program(u"\"" + file + u"\"");
  ASSERT_NE(program.Window(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return program.StatusText(0).rfind(u"Reading line", 0) == 0; }))
      << ToUtf8(program.StatusText(0)) << " / " << ToUtf8(program.StatusText(1));
  PostMessageW(program.Window(), WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(program.WaitForExit(), 0);
}

// The user's classes and the machine's for .REG files, as a test of the file
// handler finds and leaves them. The machine gets the verbs that Windows ships
// (Merge and Edit, here commands that do nothing, so that a fault of the
// handler can merge nothing); the user a default verb of their own, with a
// type of its own, and an unrelated key. What the test made goes at the end.
class RegAssociation {
 public:
  RegAssociation() {
    user_classes_existed_ = Exists(HKEY_CURRENT_USER, L"Software\\Classes");
    user_class_existed_ = Exists(HKEY_CURRENT_USER, L"Software\\Classes\\regfile");
    machine_existed_ = Exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.reg") ||
                       Exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\regfile");
    if (machine_existed_) return;
    SetText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.reg", REG_SZ, L"regfile");
    SetText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\regfile\\shell\\open\\command", REG_EXPAND_SZ, kMergeCommand);
    SetText(HKEY_LOCAL_MACHINE, L"Software\\Classes\\regfile\\shell\\edit\\command", REG_EXPAND_SZ, kMergeCommand);
    if (!user_class_existed_) SetText(HKEY_CURRENT_USER, L"Software\\Classes\\regfile\\shell", REG_EXPAND_SZ, L"edit");
    const BYTE bytes[] = {1, 0, 0xFE};
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Classes\\.hivemendtest", L"Data", REG_BINARY, bytes, sizeof bytes);
  }
  ~RegAssociation() {
    if (machine_existed_) return;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.reg");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\regfile");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\.hivemendtest");
    if (!user_class_existed_) RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\regfile");
    if (!user_classes_existed_) RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes");
  }
  // True when the prefix has a .REG association of its own, which the test
  // leaves alone.
  bool foreign() const { return machine_existed_; }

  // Wine 8 reads HKEY_CLASSES_ROOT from the machine's classes only (measured:
  // a class under HKEY_CURRENT_USER\Software\Classes alone is not found, and
  // the shell does not open its files). Windows merges the user's classes over
  // the machine's, the user's values first; this does the same for .REG files.
  static constexpr wchar_t kMergeCommand[] = L"%SystemRoot%\\system32\\cmd.exe /c rem \"%1\"";

  static void MergeUserClassesIntoMachine() {
    for (const wchar_t* key : {L"Software\\Classes\\.reg", L"Software\\Classes\\regfile"}) {
      HKEY user = nullptr, machine = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &user) != ERROR_SUCCESS) continue;
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &machine, nullptr) ==
          ERROR_SUCCESS) {
        RegCopyTreeW(user, nullptr, machine);
        RegCloseKey(machine);
      }
      RegCloseKey(user);
    }
  }

 private:
  static bool Exists(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  static void SetText(HKEY root, const wchar_t* path, DWORD type, const wchar_t* text) {
    RegSetKeyValueW(root, path, nullptr, type, text, static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  }
  bool user_classes_existed_ = false, user_class_existed_ = false, machine_existed_ = false;
};

std::u16string DefaultValue(HKEY root, const wchar_t* path) {
  wchar_t text[1024] = L"";
  DWORD size = sizeof text;
  if (RegGetValueW(root, path, nullptr, RRF_RT_ANY | RRF_NOEXPAND, nullptr, text, &size) != ERROR_SUCCESS)
    return u"(none)";
  return AsU16(text);
}

// /sethandler makes the shell open a .reg file in hivemend.exe, which shows its
// rows; /removehandler gives the user's classes back exactly. Neither switch
// shows a window: a message box would hold the process past its time.
TEST(HivemendExe, HandlerSwitchesOpenRegFilesInHivemendAndGiveTheClassesBack) {
  Program(u"/removehandler").WaitForExit();  // what an earlier run may have left
  RegAssociation association;
  if (association.foreign()) GTEST_SKIP() << "the Wine prefix has a .reg association of its own";
  Registry& registry = *SystemRegistry();
  const auto classes = test::DumpRegistry(registry, RegRoot::CurrentUser, u"Software\\Classes");
  ASSERT_GT(classes.size(), 3u);

  Program set(u"/SETHANDLER");
  ASSERT_EQ(set.WaitForExit(), 0);
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, L"Software\\Classes\\regfile\\shell"), u"Hivemend");
  wchar_t program[MAX_PATH] = L"";
  GetFullPathNameW(AsWide(ProgramPath()), MAX_PATH, program, nullptr);
  EXPECT_EQ(DefaultValue(HKEY_CURRENT_USER, L"Software\\Classes\\regfile\\shell\\Hivemend\\command"),
            u"\"" + AsU16(program) + u"\" \"%1\"");
  // The system's verbs are where they were.
  EXPECT_EQ(ToUtf8(DefaultValue(HKEY_LOCAL_MACHINE, L"Software\\Classes\\regfile\\shell\\open\\command")),
            ToUtf8(AsU16(RegAssociation::kMergeCommand)));

  TestKey key;
  key.SetString(L"Old", L"old");
  TempFolder folder;
  const std::u16string file = folder.WriteReg(
      u"handler.reg", u"[HKEY_CURRENT_USER\\" + key.path() + u"]\r\n\"Old\"=\"new\"\r\n\"New\"=dword:00000001\r\n");
  RegAssociation::MergeUserClassesIntoMachine();
  SHELLEXECUTEINFOW open{};
  open.cbSize = sizeof open;
  open.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  open.lpFile = AsWide(file);  // no verb: the default one, as a double-click
  open.nShow = SW_SHOWNORMAL;
  ASSERT_TRUE(ShellExecuteExW(&open)) << GetLastError();
  ASSERT_NE(open.hProcess, nullptr);
  Program opened(open.hProcess);
  ASSERT_NE(opened.Window(), nullptr);
  EXPECT_EQ(WindowText(opened.Window()), u"Hivemend - handler.reg");
  ASSERT_TRUE(WaitForCompletion(opened)) << ToUtf8(opened.StatusText(0));
  ASSERT_EQ(opened.RowCount(), 2);
  EXPECT_EQ(opened.Cell(0, 1), u"CHANGED");
  EXPECT_EQ(opened.Cell(1, 1), u"MISSING");
  PostMessageW(opened.Window(), WM_COMMAND, IDM_EXIT, 0);
  EXPECT_EQ(opened.WaitForExit(), 0);

  Program remove(u"/removehandler");
  ASSERT_EQ(remove.WaitForExit(), 0);
  EXPECT_EQ(test::DumpRegistry(registry, RegRoot::CurrentUser, u"Software\\Classes"), classes);
  HKEY state = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Hivemend\\FileHandler", 0, KEY_READ, &state),
            ERROR_FILE_NOT_FOUND);
  // A second remove has nothing to do, and says so with success.
  EXPECT_EQ(Program(u"/RemoveHandler").WaitForExit(), 0);
  EXPECT_EQ(test::DumpRegistry(registry, RegRoot::CurrentUser, u"Software\\Classes"), classes);
}

// The version resource and the manifest are made from the same version as the
// program's constant: what Explorer and Windows see is what the About box and
// the update check use.
TEST(HivemendExe, VersionResourceAndManifestCarryTheProgramVersion) {
  const std::u16string exe = ProgramPath();
  DWORD ignored = 0;
  std::vector<std::uint8_t> info(GetFileVersionInfoSizeW(AsWide(exe), &ignored));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(AsWide(exe), 0, static_cast<DWORD>(info.size()), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  const std::u16string numbers = Decimal(HIWORD(fixed->dwFileVersionMS)) + u"." + Decimal(LOWORD(fixed->dwFileVersionMS)) +
                                 u"." + Decimal(HIWORD(fixed->dwFileVersionLS)) + u"." +
                                 Decimal(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(ToUtf8(numbers), ToUtf8(kProgramVersion));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  for (const wchar_t* name : {L"\\StringFileInfo\\040904b0\\FileVersion", L"\\StringFileInfo\\040904b0\\ProductVersion"}) {
    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), name, reinterpret_cast<void**>(&text), &size)) << ToUtf8(AsU16(name));
    EXPECT_EQ(ToUtf8(AsU16(text)), ToUtf8(kProgramVersion)) << ToUtf8(AsU16(name));
  }

  const HMODULE module = LoadLibraryExW(AsWide(exe), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // the manifest
  ASSERT_NE(resource, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                             SizeofResource(module, resource));
  FreeLibrary(module);
  const std::string identity = "name=\"Tarnwick.Hivemend\" version=\"" + ToUtf8(kProgramVersion) + "\"";
  EXPECT_NE(manifest.find(identity), std::string::npos) << manifest;
}

}  // namespace
}  // namespace hivemend
