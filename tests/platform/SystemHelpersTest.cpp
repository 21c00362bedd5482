// The system helpers' contracts where a fault would be easy to make: the
// buffer rule of the program's path, command-line quoting, whole-file writes
// that fail, new files held against other writers, and starting a program
// that is not there. Both halves run them:
// natively and under Wine.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>

#include <csignal>
#endif

#include <fstream>
#include <iterator>
#include <string>

#include "platform/File.h"
#include "platform/Process.h"
#include "platform/RegistryName.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::ReadBytes;
using test::Show;
using test::TempDir;
// A stand-in for the system calls that cut what does not fit: they write as
// much as fits and return the capacity when the text was cut.
std::u16string ReadThrough(const std::u16string& whole, std::size_t first, std::size_t max, int* calls) {
  return ReadUntilFits<char16_t>(first, max, [&](char16_t* buffer, std::size_t capacity) -> std::size_t {
    ++*calls;
    const std::size_t n = std::min(whole.size(), capacity);
    whole.copy(buffer, n);
    return whole.size() < capacity ? whole.size() : capacity;
  });
}

TEST(SystemHelpers, PathBufferGrowsUntilThePathFitsAndNeverCutsIt) {
  const struct {
    int line;
    std::size_t length, first, max;
    bool whole;
    int calls;
  } cases[] = {
      {__LINE__, 10, 260, 65536, true, 1},
      {__LINE__, 259, 260, 65536, true, 1},
      {__LINE__, 260, 260, 65536, true, 2},  // fills the buffer exactly: may be cut
      {__LINE__, 300, 260, 65536, true, 2},
      {__LINE__, 32767, 260, 65536, true, 8},
      {__LINE__, 1000, 260, 1000, false, 2},  // never fits: nothing rather than a cut path
      {__LINE__, 0, 260, 65536, false, 1},    // the call failed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::u16string whole(c.length, u'x');
    if (!whole.empty()) whole.back() = u'e';
    int calls = 0;
    EXPECT_EQ(ReadThrough(whole, c.first, c.max, &calls), c.whole ? whole : u"");
    EXPECT_EQ(calls, c.calls);
  }
}

TEST(SystemHelpers, ProgramPathNamesThisTestProgram) {
  const std::u16string path = ProgramPath();
  EXPECT_TRUE(PathExists(path)) << Show(path);
  EXPECT_NE(path.find(u"platform_helpers_test"), std::u16string::npos) << Show(path);
}

TEST(SystemHelpers, CommandLinesGiveTheirArgumentsBack) {
  const struct {
    int line;
    std::u16string argument, written;
  } cases[] = {
      {__LINE__, u"/S", u"/S"},
      {__LINE__, u"", u"\"\""},
      {__LINE__, u"a b", u"\"a b\""},
      {__LINE__, u"a\tb", u"\"a\tb\""},
      {__LINE__, u"C:\\dir\\", u"C:\\dir\\"},                // no quotes: backslashes stay single
      {__LINE__, u"C:\\my dir\\", u"\"C:\\my dir\\\\\""},    // before the closing quote: doubled
      {__LINE__, u"say \"hi\"", u"\"say \\\"hi\\\"\""},
      {__LINE__, u"a\\\"b", u"\"a\\\\\\\"b\""},              // backslash then quote
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    EXPECT_EQ(Show(CommandLineOf(u"C:\\Program Files\\Hivemend\\HivemendSetup64.exe", {c.argument})),
              Show(u"\"C:\\Program Files\\Hivemend\\HivemendSetup64.exe\" " + c.written));
  }
  EXPECT_EQ(Show(CommandLineOf(u"p.exe", {})), "\"p.exe\"");
  EXPECT_EQ(Show(CommandLineOf(u"p.exe", {u"1", u"2"})), "\"p.exe\" 1 2");
}

TEST(SystemHelpers, StartingAProgramThatIsNotThereFails) {
  TempDir dir;
  EXPECT_FALSE(StartProcess(dir.File("absent.exe"), {u"/S"}));
}

TEST(SystemHelpers, WholeFileWrites) {
  TempDir dir;
  const std::u16string path = dir.File("f.bin");
  ASSERT_TRUE(WriteWholeFile(path, "first", WriteMode::CreateNew));
  EXPECT_FALSE(WriteWholeFile(path, "second", WriteMode::CreateNew));
  EXPECT_EQ(ReadBytes(dir.path() / "f.bin"), "first") << "a taken name is left alone";
  ASSERT_TRUE(WriteWholeFile(path, "replaced", WriteMode::Replace));
  EXPECT_EQ(ReadBytes(dir.path() / "f.bin"), "replaced");
  ASSERT_TRUE(WriteWholeFile(path, "", WriteMode::Replace));
  EXPECT_EQ(ReadBytes(dir.path() / "f.bin"), "");
  for (WriteMode mode : {WriteMode::CreateNew, WriteMode::Replace}) {
    EXPECT_FALSE(WriteWholeFile(dir.File("absent/f.bin"), "x", mode));
  }
  // Text files: FF FE and UTF-16 little-endian, never over another file.
  ASSERT_TRUE(WriteUnicodeTextFile(dir.File("t.reg"), u"A\u00e9\r\n"));
  EXPECT_FALSE(WriteUnicodeTextFile(dir.File("t.reg"), u"other"));
  EXPECT_EQ(ReadBytes(dir.path() / "t.reg"), std::string("\xFF\xFE" "A\0\xE9\0\r\0\n\0", 10));
  EXPECT_EQ(dir.Files().size(), 2u) << "no temporary file stays behind";
}

