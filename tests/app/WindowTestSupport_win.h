// Helpers of the window tests: temporary .REG files, waiting, and finding and
// answering the dialogs that the program opens.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/File.h"
#include "platform/Text.h"
#include "platform/WinString.h"

namespace hivemend::testing_support {

// Polls until done() holds or the time runs out; returns the last done().
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A folder of its own under the temporary folder, removed with its files
// (also those the program wrote there: undo files, error logs).
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, base);
    path_ = AsU16(base) + u"hivemend-app-test-" + Decimal(GetCurrentProcessId()) + u"-" + Decimal(GetTickCount64());
    CreateDirectoryW(AsWide(path_), nullptr);
  }
  ~TempFolder() {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(AsWide(path_ + u"\\*"), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW(AsWide(path_ + u"\\" + AsU16(found.cFileName)));
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(AsWide(path_));
  }
  std::u16string File(const std::u16string& name) const { return path_ + u"\\" + name; }
  const std::u16string& path() const { return path_; }
  // Writes a UTF-16 .REG file (the header line is added) and returns its path.
  std::u16string WriteReg(const std::u16string& name, const std::u16string& body) {
    const std::u16string file = path_ + u"\\" + name;
    DeleteFileW(AsWide(file));
    if (!WriteUnicodeTextFile(file, u"Windows Registry Editor Version 5.00\r\n\r\n" + body)) return {};
    return file;
  }
  std::u16string WriteRaw(const std::u16string& name, const std::u16string& text) {
    const std::u16string file = path_ + u"\\" + name;
    DeleteFileW(AsWide(file));
    if (!WriteUnicodeTextFile(file, text)) return {};
    return file;
  }

 private:
  std::u16string path_;
};

inline std::u16string WindowText(HWND window) {
  wchar_t text[4096] = L"";
  GetWindowTextW(window, text, 4096);
  return AsU16(text);
}

// A top-level window of the given thread and class that owner owns (a visible
// one when visible is set, with the caption when one is given), or none.
inline HWND FindOwnedWindow(DWORD thread, HWND owner, const wchar_t* window_class, bool visible,
                            const std::u16string& caption = {}) {
  struct Search {
    HWND owner;
    const wchar_t* window_class;
    bool visible;
    const std::u16string* caption;
    HWND found;
  } search{owner, window_class, visible, &caption, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        wchar_t class_name[64] = L"";
        GetClassNameW(window, class_name, 64);
        if (std::wstring(class_name) != s.window_class || (s.visible && !IsWindowVisible(window))) return TRUE;
        if (GetWindow(window, GW_OWNER) != s.owner) return TRUE;
        if (!s.caption->empty() && WindowText(window) != *s.caption) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A visible top-level dialog of the given thread that owner owns, or none.
inline HWND FindOwnedDialog(DWORD thread, HWND owner, const std::u16string& caption = {}) {
  return FindOwnedWindow(thread, owner, L"#32770", true, caption);
}

// The text of a list view's cell.
inline std::u16string ListCellText(HWND list, int row, int column) {
  wchar_t text[4096] = L"";
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 4096;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return AsU16(text);
}

// Waits for a message box that owner owns, reads its text and presses OK.
// Returns the text, or "(no message box)".
inline std::u16string AnswerMessageBox(DWORD thread, HWND owner) {
  HWND box = nullptr;
  if (!WaitUntil([&] { return (box = FindOwnedDialog(thread, owner, u"Hivemend")) != nullptr; }))
    return u"(no message box)";
  const std::u16string text = WindowText(GetDlgItem(box, 0xFFFF));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return !IsWindow(box); });
  return text;
}

// A message's first paragraph (up to its first empty line): a merge's outcome
// without the rows and files it adds.
inline std::u16string FirstParagraph(const std::u16string& text) { return text.substr(0, text.find(u"\r\n\r\n")); }

// n value lines "v1".."vn" under one key, each a string "x".
inline std::u16string ValueLines(int n, const std::u16string& prefix = u"v") {
  std::u16string body;
  for (int i = 1; i <= n; ++i) body += u"\"" + prefix + Decimal(static_cast<unsigned>(i)) + u"\"=\"x\"\r\n";
  return body;
}

}  // namespace hivemend::testing_support
