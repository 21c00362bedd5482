// The merge's promise as a property: for a random registry (every type, odd
// sizes, empty keys, deep subtrees) and a random .REG file over overlapping
// keys and names (values of every form, deletions of values and keys, repeated
// values, root names in both spellings), merging every row and then every row
// of the undo text leaves the registry exactly as it was: every key, value,
// type and byte. The one value the undo text cannot carry, REG_NONE, must be
// named in the error log when the merge touched it.
//
// Runs against the in-memory registry (1,000 cases) everywhere, natively
// against hive files (200 cases; every merge is written to the files, which
// are opened anew), and on Windows against the real registry (50 cases) under
// HKCU\Software\HivemendTest\<id>.
// Reproduce a failure with HIVEMEND_ROUND_TRIP_SEED=<seed printed>.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "engine/LoadPipeline.h"
#include "merge/Merge.h"
#include "MergeTestSupport.h"
#include "platform/HiveRegistry.h"
#include "tests/EmptyHive.h"
#include "tests/LoadRecorder.h"
#include "tests/RegistryDump.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace hivemend::test {
namespace {

struct CaseSetup {
  Registry* registry;
  std::vector<std::u16string> roots;  // spellings the file uses (all known roots)
  std::u16string key_base;            // keys live below it; empty: at the roots
  bool real;                          // the platform's registry
  // Hive files: key names are ASCII (the format's exception), only these
  // roots are compared, and after each merge the files are written and the
  // registry is opened anew from them (returned).
  std::function<Registry*()> reopen = nullptr;
  std::vector<RegRoot> dumped_roots = {};
};

class Generator {
 public:
  Generator(std::uint64_t seed, const CaseSetup& setup) : rng_(seed), setup_(setup) {}

  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  bool Chance(int percent) { return Below(100) < static_cast<size_t>(percent); }

