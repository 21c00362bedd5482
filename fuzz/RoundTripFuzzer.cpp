// Fuzzes the merge's promise: any bytes are taken as a .REG file and loaded
// against a fixed registry that holds every type, odd sizes, empty keys and a
// deep subtree; every row is merged, then every row of the undo text; the
// registry must be exactly what it was, keys included, and merging the undo
// text must not fail. The first load and merge run as the console runs them
// (keys kept open from the load for the merge), and the load must list the
// same rows as a load that asks for every value one by one.
//
// With HIVEMEND_FUZZ_HIVES=1 in the environment the registry is two hive
// files (HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, made empty in a folder of
// their own), written and opened anew after the fill and after each merge;
// what was written must come back from the files.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "engine/EntryStore.h"
#include "engine/LoadPipeline.h"
#include "engine/RegText.h"
#include "merge/Merge.h"
#include "platform/HiveRegistry.h"
#include "platform/KeyKeepingRegistry.h"
#include "platform/MemoryRegistry.h"
#include "tests/LoadRecorder.h"
#include "tests/EmptyHive.h"
#include "tests/RegistryDump.h"

namespace {

using hivemend::RegRoot;
using hivemend::test::DumpAllRoots;
using hivemend::test::NoValueListing;
using hivemend::test::RecordingReport;
using hivemend::test::RowTexts;

void Put(hivemend::Registry& registry, RegRoot root, std::u16string_view path, std::u16string_view name,
         std::uint32_t type, std::initializer_list<std::uint8_t> bytes) {
  hivemend::RegKey key(registry);
  if (key.Create(root, path, hivemend::kKeyWrite) != hivemend::kRegOk) std::abort();
  const std::vector<std::uint8_t> data(bytes);
  if (!name.empty() && name[0] == u'-') return;  // the key alone
  if (key.Set(name, type, data.data(), static_cast<std::uint32_t>(data.size())) != hivemend::kRegOk) std::abort();
}

void Fill(hivemend::Registry& r, bool ascii_keys) {
  constexpr RegRoot cu = RegRoot::CurrentUser;
  constexpr RegRoot lm = RegRoot::LocalMachine;
  Put(r, cu, u"A", u"", hivemend::kRegSz, {'d', 0, 0, 0});
  Put(r, cu, u"A", u"s", hivemend::kRegSz, {'x', 0, 'y', 0, 0, 0});
  Put(r, cu, u"A", u"nul", hivemend::kRegSz, {'x', 0, 0, 0, 'y', 0, 0, 0});
  Put(r, cu, u"A", u"odd", hivemend::kRegSz, {'x', 0, 'y'});
  Put(r, cu, u"A", u"bare", hivemend::kRegSz, {'x', 0});
  Put(r, cu, u"A", u"d", hivemend::kRegDword, {1, 2, 3, 4});
  Put(r, cu, u"A", u"d2", hivemend::kRegDword, {1, 2});
  Put(r, cu, u"A", u"q", hivemend::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8});
  Put(r, cu, u"A", u"q3", hivemend::kRegQword, {1, 2, 3});
  Put(r, cu, u"A\\B", u"b", hivemend::kRegBinary, {});
  Put(r, cu, u"A\\B", u"e", hivemend::kRegExpandSz, {'%', 0, 0, 0});
  Put(r, cu, u"A\\B", u"m", hivemend::kRegMultiSz, {'a', 0, 0, 0, 0, 0});
  Put(r, cu, u"A\\B\\C\\D", u"big", hivemend::kRegDwordBigEndian, {0, 0, 0, 1});
  Put(r, cu, u"A\\B\\C\\D", u"link", hivemend::kRegLink, {'l', 0});
  Put(r, cu, u"A\\B\\C\\D", u"res", 8, {1});
  Put(r, cu, u"A\\B\\C\\D", u"odd-type", 0x12345, {9});
  Put(r, cu, u"A\\B\\C\\D", u"marker", 1010103, {7});
  Put(r, cu, u"A\\Empty", u"-", 0, {});
  Put(r, cu, u"A\\Empty\\Deeper", u"-", 0, {});
  Put(r, cu, ascii_keys ? u"Cr_me" : u"Cr\u00e8me", u"\u00c9t\u00e9", hivemend::kRegSz, {'e', 0, 0, 0});
  Put(r, lm, u"Software\\X", u"v", hivemend::kRegBinary, {0xff});
  Put(r, lm, u"Software\\X\\Y", u"-", 0, {});
}

