// The .REG file handler over the in-memory registry: what a set writes, and a
// remove that gives back the user's keys exactly as they were, from the states
// that a user's registry may be in.
#include <gtest/gtest.h>

#include "app/FileHandler.h"
#include "platform/MemoryRegistry.h"
#include "platform/ForwardingRegistry.h"
#include "tests/RegistryDump.h"
#include "tests/TestSupport.h"

namespace hivemend {
namespace {

using test::DumpRegistry;
using test::StringBytes;

constexpr char16_t kProgram[] = u"C:\\Program Files\\Hivemend\\hivemend.exe";
const std::u16string kCommand = u"\"C:\\Program Files\\Hivemend\\hivemend.exe\" \"%1\"";

void Put(Registry& registry, RegRoot root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
         const std::vector<std::uint8_t>& data) {
  RegKey key(registry);
  ASSERT_EQ(key.Create(root, path, kKeyWrite), kRegOk);
  ASSERT_EQ(key.Set(name, type, data.data(), static_cast<std::uint32_t>(data.size())), kRegOk);
}

// A default value as text, or "(none)" / "(no key)".
std::u16string Default(Registry& registry, RegRoot root, std::u16string_view path) {
  RegKey key(registry);
  if (key.Open(root, path, kKeyRead) != kRegOk) return u"(no key)";
  char16_t text[512] = {};
  std::uint32_t type = 0, size = sizeof text - 2;
  if (key.Query(u"", &type, reinterpret_cast<std::uint8_t*>(text), &size) != kRegOk) return u"(none)";
  return text;
}

// What the shell runs for a .reg file: HKCU's classes over the machine's, as
// the merged view gives them, each default value looked up in the user's key
// first.
std::u16string DefaultCommand(Registry& registry) {
  const auto merged = [&](const std::u16string& path) {
    const std::u16string user = Default(registry, RegRoot::CurrentUser, u"Software\\Classes\\" + path);
    return user != u"(no key)" && user != u"(none)" ? user
                                                   : Default(registry, RegRoot::LocalMachine, u"Software\\Classes\\" + path);
  };
  const std::u16string file_class = merged(u".reg");
  std::u16string verb = merged(file_class + u"\\shell");
  if (verb == u"(no key)" || verb == u"(none)") verb = u"open";
  return merged(file_class + u"\\shell\\" + verb + u"\\command");
}

// The machine's classes as Windows ships them.
void MachineAssociation(Registry& registry) {
  Put(registry, RegRoot::LocalMachine, u"Software\\Classes\\.reg", u"", kRegSz, StringBytes(u"regfile"));
  Put(registry, RegRoot::LocalMachine, u"Software\\Classes\\regfile\\shell\\open\\command", u"", kRegExpandSz,
      StringBytes(u"regedit.exe \"%1\""));
  Put(registry, RegRoot::LocalMachine, u"Software\\Classes\\regfile\\shell\\edit\\command", u"", kRegExpandSz,
      StringBytes(u"notepad.exe \"%1\""));
}

TEST(FileHandler, SetThenRemoveGivesTheUserKeysBackExactly) {
  struct Case {
    int line;
    const char* what;
    void (*prepare)(Registry&);
    const char16_t* file_class;  // the class whose default verb is set
  };
  const Case cases[] = {
      {__LINE__, "the machine's association, nothing of the user's", [](Registry& r) { MachineAssociation(r); },
       u"regfile"},
      {__LINE__, "no association anywhere and no user classes key", [](Registry&) {}, u"regfile"},
      {__LINE__, "a default verb of the user's, with a type of its own, and a sibling key",
       [](Registry& r) {
         MachineAssociation(r);
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell", u"", kRegExpandSz, StringBytes(u"edit"));
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\.txt", u"", kRegSz, StringBytes(u"txtfile"));
       },
       u"regfile"},
      {__LINE__, "the user's own class for .reg",
       [](Registry& r) {
         MachineAssociation(r);
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\.REG", u"", kRegSz, StringBytes(u"My.RegFile"));
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\My.RegFile\\shell\\view\\command", u"", kRegSz,
             StringBytes(u"viewer.exe %1"));
       },
       u"My.RegFile"},
      {__LINE__, "a verb of the same name left by an older copy elsewhere, with a value of its own",
       [](Registry& r) {
         MachineAssociation(r);
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell\\Hivemend\\command", u"", kRegSz,
             StringBytes(u"\"D:\\old\\hivemend.exe\" \"%1\""));
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell\\Hivemend", u"Icon", kRegSz,
             StringBytes(u"D:\\old\\hivemend.exe,0"));
       },
       u"regfile"},
      {__LINE__, "an unusable class of the user's: the machine's is taken",
       [](Registry& r) {
         MachineAssociation(r);
         Put(r, RegRoot::CurrentUser, u"Software\\Classes\\.reg", u"", kRegSz, StringBytes(u"a\\b"));
       },
       u"regfile"},
      {__LINE__, "the program's own key holds its layout", [](Registry& r) {
         MachineAssociation(r);
         Put(r, RegRoot::CurrentUser, u"Software\\Hivemend", u"LastFolder", kRegSz, StringBytes(u"C:\\x"));
       },
       u"regfile"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.what << " (case at line " << c.line << ")");
    MemoryRegistry registry;
    c.prepare(registry);
    const auto user = DumpRegistry(registry, RegRoot::CurrentUser, u"");
    const auto machine = DumpRegistry(registry, RegRoot::LocalMachine, u"");

