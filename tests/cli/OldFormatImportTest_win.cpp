// Files merged into the real registry by hivemend-cli and read back:
//  - a REGEDIT4 file, and the same file imported by the system's registry
//    editor under a sibling key: both keys must then hold the same values,
//    type and bytes;
//  - a hand-edited export whose hex data swallows a key line and holds a
//    comment line: only what the file means is written, and the undo file
//    takes it back.
// Everything lives under HKCU\Software\HivemendTest\<process id>-..., removed
// before and after.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "tests/CliRun.h"
#include "tests/TestSupport.h"

namespace hivemend::test {
namespace {

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

struct Stored {
  DWORD type = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const Stored&) const = default;
};

// Every value of a key by name (the default value as "@").
std::map<std::wstring, Stored> ValuesOf(const std::wstring& path) {
  std::map<std::wstring, Stored> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_length = 256;
    Stored value;
    value.data.resize(4096);
    DWORD size = static_cast<DWORD>(value.data.size());
    if (RegEnumValueW(key, i, name, &name_length, nullptr, &value.type, value.data.data(), &size) != ERROR_SUCCESS) {
      break;
    }
    value.data.resize(size);
    values[name_length == 0 ? L"@" : std::wstring(name, name_length)] = value;
  }
  RegCloseKey(key);
  return values;
}

// Runs the registry editor's silent import; false when it cannot be run or
// does not end within a minute.
bool ImportWithRegistryEditor(const std::u16string& file) {
  std::wstring command = L"regedit.exe /s \"" + Wide(file) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended;
}

std::string FileFor(const std::u16string& key) {
  // ANSI text: "é" is E9 in the code page of Western European systems (and
  // Wine's default); hex(2) and hex(7) data is the same narrow text.
  return "REGEDIT4\r\n\r\n"
         "[HKEY_CURRENT_USER\\" + Show(key) + "]\r\n"
         "\"plain\" = \"caf\xE9\"\r\n"
         "\"expand\"=hex(2):25,54,45,4d,50,25,5c,e9,00\r\n"
         "\"multi\"\t=\thex(7):61,00,e9,00,00\r\n"
         // The parser adds the NUL; the system would also take the one that
         // follows the data in memory.
         "\"no terminator\"=hex(2):41,42\r\n"
         "\"dword\" =dword:0000001f\r\n"
         "\"binary\"= hex:01,02,\\\r\n"
         "  03\r\n"
         "@ = \"default\"\r\n";
}

TEST(OldFormatImport, MergedValuesEqualWhatTheRegistryEditorImports) {
  if (GetACP() != 1252) GTEST_SKIP() << "the file is written for code page 1252";
  const std::u16string base = u"Software\\HivemendTest\\" + U16(std::to_string(GetCurrentProcessId())) + u"-old-format";
  const std::wstring wide_base = Wide(base);
  RegDeleteTreeW(HKEY_CURRENT_USER, wide_base.c_str());
  TempDir dir;
  WriteBytes(dir.path() / "ours.reg", FileFor(base + u"\\ours"));
  WriteBytes(dir.path() / "editor.reg", FileFor(base + u"\\editor"));

  EXPECT_EQ(Cli({u"merge", dir.File("ours.reg"), u"--history", dir.File("history")}).code, 0);
  ASSERT_TRUE(ImportWithRegistryEditor(dir.File("editor.reg")));

  const auto ours = ValuesOf(wide_base + L"\\ours");
  const auto editor = ValuesOf(wide_base + L"\\editor");
  RegDeleteTreeW(HKEY_CURRENT_USER, wide_base.c_str());

  EXPECT_EQ(ours.size(), 7u);
  EXPECT_EQ(ours, editor);
  // What the strings are: UTF-16, with their NULs.
  const auto expand = ours.find(L"expand");
  ASSERT_NE(expand, ours.end());
  EXPECT_EQ(expand->second, (Stored{REG_EXPAND_SZ, StringBytes(u"%TEMP%\\\u00E9")}));
  const auto multi = ours.find(L"multi");
  ASSERT_NE(multi, ours.end());
  EXPECT_EQ(multi->second, (Stored{REG_MULTI_SZ, StringBytes(std::u16string(u"a\0\u00E9\0", 4))}));
  const auto plain = ours.find(L"plain");
  ASSERT_NE(plain, ours.end());
  EXPECT_EQ(plain->second, (Stored{REG_SZ, StringBytes(u"caf\u00E9")}));
}

TEST(MalformedLines, OnlyWhatTheFileMeansIsMergedAndTheUndoTakesItBack) {
  const std::u16string base = u"Software\\HivemendTest\\" + U16(std::to_string(GetCurrentProcessId())) + u"-malformed";
  const std::wstring wide_base = Wide(base);
  RegDeleteTreeW(HKEY_CURRENT_USER, wide_base.c_str());
  TempDir dir;
  const std::string key = "[HKEY_CURRENT_USER\\" + Show(base);
  WriteBytes(dir.path() / "cut.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + key + "\\A]\r\n"
                                     "\"bin\"=hex:01,02,\\\r\n" +             // its last line was deleted
                                     key + "\\B]\r\n"                       // ... so this key line ends it
                                     "\"x\"=\"in B\"\r\n"
                                     "\"c\"=hex:01,02,\\\r\n"
                                     "  ; a comment inside the data\r\n"
                                     "\r\n"
                                     "  03\r\n"
                                     "\"n\"=hex(0):0a\r\n"
                                     "\"y\"=hex:01,\\\r\n"
                                     "\"z\"=\"after\"\r\n");
  const CliRun merge = Cli({u"merge", dir.File("cut.reg"), u"--history", dir.File("history")});
  EXPECT_EQ(merge.code, 1) << merge.out << merge.err;  // two lines could not be read
  EXPECT_NE(merge.err.find(": line 4: the data goes on with a backslash, but line 5 starts a key"), std::string::npos)
      << merge.err;
  EXPECT_NE(merge.err.find(": line 12: the data goes on with a backslash, but line 13 starts a value"),
            std::string::npos)
      << merge.err;

  HKEY a = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (wide_base + L"\\A").c_str(), 0, KEY_READ, &a), ERROR_SUCCESS);
  RegCloseKey(a);
  EXPECT_TRUE(ValuesOf(wide_base + L"\\A").empty());  // created, and nothing guessed into it
  const std::map<std::wstring, Stored> expected = {
      {L"x", {REG_SZ, StringBytes(u"in B")}},
      {L"c", {REG_BINARY, {1, 2, 3}}},
      {L"n", {REG_NONE, {0x0a}}},
      {L"z", {REG_SZ, StringBytes(u"after")}},
  };
  EXPECT_EQ(ValuesOf(wide_base + L"\\B"), expected);

  EXPECT_EQ(Cli({u"undo", u"--last", u"--history", dir.File("history")}).code, 0);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wide_base.c_str(), 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  if (gone) RegCloseKey(gone);
  RegDeleteTreeW(HKEY_CURRENT_USER, wide_base.c_str());
}

}  // namespace
}  // namespace hivemend::test