void Fail(const char* what, const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::fprintf(stderr, "%s\n--- before\n", what);
  for (const auto& l : a) std::fprintf(stderr, "%s\n", l.c_str());
  std::fprintf(stderr, "--- after\n");
  for (const auto& l : b) std::fprintf(stderr, "%s\n", l.c_str());
  std::abort();
}

// The registry of one input: in memory, or hive files written and read back.
class Target {
 public:
  Target() : hives_(std::getenv("HIVEMEND_FUZZ_HIVES") != nullptr) {
    if (!hives_) return;
    static const std::string folder = [] {
      char name[] = "/tmp/hivemend-fuzz-XXXXXX";
      if (mkdtemp(name) == nullptr) std::abort();
      return std::string(name);
    }();
    for (const char* file : {"/NTUSER.DAT", "/SOFTWARE"}) {
      const std::string bytes = hivemend::test::EmptyHiveBytes();
      std::FILE* f = std::fopen((folder + file).c_str(), "wb");
      if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
      std::fclose(f);
    }
    mapping_.Add(RegRoot::CurrentUser, u"", hivemend::FromUtf8(folder + "/NTUSER.DAT"));
    mapping_.Add(RegRoot::LocalMachine, u"", hivemend::FromUtf8(folder + "/SOFTWARE"));
    Reopen();
  }
  bool hives() const { return hives_; }
  hivemend::Registry& get() { return hives_ ? static_cast<hivemend::Registry&>(*hive_) : memory_; }
  // Hive files: writes them and opens them anew; what was there must come back.
  void Reopen() {
    if (!hives_) return;
    std::vector<std::string> written;
    if (hive_ != nullptr) {
      written = DumpAllRoots(*hive_);
      std::u16string problem;
      if (!hive_->Commit(&problem)) Fail("the hive files could not be written", {hivemend::ToUtf8(problem)}, {});
      hive_.reset();
    }
    std::u16string problem;
    hive_ = hivemend::OpenHiveRegistry(mapping_, true, &problem);
    if (hive_ == nullptr) Fail("the hive files could not be opened", {hivemend::ToUtf8(problem)}, {});
    if (!written.empty() && DumpAllRoots(*hive_) != written) Fail("the hive files lost what was written", written, DumpAllRoots(*hive_));
  }
  size_t OpenHandles() const { return hives_ ? 0 : memory_.OpenHandles(); }

 private:
  bool hives_;
  hivemend::MemoryRegistry memory_;
  hivemend::HiveMapping mapping_;
  std::unique_ptr<hivemend::HiveRegistry> hive_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string text = hivemend::DecodeRegText(bytes, hivemend::Windows1252ToUtf16);
  Target target;
  Fill(target.get(), target.hives());
  target.Reopen();
  const std::vector<std::string> before = DumpAllRoots(target.get());

  hivemend::EntryStore asked;
  {
    NoValueListing by_value(target.get());
    RecordingReport asked_report(asked);
    hivemend::RunLoadText(text, u"fuzz.reg", &by_value, asked_report);
  }
  hivemend::EntryStore store;
  hivemend::UndoText undo;
  std::u16string errors;
  {
    hivemend::KeyKeepingRegistry keeping(target.get());
    RecordingReport report(store);
    hivemend::RunLoadText(text, u"fuzz.reg", &keeping, report, hivemend::kKeyRead | hivemend::kKeyWrite);
    if (RowTexts(store) != RowTexts(asked)) Fail("keys read whole listed other rows", RowTexts(asked), RowTexts(store));
    hivemend::MergeCheckedRows(store, keeping, undo, errors);
  }
  target.Reopen();

  hivemend::EntryStore undo_store;
  RecordingReport undo_report(undo_store);
  hivemend::RunLoadText(undo.text(), u"undo.reg", &target.get(), undo_report);
  hivemend::UndoText ignored;
  std::u16string undo_errors;
  hivemend::MergeCheckedRows(undo_store, target.get(), ignored, undo_errors);
  target.Reopen();
  if (!undo_errors.empty() || !undo_store.empty()) {
    std::fprintf(stderr, "merging the undo text failed:\n%s\nundo text:\n%s\n", hivemend::ToUtf8(undo_errors).c_str(),
                 hivemend::ToUtf8(undo.text()).c_str());
    std::abort();
  }
  const std::vector<std::string> after = DumpAllRoots(target.get());
  if (before != after) {
    std::fprintf(stderr, "undo text:\n%s\nerrors:\n%s\n", hivemend::ToUtf8(undo.text()).c_str(),
                 hivemend::ToUtf8(errors).c_str());
    Fail("the undo did not restore the registry", before, after);
  }
  if (target.OpenHandles() != 0) std::abort();
  return 0;
}