  std::u16string FlipCase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
      const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == 0xE8 || c == 0xC8 ||
                          c == 0xE9 || c == 0xC9 || c == 0x3B1 || c == 0x391;
      if (letter && Chance(30)) c ^= 0x20;
    }
    return out;
  }
  std::u16string Text(size_t max_length, bool line_breaks = false) {
    static constexpr std::u16string_view kChars = u"abcXYZ019 \\\"@=[];,%\u00e9\t-";
    std::u16string out;
    const size_t length = Below(max_length + 1);
    for (size_t i = 0; i < length; ++i) {
      const size_t pick = Below(kChars.size() + 2);
      if (pick < kChars.size()) out += kChars[pick];
      else if (pick == kChars.size()) out += u"\U0001F600";
      else out += line_breaks ? u"\r\n" : u"\\\\";
    }
    return out;
  }
  std::vector<std::uint8_t> Bytes(size_t max_length) {
    std::vector<std::uint8_t> out(Below(max_length + 1));
    for (auto& b : out) b = static_cast<std::uint8_t>(Below(256));
    return out;
  }
  // UTF-16 text with its NUL, as the registry's string types hold it.
  std::vector<std::uint8_t> StringData() { return StringBytes(Text(8)); }

  std::u16string RootSpelling() { return setup_.roots[Below(setup_.roots.size())]; }
  std::u16string KeyPath() {
    static constexpr std::u16string_view kKeys[] = {u"A", u"A\\Sub", u"b", u"B\\\\Deep\\er\\", u"Cr\u00e8me x", u""};
    std::u16string_view key = kKeys[Below(setup_.key_base.empty() ? 6 : 5)];
    if (setup_.reopen && key.starts_with(u"Cr")) key = u"Cr_me x";
    if (setup_.key_base.empty()) return FlipCase(key);
    return key.empty() ? setup_.key_base : setup_.key_base + u"\\" + FlipCase(key);
  }
  // A registry name; empty is the default value.
  std::u16string Name() {
    static constexpr std::u16string_view kNames[] = {u"v",  u"Value", u"a\\b", u"q\"x", u"@x", u"sp ace",
                                                     u"\u00e9\u03b1", u"",   u"=eq",  u"[b]", u"t\tab", u"\\\"\\x"};
    return FlipCase(kNames[Below(std::size(kNames))]);
  }

  struct Initial {
    RegRoot root;
    std::u16string key;
    std::u16string name;
    Value value;
  };
  // Every type, sizes odd and even; no value is named "@" or holds a line
  // break in its name (the file could not name it).
  Initial InitialValue() {
    Initial v{*RootFromName(RootSpelling()), KeyPath(), Name(), {}};
    switch (Below(12)) {
      case 0: case 1: v.value = {kRegSz, StringData()}; break;
      case 2: v.value = {kRegSz, Bytes(7)}; break;  // without NUL, odd, embedded NULs
      case 3: v.value = {kRegExpandSz, Chance(50) ? StringData() : Bytes(10)}; break;
      case 4: v.value = {kRegBinary, Bytes(12)}; break;
      case 5: v.value = {kRegDword, Chance(70) ? DwordBytes(static_cast<std::uint32_t>(rng_())) : Bytes(6)}; break;
      case 6: v.value = {kRegMultiSz, Chance(50) ? StringData() : Bytes(10)}; break;
      case 7: v.value = {kRegQword, Bytes(10)}; break;
      case 8: v.value = {kRegNone, Bytes(4)}; break;
      case 9: v.value = {static_cast<std::uint32_t>(5 + Below(6)), Bytes(5)}; break;
      case 10: v.value = {Chance(50) ? DELETE_VALUE_TYPE : static_cast<std::uint32_t>(rng_()), Bytes(3)}; break;
      default: v.value = {kRegSz, StringBytes(u"line\r\nbreak" + Text(3))}; break;
    }
    return v;
  }

  std::u16string ByteList(const std::vector<std::uint8_t>& bytes) {
    std::u16string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i) out += u',';
      if (i && Chance(10)) out += u"\\\r\n  ";  // a continuation line
      std::u16string hex = Hex(bytes[i], Chance(50));
      if (hex.size() == 1 && Chance(50)) hex = u"0" + hex;
      out += hex;
    }
    return out;
  }

  // A .REG text of key lines, key deletions and value lines of every form.
  std::u16string File() {
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n";
    const size_t keys = 1 + Below(7);
    for (size_t k = 0; k < keys; ++k) {
      const std::u16string root = Chance(5) ? std::u16string(u"HKEY_NOWHERE") : RootSpelling();
      const std::u16string path = KeyPath();
      if (Chance(20) && !path.empty()) {
        text += u"[-" + root + u"\\" + path + u"]\r\n";
        if (Chance(30)) text += u"\"after\"=\"not written\"\r\n";
        if (Chance(50)) continue;
      }
      text += u"[" + root + u"\\" + path + u"]\r\n";
      const size_t values = Below(5);
      for (size_t v = 0; v < values; ++v) {
        const std::u16string name = Name();
        if (name.empty()) text += Chance(50) ? u"@=" : u"\"@\"=";
        else text += u"\"" + EscapeRegText(name) + u"\"=";
        switch (Below(13)) {
          case 0: case 1: text += u"\"" + EscapeRegText(Text(10)) + u"\""; break;
          case 2: {
            text += Chance(50) ? u"dword:" : u"DWORD:";
            const auto value = static_cast<std::uint32_t>(rng_());
            text += Hex(value, Chance(50));
            break;
          }
          case 3: text += u"hex:" + ByteList(Bytes(8)); break;
          case 4: text += u"hex(0):" + ByteList(Bytes(8)); break;
          case 5: text += u"hex(2):" + ByteList(Bytes(8)); break;
          case 6: text += u"hex(7):" + ByteList(Bytes(8)); break;
          case 7: text += u"hex(b):" + ByteList(Bytes(8)); break;
          case 8: text += u"hex(" + Hex(static_cast<std::uint32_t>(Chance(50) ? 1 + Below(11) : rng_()), Chance(50)) +
                          u"):" + ByteList(Bytes(8));
                  break;
          case 9: case 10: text += u"-"; break;
          default: text += u"qword:1"; break;  // a form the program does not write
        }
        text += u"\r\n";
      }
      text += u"\r\n";
    }
    return text;
  }

 private:
  std::mt19937_64 rng_;
  const CaseSetup& setup_;
};

void LoadAllChecked(std::u16string_view text, Registry& registry, EntryStore& store) {
  RecordingReport report(store);
  const LoadSummary summary = RunLoadText(text, u"case.reg", &registry, report);
  ASSERT_EQ(summary.outcome, LoadOutcome::Normal) << Show(report.Problems());
  ASSERT_EQ(Show(report.Problems()), "");
}

std::string Lines(const std::vector<std::string>& lines);