    const HandlerOutcome set = SetFileHandler(registry, kProgram);
    ASSERT_TRUE(set.ok()) << set.status;
    EXPECT_TRUE(set.changed);
    EXPECT_EQ(test::Show(set.file_class), test::Show(c.file_class));
    EXPECT_EQ(test::Show(DefaultCommand(registry)), test::Show(kCommand));
    EXPECT_EQ(Default(registry, RegRoot::CurrentUser, u"Software\\Classes\\" + set.file_class + u"\\shell"),
              kHandlerVerb);
    EXPECT_EQ(DumpRegistry(registry, RegRoot::LocalMachine, u""), machine);
    // The system's verbs are still there beside ours.
    const auto after_set = DumpRegistry(registry, RegRoot::CurrentUser, u"");

    // A second set changes nothing more.
    ASSERT_TRUE(SetFileHandler(registry, kProgram).ok());
    EXPECT_EQ(DumpRegistry(registry, RegRoot::CurrentUser, u""), after_set);

    const HandlerOutcome removed = RemoveFileHandler(registry);
    ASSERT_TRUE(removed.ok()) << removed.status;
    EXPECT_TRUE(removed.changed);
    EXPECT_EQ(DumpRegistry(registry, RegRoot::CurrentUser, u""), user);
    EXPECT_EQ(DumpRegistry(registry, RegRoot::LocalMachine, u""), machine);

    // A second remove finds nothing to do.
    const HandlerOutcome again = RemoveFileHandler(registry);
    EXPECT_TRUE(again.ok());
    EXPECT_FALSE(again.changed);
    EXPECT_EQ(DumpRegistry(registry, RegRoot::CurrentUser, u""), user);
    EXPECT_EQ(registry.OpenHandles(), 0u);
  }
}

