// Names of new files in the history folder, and the files themselves.
#include <gtest/gtest.h>

#include <set>

#include "merge/HistoryFile.h"
#include "platform/File.h"
#include "MergeTestSupport.h"

namespace hivemend::test {
namespace {

std::string FileName(const std::u16string& path) { return std::filesystem::path(path).filename().string(); }

// prefix, one to four hexadecimal digits, extension.
bool IsHistoryName(const std::string& name, const std::string& prefix, const std::string& extension) {
  if (!name.starts_with(prefix) || !name.ends_with(extension)) return false;
  const size_t digits = name.size() - prefix.size() - extension.size();
  if (name.size() < prefix.size() + extension.size() || digits < 1 || digits > 4) return false;
  return name.find_first_not_of("0123456789abcdefABCDEF", prefix.size()) == name.size() - extension.size();
}

TEST(HistoryFile, NamesCarryPrefixNumberAndExtensionAndLeaveNothingBehind) {
  TempDir dir;
  const std::u16string undo = NewHistoryFileName(dir.u16(), u"hivemend_undo_", u".reg");
  const std::u16string log = NewHistoryFileName(dir.u16(), u"hivemend_error_log_", u".log");
  EXPECT_TRUE(IsHistoryName(FileName(undo), "hivemend_undo_", ".reg")) << Show(undo);
  EXPECT_TRUE(IsHistoryName(FileName(log), "hivemend_error_log_", ".log")) << Show(log);
  EXPECT_EQ(std::filesystem::path(undo).parent_path(), dir.path());
  EXPECT_TRUE(dir.Files().empty()) << "the placeholder files were removed, and the names are not yet taken";
}

TEST(HistoryFile, NamesAlreadyTakenAreSkipped) {
  TempDir dir;
  std::set<std::u16string> names;
  for (int i = 0; i < 200; ++i) {
    const std::u16string name = NewHistoryFileName(dir.u16(), u"hivemend_undo_", u".reg");
    ASSERT_FALSE(name.empty());
    ASSERT_TRUE(WriteUnicodeTextFile(name, u"x")) << "taken: " << Show(name);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 200u);
  EXPECT_EQ(dir.Files().size(), 200u) << "no placeholder stays behind";
}

TEST(HistoryFile, AFolderThatDoesNotExistGivesNoName) {
  TempDir dir;
  EXPECT_EQ(Show(NewHistoryFileName((dir.path() / "absent").u16string(), u"hivemend_undo_", u".reg")), "");
}

TEST(HistoryFile, UnicodeTextFilesStartWithTheMarkAndAreNeverReplaced) {
  TempDir dir;
  const std::u16string path = (dir.path() / "t.reg").u16string();
  ASSERT_TRUE(WriteUnicodeTextFile(path, u"A\u00e9\r\n"));
  EXPECT_EQ(ReadBytes(dir.path() / "t.reg"), std::string("\xFF\xFE" "A\0\xE9\0\r\0\n\0", 10));
  EXPECT_FALSE(WriteUnicodeTextFile(path, u"other"));
  EXPECT_EQ(Show(ReadUtf16File(dir.path() / "t.reg")), Show(u"A\u00e9\r\n"));
}

}  // namespace
}  // namespace hivemend::test