std::vector<std::string> Dump(const CaseSetup& setup, Registry& registry) {
  if (!setup.key_base.empty()) return DumpRegistry(registry, RegRoot::CurrentUser, setup.key_base);
  if (setup.dumped_roots.empty()) return DumpAllRoots(registry);
  std::vector<std::string> all;
  for (RegRoot root : setup.dumped_roots) {
    const std::vector<std::string> lines = DumpRegistry(registry, root, u"");
    all.insert(all.end(), lines.begin(), lines.end());
  }
  return all;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

// One case: returns with a test failure when the property does not hold.
void RunCase(std::uint64_t seed, const CaseSetup& setup) {
  Generator gen(seed, setup);
  Registry* current = setup.registry;
  auto reopen = [&] {
    if (!setup.reopen) return;
    const std::vector<std::string> written = Dump(setup, *current);
    current = setup.reopen();
    ASSERT_NE(current, nullptr);
    ASSERT_EQ(Lines(Dump(setup, *current)), Lines(written)) << "the hive files lost what was written";
  };
  std::vector<Generator::Initial> none_values;
  const size_t initial = 3 + gen.Below(15);
  for (size_t i = 0; i < initial; ++i) {
    const Generator::Initial v = gen.InitialValue();
    ASSERT_NO_FATAL_FAILURE(SetValue(*current, v.root, v.key, v.name, v.value));
    if (v.value.type == kRegNone) none_values.push_back(v);
  }
  for (size_t i = gen.Below(3); i > 0; --i) {  // empty keys
    RegKey key(*current);
    const std::u16string path = gen.KeyPath();
    ASSERT_EQ(key.Create(*RootFromName(gen.RootSpelling()), path.empty() ? u"Empty" : path + u"\\Empty", kKeyWrite),
              kRegOk);
  }
  ASSERT_NO_FATAL_FAILURE(reopen());
  const std::u16string file = gen.File();
  SCOPED_TRACE("file:\n" + Show(file));
  const std::vector<std::string> before = Dump(setup, *current);

  EntryStore store;
  ASSERT_NO_FATAL_FAILURE(LoadAllChecked(file, *current, store));
  {
    // Keys read whole list the same rows as keys asked value by value.
    NoValueListing by_value(*current);
    EntryStore asked;
    ASSERT_NO_FATAL_FAILURE(LoadAllChecked(file, by_value, asked));
    ASSERT_EQ(RowTexts(store), RowTexts(asked));
  }
  UndoText undo;
  std::u16string errors;
  MergeCheckedRows(store, *current, undo, errors);
  ASSERT_NO_FATAL_FAILURE(reopen());
  SCOPED_TRACE("undo text:\n" + Show(undo.text()) + "\nerror log:\n" + Show(errors));
  SCOPED_TRACE("after the merge:\n" + Lines(Dump(setup, *current)));
  // What stays is what was refused: rows of unknown roots and forms.
  store.ForEach([&](EntryStore::Row& row) {
    EXPECT_TRUE(!row.entry.root() || row.entry.form() == EntryForm::Unknown) << Show(row.entry.name());
  });

  EntryStore undo_store;
  ASSERT_NO_FATAL_FAILURE(LoadAllChecked(undo.text(), *current, undo_store));
  UndoText ignored;
  std::u16string undo_errors;
  MergeCheckedRows(undo_store, *current, ignored, undo_errors);
  ASSERT_NO_FATAL_FAILURE(reopen());
  EXPECT_EQ(Show(undo_errors), "") << "merging the undo text failed";
  EXPECT_TRUE(undo_store.empty());

  std::vector<std::string> after = Dump(setup, *current);
  if (!none_values.empty() && errors.find(u"REG_NONE") != std::u16string::npos) {
    // A REG_NONE value the merge touched may be gone or changed: compare
    // without them; the error log names them.
    std::set<std::string> none_prefixes;
    for (const auto& l : before) {
      if (const size_t at = l.find(" = 0:"); at != std::string::npos) none_prefixes.insert(l.substr(0, at + 3));
    }
    auto without_none = [&](const std::vector<std::string>& lines) {
      std::vector<std::string> out;
      for (const auto& l : lines) {
        const size_t at = l.find(" = ");
        if (at == std::string::npos || !none_prefixes.contains(l.substr(0, at + 3))) out.push_back(l);
      }
      return out;
    };
    EXPECT_EQ(Lines(without_none(after)), Lines(without_none(before))) << "not restored";
    return;
  }
  EXPECT_EQ(Lines(after), Lines(before)) << "not restored";
}

std::uint64_t BaseSeed() {
  if (const char* text = std::getenv("HIVEMEND_ROUND_TRIP_SEED")) return std::strtoull(text, nullptr, 0);
  return std::random_device{}() ^ (std::uint64_t{std::random_device{}()} << 32);
}

void RunCases(int count, const std::function<CaseSetup(int)>& setup_for, const std::function<void(int)>& cleanup) {
  const std::uint64_t base = BaseSeed();
  for (int i = 0; i < count; ++i) {
    const std::uint64_t seed = base + static_cast<std::uint64_t>(i);
    SCOPED_TRACE(testing::Message() << "case " << i << ", reproduce with HIVEMEND_ROUND_TRIP_SEED=" << seed);
    const CaseSetup setup = setup_for(i);
    RunCase(seed, setup);
    cleanup(i);
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "first failing seed: " << seed;
      return;
    }
  }
}

