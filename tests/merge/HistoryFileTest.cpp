// The files of the history folder, and the list of past merges read back
// from them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <tuple>

#include "merge/HistoryFile.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "MergeTestSupport.h"

namespace hivemend::test {
namespace {

std::string FileName(const std::u16string& path) { return std::filesystem::path(path).filename().string(); }

TEST(HistoryFile, UnicodeTextFilesStartWithTheMarkAndAreNeverReplaced) {
  TempDir dir;
  const std::u16string path = (dir.path() / "t.reg").u16string();
  ASSERT_TRUE(WriteUnicodeTextFile(path, u"A\u00e9\r\n"));
  EXPECT_EQ(ReadBytes(dir.path() / "t.reg"), std::string("\xFF\xFE" "A\0\xE9\0\r\0\n\0", 10));
  EXPECT_FALSE(WriteUnicodeTextFile(path, u"other"));
  EXPECT_EQ(Show(ReadUtf16File(dir.path() / "t.reg")), Show(u"A\u00e9\r\n"));
}

// What the start of an undo file says, including files that are not ours.
TEST(HistoryFile, CommentsOfAnUndoFileAreReadBack) {
  const std::u16string header = u"Windows Registry Editor Version 5.00\r\n\r\n";
  const std::u16string ours = header + UndoComments({u"C:\\a.reg", u"D:\\b.reg"}, u"2026-12-08 23:15:00", 1234) +
                              u"[HKEY_CURRENT_USER\\Soft]\r\n\"v\"=-\r\n";
  struct Case {
    int line;
    std::string bytes;
    bool readable;
    std::string time;
    std::vector<std::string> files;
    std::optional<std::uint64_t> rows;
  };
  const std::string bom = "\xFF\xFE";
  const auto utf16 = [&](std::u16string_view text) { return Utf16FileBytes(text); };
  const Case cases[] = {
      {__LINE__, utf16(ours), true, "2026-12-08 23:15:00", {"C:\\a.reg", "D:\\b.reg"}, 1234},
      // Written before rows were counted.
      {__LINE__, utf16(header + u"; Hivemend undo file, saved before the merge of 2025-01-02 03:04:05 changed anything.\r\n"
                                u"; Merged file: x.reg\r\n\r\n[HKCU\\A]\r\n"),
       true, "2025-01-02 03:04:05", {"x.reg"}, std::nullopt},
      // Cut inside the comments: the whole lines count.
      {__LINE__, utf16(ours).substr(0, utf16(ours).find(std::string("D\0:\0", 4))), true, "2026-12-08 23:15:00",
       {"C:\\a.reg"}, std::nullopt},
      // Not ours: no comments, another header, no byte-order mark, nothing.
      {__LINE__, utf16(header + u"[HKCU\\A]\r\n"), false, "", {}, std::nullopt},
      {__LINE__, utf16(u"REGEDIT4\r\n\r\n; Hivemend undo file, saved before the merge of x changed anything.\r\n"),
       false, "", {}, std::nullopt},
      {__LINE__, "Windows Registry Editor Version 5.00\r\n", false, "", {}, std::nullopt},
      {__LINE__, "", false, "", {}, std::nullopt},
      {__LINE__, bom + "\x00", false, "", {}, std::nullopt},
  };
  for (const Case& c : cases) {
    const MergeRecord r = ReadUndoComments(c.bytes);
    EXPECT_EQ(r.readable, c.readable) << "case at line " << c.line;
    if (!c.readable) continue;
    EXPECT_EQ(Show(r.time), c.time) << "case at line " << c.line;
    std::vector<std::string> files;
    for (const auto& f : r.merged_files) files.push_back(Show(f));
    EXPECT_EQ(files, c.files) << "case at line " << c.line;
    EXPECT_EQ(r.rows, c.rows) << "case at line " << c.line;
  }
}

// The folder's merges, newest first, each with its error log when one was
// saved; a damaged undo file is listed as such; 10,000 files are read (their
// speed: hivemend-bench history).
TEST(HistoryFile, TheFoldersMergesNewestFirst) {
  TempDir dir;
  EXPECT_TRUE(ReadHistory(dir.u16()).empty());
  EXPECT_EQ(Show(NewestUndoFile(dir.u16())), "");
  const auto write = [&](const std::string& name, std::string_view bytes) {
    std::ofstream(dir.path() / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  const std::u16string header = u"Windows Registry Editor Version 5.00\r\n\r\n";
  // Under Wine every file costs about 6 ms to write; the count there only
  // checks the order, the speed is the native run's.
#ifdef _WIN32
  constexpr int kFiles = 1000;
#else
  constexpr int kFiles = 10000;
#endif
  std::vector<std::string> names;
  const auto start = std::filesystem::file_time_type::clock::now();
  for (int i = 0; i < kFiles; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "hivemend_undo_20261208-%06d.reg", i);
    names.push_back(name);
    write(name, Utf16FileBytes(header + UndoComments({u"f.reg"}, u"t" + Decimal(i), i)));
    std::filesystem::last_write_time(dir.path() / name, start + std::chrono::seconds(i));
  }
  // A merge's undo file written in the same tick as the newest is made newer.
  std::filesystem::last_write_time(dir.path() / names.back(), start + std::chrono::seconds(2 * kFiles));
  write("hivemend_error_log_20261208-" + std::string(names[kFiles - 2]).substr(23, 6) + ".log", Utf16FileBytes(u"errors"));
  write("hivemend_undo_20261208-damaged.reg", "\x01\x02");
  KeepNewest(dir.File("hivemend_undo_20261208-damaged.reg"));
  write("other.reg", Utf16FileBytes(header));

  const std::vector<MergeRecord> history = ReadHistory(dir.u16());
  ASSERT_EQ(history.size(), static_cast<size_t>(kFiles) + 1);
  EXPECT_FALSE(history[0].readable);
  EXPECT_EQ(FileName(history[0].undo_path), "hivemend_undo_20261208-damaged.reg");
  EXPECT_EQ(Show(NewestUndoFile(dir.u16())), Show(history[0].undo_path));
  for (size_t i = 1; i < history.size(); ++i) {
    const int n = kFiles - static_cast<int>(i);
    ASSERT_EQ(FileName(history[i].undo_path), names[static_cast<size_t>(n)]);
    ASSERT_TRUE(history[i].readable);
    ASSERT_EQ(Show(history[i].time), "t" + std::to_string(n));
    ASSERT_EQ(history[i].rows, static_cast<std::uint64_t>(n));
    ASSERT_EQ(history[i].error_log_path.empty(), n != kFiles - 2) << n;
  }
  EXPECT_EQ(FileName(history[2].error_log_path), "hivemend_error_log_20261208-" + names[kFiles - 2].substr(23, 6) + ".log");
  // The window's list: the same files in the same order, from the listing alone.
  const std::vector<std::u16string> listed = UndoFilesNewestFirst(dir.u16());
  ASSERT_EQ(listed.size(), history.size());
  for (size_t i = 0; i < listed.size(); ++i) ASSERT_EQ(Show(listed[i]), Show(history[i].undo_path)) << i;
  // One undo file read alone (Undo last merge) says what the list says of it.
  for (size_t i = 0; i < 3; ++i) {
    const MergeRecord one = ReadMergeRecord(history[i].undo_path);
    EXPECT_TRUE(std::tie(one.readable, one.time, one.rows, one.merged_files) ==
                std::tie(history[i].readable, history[i].time, history[i].rows, history[i].merged_files)) << i;
    EXPECT_EQ(Show(one.error_log_path), Show(history[i].error_log_path));
  }
}

}  // namespace
}  // namespace hivemend::test
