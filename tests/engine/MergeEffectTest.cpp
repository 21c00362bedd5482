// Whether merging a row would change the registry, decided from real loads
// against values set byte by byte.
#include <gtest/gtest.h>

#include <optional>

#include "engine/LoadPipeline.h"
#include "engine/MergeEffect.h"
#include "platform/MemoryRegistry.h"
#include "tests/LoadRecorder.h"
#include "tests/RegistryValues.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::DwordBytes;
using test::StringBytes;

using Live = test::Value;  // of value "v" of HKCU\K

TEST(MergeEffectTest, AWriteChangesNothingOnlyForTheSameTypeAndExactlyTheSameBytes) {
  struct Case {
    int line;
    const char16_t* file_lines;  // under [HKCU\K] unless they name their own key
    std::optional<Live> live;     // value "v" of HKCU\K (the key exists in every case)
    EntryStatus status;
    bool changes;
  };
  const std::vector<std::uint8_t> ab = {0xab};
  const Case cases[] = {
      {__LINE__, u"\"v\"=\"Text\"", Live{kRegSz, StringBytes(u"Text")}, EntryStatus::Same, false},
      // SAME ignores letter case; the merge would write other bytes.
      {__LINE__, u"\"v\"=\"Text\"", Live{kRegSz, StringBytes(u"TEXT")}, EntryStatus::Same, true},
      // The registry's string lacks its NUL, or has bytes after it.
      {__LINE__, u"\"v\"=\"Text\"", Live{kRegSz, StringBytes(u"Text", false)}, EntryStatus::Same, true},
      {__LINE__, u"\"v\"=\"Text\"", Live{kRegSz, StringBytes(std::u16string_view(u"Text\0x", 6))}, EntryStatus::Same, true},
      {__LINE__, u"\"v\"=\"C:\\\\x\"", Live{kRegSz, StringBytes(u"C:\\x")}, EntryStatus::Same, false},
      {__LINE__, u"\"v\"=\"x\"", std::nullopt, EntryStatus::Missing, true},
      {__LINE__, u"\"v\"=dword:0000001f", Live{kRegDword, DwordBytes(31)}, EntryStatus::Same, false},
      {__LINE__, u"\"v\"=dword:0000001f", Live{kRegDword, DwordBytes(32)}, EntryStatus::Changed, true},
      {__LINE__, u"\"v\"=dword:0000001f", Live{kRegBinary, DwordBytes(31)}, EntryStatus::ChangedType, true},
      {__LINE__, u"\"v\"=hex:ab", Live{kRegBinary, ab}, EntryStatus::Same, false},
      {__LINE__, u"\"v\"=hex:ab,cd", Live{kRegBinary, ab}, EntryStatus::Changed, true},
      {__LINE__, u"\"v\"=hex(2):41,00,00,00", Live{kRegSz, StringBytes(u"A")}, EntryStatus::ChangedType, true},
      // A hex form without data writes no bytes.
      {__LINE__, u"\"v\"=hex:", Live{kRegBinary, {}}, EntryStatus::Same, false},
      {__LINE__, u"\"v\"=hex(7):", Live{kRegMultiSz, StringBytes(u"")}, EntryStatus::Changed, true},
      // Deletions change something only when the value exists.
      {__LINE__, u"\"v\"=-", Live{kRegSz, StringBytes(u"x")}, EntryStatus::ChangedType, true},
      {__LINE__, u"\"v\"=-", std::nullopt, EntryStatus::Missing, false},
      {__LINE__, u"[HKCU\\Absent]\r\n\"v\"=-", std::nullopt, EntryStatus::Delete, false},
      // Rows a merge refuses to write.
      {__LINE__, u"[HKEY_NOWHERE\\K]\r\n\"v\"=\"x\"", std::nullopt, EntryStatus::Missing, false},
      {__LINE__, u"\"v\"=bogus", Live{kRegBinary, ab}, EntryStatus::ChangedType, false},
      // A key line without values: its key is created when it does not exist.
      {__LINE__, u"", std::nullopt, EntryStatus::Same, false},
      {__LINE__, u"[HKCU\\K\\New]", std::nullopt, EntryStatus::Missing, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    MemoryRegistry registry;
    RegKey key(registry);
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, u"K", kKeyWrite), kRegOk);
    if (c.live) {
      ASSERT_NO_FATAL_FAILURE(test::SetValue(registry, RegRoot::CurrentUser, u"K", u"v", *c.live));
    }
    test::RecordingReport rows;
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\K]\r\n" + std::u16string(c.file_lines) + u"\r\n";
    ASSERT_EQ(RunLoadText(text, u"f.reg", &registry, rows).outcome, LoadOutcome::Normal);
    // The row that creates HKCU\K stands for its key line when nothing else does.
    if (rows.entries.size() > 1) {
      std::erase_if(rows.entries, [](const ChangeEntry& e) { return e.form() == EntryForm::CreateKey && e.key().path == u"K"; });
    }
    ASSERT_EQ(rows.entries.size(), 1u);
    EXPECT_EQ(StatusText(rows.entries[0].status()), StatusText(c.status));
    EXPECT_EQ(WouldChange(rows.entries[0]), c.changes);
  }
}

}  // namespace
}  // namespace hivemend