// A new file of an unguessable name is made beside whatever is there; what is
// written is what is read back; Remove deletes it, the destructor keeps it.
TEST(SystemHelpers, ExclusiveFileIsNewWrittenAndRemoved) {
  TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("other.bin"), "other", WriteMode::CreateNew));
  std::u16string kept;
  {
    ExclusiveFile first, second;
    ASSERT_TRUE(first.CreateNew(dir.u16(), u"Setup", u".exe"));
    ASSERT_TRUE(second.CreateNew(dir.u16(), u"Setup", u".exe"));
    EXPECT_NE(first.path(), second.path());
    const std::string name = std::filesystem::path(first.path()).filename().string();
    EXPECT_EQ(name.size(), std::string("Setup-0123456789abcdef.exe").size()) << name;
    EXPECT_EQ(name.substr(0, 6), "Setup-");
    const std::string bytes = "written";
    ASSERT_TRUE(first.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(first.FinishWriting());
    EXPECT_EQ(ReadBytes(std::filesystem::path(first.path())), bytes);
    const std::u16string second_path = second.path();
    EXPECT_TRUE(second.Remove());
    EXPECT_FALSE(PathExists(second_path));
    kept = first.path();
  }
  EXPECT_TRUE(PathExists(kept));
  EXPECT_EQ(ReadBytes(dir.path() / "other.bin"), "other");
  EXPECT_EQ(dir.Files().size(), 2u);
  EXPECT_FALSE(ExclusiveFile().CreateNew(dir.File("absent"), u"Setup", u".exe"));
}

#ifdef _WIN32
// While held, nobody else writes, renames or deletes the file; once written,
// it can still be opened for reading and running, as a program start does.
TEST(SystemHelpers, ExclusiveFileRefusesWritersRenamesAndDeletion) {
  TempDir dir;
  ExclusiveFile file;
  ASSERT_TRUE(file.CreateNew(dir.u16(), u"Setup", u".exe"));
  const auto path = reinterpret_cast<const wchar_t*>(file.path().c_str());
  const std::wstring renamed = (dir.path() / "renamed.exe").wstring();
  const auto refused = [&](const char* when) {
    SCOPED_TRACE(when);
    const HANDLE writer = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileW(path));
    EXPECT_FALSE(MoveFileW(path, renamed.c_str()));
  };
  refused("while written");
  ASSERT_TRUE(file.Write(reinterpret_cast<const std::uint8_t*>("MZ"), 2));
  ASSERT_TRUE(file.FinishWriting());
  refused("after writing");
  const HANDLE reader = CreateFileW(path, GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  EXPECT_TRUE(file.Remove());
  EXPECT_TRUE(dir.Files().empty());
}
#endif

#ifndef _WIN32
// A write that breaks off halfway (here at a file size limit) leaves no part
// of the bytes under the name: nothing for CreateNew, the old file for Replace.
TEST(SystemHelpers, WholeFileWriteThatBreaksOffLeavesNoPartialFile) {
  TempDir dir;
  const std::u16string old_file = dir.File("old.bin");
  ASSERT_TRUE(WriteWholeFile(old_file, "old", WriteMode::CreateNew));
  const std::string big(64 * 1024, 'b');
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto saved_signal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool created = WriteWholeFile(dir.File("new.bin"), big, WriteMode::CreateNew);
  const bool replaced = WriteWholeFile(old_file, big, WriteMode::Replace);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, saved_signal);
  EXPECT_FALSE(created);
  EXPECT_FALSE(replaced);
  EXPECT_FALSE(PathExists(dir.File("new.bin")));
  EXPECT_EQ(ReadBytes(dir.path() / "old.bin"), "old");
  EXPECT_EQ(dir.Files().size(), 1u) << "no temporary file stays behind";
}
#endif

TEST(SystemHelpers, KeyPathsAndNamesAsTheRegistryTellsThemApart) {
  const struct {
    int line;
    std::u16string path, folded, kept;
  } cases[] = {
      {__LINE__, u"", u"", u""},
      {__LINE__, u"Software\\Hivemend", u"software\\hivemend", u"Software\\Hivemend"},
      {__LINE__, u"A\\\\\\B\\", u"a\\b", u"A\\B"},
      {__LINE__, u"\\\\A\\", u"a", u"A"},
      {__LINE__, u"\\", u"", u""},
      {__LINE__, u"\u00C4\\\u0416\\\u0178", u"\u00E4\\\u0436\\\u00FF", u"\u00C4\\\u0416\\\u0178"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    std::u16string folded = u"stale", kept = u"stale";
    KeyPathIdentity(c.path, folded, &kept);
    EXPECT_EQ(Show(folded), Show(c.folded));
    EXPECT_EQ(Show(kept), Show(c.kept));
    std::u16string folded_alone = u"stale";
    KeyPathIdentity(c.path, folded_alone);
    EXPECT_EQ(Show(folded_alone), Show(c.folded));
  }
  EXPECT_EQ(Show(FoldedRegistryName(u"Value\u0100")), Show(u"value\u0101"));
}

}  // namespace
}  // namespace hivemend