TEST(FileHandler, RemoveWithoutSetChangesNothing) {
  MemoryRegistry registry;
  MachineAssociation(registry);
  Put(registry, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell", u"", kRegSz, StringBytes(u"edit"));
  const auto user = DumpRegistry(registry, RegRoot::CurrentUser, u"");
  const HandlerOutcome removed = RemoveFileHandler(registry);
  EXPECT_TRUE(removed.ok());
  EXPECT_FALSE(removed.changed);
  EXPECT_EQ(DumpRegistry(registry, RegRoot::CurrentUser, u""), user);
  EXPECT_EQ(test::Show(RemoveHandlerMessage(removed)),
            "Hivemend is not set as the .REG file handler: nothing was changed.");
}

// A key the set created that someone else has put something in since is
// theirs: the remove takes out only what it wrote.
TEST(FileHandler, RemoveKeepsACreatedKeyThatOthersFilled) {
  MemoryRegistry registry;
  MachineAssociation(registry);
  ASSERT_TRUE(SetFileHandler(registry, kProgram).ok());
  Put(registry, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell\\print\\command", u"", kRegSz,
      StringBytes(u"printer.exe %1"));
  ASSERT_TRUE(RemoveFileHandler(registry).ok());
  MemoryRegistry expected;
  Put(expected, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell\\print\\command", u"", kRegSz,
      StringBytes(u"printer.exe %1"));
  EXPECT_EQ(DumpRegistry(registry, RegRoot::CurrentUser, u""), DumpRegistry(expected, RegRoot::CurrentUser, u""));
}

// A set that fails part way leaves the registry as it found it.
TEST(FileHandler, AFailedSetIsTakenBack) {
  class FailingWrites : public ForwardingRegistry {
   public:
    using ForwardingRegistry::ForwardingRegistry;
    int writes_left = 0;
    long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override {
      if (writes_left-- == 0) return kRegAccessDenied;
      return ForwardingRegistry::SetValue(key, name, type, data, size);
    }
  };
  // Each number of writes that succeed before the one that fails.
  for (int allowed = 0; allowed < 10; ++allowed) {
    SCOPED_TRACE(testing::Message() << allowed << " writes succeed");
    MemoryRegistry memory;
    MachineAssociation(memory);
    Put(memory, RegRoot::CurrentUser, u"Software\\Classes\\regfile\\shell", u"", kRegSz, StringBytes(u"edit"));
    const auto user = DumpRegistry(memory, RegRoot::CurrentUser, u"");
    FailingWrites registry(memory);
    registry.writes_left = allowed;
    const HandlerOutcome set = SetFileHandler(registry, kProgram);
    if (set.ok()) {
      EXPECT_GE(allowed, 7);  // the state's values and class, then the four defaults
      continue;
    }
    EXPECT_EQ(set.status, kRegAccessDenied);
    EXPECT_FALSE(set.changed);
    EXPECT_EQ(DumpRegistry(memory, RegRoot::CurrentUser, u""), user);
    EXPECT_NE(SetHandlerMessage(set).find(u"Nothing was changed."), std::u16string::npos);
  }
}

TEST(FileHandler, AUserChoiceOfAnotherProgramIsReported) {
  struct Case {
    int line;
    const char16_t* prog_id;  // none: no choice
    bool overrides;
  };
  const Case cases[] = {
      {__LINE__, nullptr, false},
      {__LINE__, u"regfile", false},                      // the class the handler is set on
      {__LINE__, u"REGFILE", false},
      {__LINE__, u"Applications\\hivemend.exe", false},   // this program, chosen with "Open with"
      {__LINE__, u"", false},
      {__LINE__, u"Applications\\notepad.exe", true},
      {__LINE__, u"SomeEditor.reg", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    MemoryRegistry registry;
    MachineAssociation(registry);
    if (c.prog_id) Put(registry, RegRoot::CurrentUser, kRegUserChoiceKey, u"ProgId", kRegSz, StringBytes(c.prog_id));
    const HandlerOutcome set = SetFileHandler(registry, kProgram);
    ASSERT_TRUE(set.ok());
    EXPECT_EQ(set.overriding_choice.has_value(), c.overrides);
    const std::u16string message = SetHandlerMessage(set);
    EXPECT_EQ(message.find(u"Default apps") != std::u16string::npos, c.overrides) << test::Show(message);
    if (c.overrides) {
      EXPECT_NE(message.find(c.prog_id), std::u16string::npos);
    }
  }
}

}  // namespace
}  // namespace hivemend