TEST(RoundTrip, InMemoryRegistry) {
  std::unique_ptr<MemoryRegistry> memory;
  RunCases(
      1000,
      [&](int) {
        memory = std::make_unique<MemoryRegistry>();
        return CaseSetup{memory.get(),
                     {u"HKEY_CLASSES_ROOT", u"HKCR", u"HKEY_LOCAL_MACHINE", u"hklm", u"HKEY_CURRENT_USER", u"HKCU",
                      u"HKEY_CURRENT_CONFIG", u"HKCC", u"Hkey_Users", u"HKU"},
                     u"",
                     false};
      },
      [&](int) { EXPECT_EQ(memory->OpenHandles(), 0u); });
}

#ifndef _WIN32
TEST(RoundTrip, HiveFiles) {
  std::unique_ptr<TempDir> folder;
  std::unique_ptr<HiveRegistry> hives;
  auto open = [&]() -> Registry* {
    if (hives != nullptr) {
      std::u16string problem;
      EXPECT_TRUE(hives->Commit(&problem)) << Show(problem);
      hives.reset();  // its locks go before the files are opened again
    }
    HiveMapping mapping;
    EXPECT_EQ(Show(mapping.Add(RegRoot::CurrentUser, u"", folder->File("NTUSER.DAT"))), "");
    EXPECT_EQ(Show(mapping.Add(RegRoot::LocalMachine, u"", folder->File("SOFTWARE"))), "");
    std::u16string problem;
    hives = OpenHiveRegistry(std::move(mapping), true, &problem);
    EXPECT_NE(hives, nullptr) << Show(problem);
    return hives.get();
  };
  RunCases(
      200,
      [&](int) {
        hives.reset();
        folder = std::make_unique<TempDir>();
        WriteBytes(folder->File("NTUSER.DAT"), EmptyHiveBytes());
        WriteBytes(folder->File("SOFTWARE"), EmptyHiveBytes());
        return CaseSetup{open(),
                         {u"HKEY_CURRENT_USER", u"HKCU", u"hkcu", u"HKEY_LOCAL_MACHINE", u"hklm"},
                         u"",
                         false,
                         open,
                         {RegRoot::CurrentUser, RegRoot::LocalMachine}};
      },
      [&](int) { hives.reset(); });
}
#endif

#ifdef _WIN32
TEST(RoundTrip, WindowsRegistry) {
  const std::u16string parent = u"Software\\HivemendTest";
  const std::u16string own = parent + u"\\RoundTrip-" + Decimal(GetCurrentProcessId());
  auto remove = [&](const std::u16string& path) {
    const LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(path.c_str()));
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
  };
  remove(own);
  RunCases(
      50,
      [&](int i) {
        const std::u16string base = own + u"\\" + Decimal(static_cast<unsigned>(i));
        remove(base);
        return CaseSetup{SystemRegistry(),
                     {u"HKEY_CURRENT_USER", u"HKCU", u"hkcu", u"Hkey_Current_User"},
                     base,
                     true};
      },
      [&](int i) { remove(own + u"\\" + Decimal(static_cast<unsigned>(i))); });
  remove(own);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(parent.c_str()), 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    DWORD subkeys = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    if (subkeys == 0) RegDeleteKeyW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(parent.c_str()));
  }
}
#endif

}  // namespace
}  // namespace hivemend::test
