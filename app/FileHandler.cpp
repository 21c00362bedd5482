#include "app/FileHandler.h"

#include <cstdint>
#include <vector>

#include "platform/SystemText.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

constexpr char16_t kClasses[] = u"Software\\Classes";
constexpr char16_t kDefaultClass[] = u"regfile";
// Values of the state key: the class, the keys that were created (parents
// first) and the keys whose default value was written, each a path below
// HKEY_CURRENT_USER. The values that were there before sit in the subkey
// "Before", each named by its key's path, with its own type and bytes; a key
// that is written but has no value there had no default value.
constexpr char16_t kStateClass[] = u"Class";
constexpr char16_t kStateCreated[] = u"CreatedKeys";
constexpr char16_t kStateWritten[] = u"WrittenValues";
constexpr char16_t kBeforeKey[] = u"Software\\Hivemend\\FileHandler\\Before";

std::vector<std::uint8_t> StringData(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::vector<std::uint8_t> MultiStringData(const std::vector<std::u16string>& items) {
  std::vector<std::uint8_t> bytes;
  for (const std::u16string& item : items) {
    const std::vector<std::uint8_t> one = StringData(item);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

struct ValueData {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
};

// A value of an open key, whole; nothing when it does not exist.
std::optional<ValueData> ReadValue(const RegKey& key, std::u16string_view name, long* status = nullptr) {
  ValueData value;
  const long s = key.ReadWhole(name, &value.type, &value.bytes);
  if (status) *status = s == kRegFileNotFound ? kRegOk : s;
  if (s != kRegOk) return std::nullopt;
  return value;
}

std::optional<ValueData> ReadValueAt(Registry& registry, RegRoot root, std::u16string_view path,
                                     std::u16string_view name, long* status = nullptr) {
  RegKey key(registry);
  const long s = key.Open(root, path, kKeyQueryValue);
  if (s != kRegOk) {
    if (status) *status = s == kRegFileNotFound ? kRegOk : s;
    return std::nullopt;
  }
  return ReadValue(key, name, status);
}

std::u16string TextOf(const ValueData& value) {
  std::u16string text;
  for (size_t i = 0; i + 1 < value.bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(value.bytes[i] | value.bytes[i + 1] << 8));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

std::vector<std::u16string> ItemsOf(const ValueData& value) {
  std::vector<std::u16string> items;
  std::u16string item;
  for (size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
    const auto c = static_cast<char16_t>(value.bytes[i] | value.bytes[i + 1] << 8);
    if (c != u'\0') {
      item.push_back(c);
    } else if (!item.empty()) {
      items.push_back(std::move(item));
      item.clear();
    }
  }
  if (!item.empty()) items.push_back(std::move(item));
  return items;
}

// A class name that can stand below Software\Classes as one key.
bool IsUsableClass(std::u16string_view name) {
  return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(u'\\') == std::u16string_view::npos;
}

// The class that a Software\Classes\.reg key of root names, when usable.
std::optional<std::u16string> ExtensionClass(Registry& registry, RegRoot root) {
  const std::optional<ValueData> value =
      ReadValueAt(registry, root, std::u16string(kClasses) + u"\\.reg", u"");
  if (!value || value->type != kRegSz) return std::nullopt;
  std::u16string name(TrimSpace(TextOf(*value)));
  if (!IsUsableClass(name)) return std::nullopt;
  return name;
}

bool KeyExists(Registry& registry, std::u16string_view path) {
  RegKey key(registry);
  return key.Open(RegRoot::CurrentUser, path, kKeyQueryValue) == kRegOk;
}

// One default value that a set writes.
struct Write {
  std::u16string key;  // below HKEY_CURRENT_USER
  std::vector<std::uint8_t> data;  // REG_SZ
};

long WriteDefault(Registry& registry, const Write& write) {
  RegKey key(registry);
  long s = key.Create(RegRoot::CurrentUser, write.key, kKeySetValue);
  if (s == kRegOk) s = key.Set(u"", kRegSz, write.data.data(), static_cast<std::uint32_t>(write.data.size()));
  return s;
}

// Deletes the key when nothing is in it (a key that someone else has filled
// since it was created is theirs now). A key that is gone already is fine.
long DeleteIfEmpty(Registry& registry, std::u16string_view path) {
  RegKey key(registry);
  long s = key.Open(RegRoot::CurrentUser, path, kKeyRead);
  if (s == kRegFileNotFound) return kRegOk;
  if (s != kRegOk) return s;
  RegKeyInfo info;
  s = key.Info(&info);
  key.reset();
  if (s != kRegOk) return s;
  if (info.subkeys != 0 || info.values != 0) return kRegOk;
  s = registry.DeleteTree(RegRoot::CurrentUser, path);
  return s == kRegFileNotFound ? kRegOk : s;
}

// The state key or one of the keys above it.
bool HoldsState(std::u16string_view path) {
  const std::u16string_view state = kHandlerStateKey;
  return path.size() <= state.size() && EqualsNoCase(state.substr(0, path.size()), path) &&
         (path.size() == state.size() || state[path.size()] == u'\\');
}

long DeleteState(Registry& registry) {
  const long s = registry.DeleteTree(RegRoot::CurrentUser, kHandlerStateKey);
  return s == kRegFileNotFound ? kRegOk : s;
}

std::u16string FileNameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// Puts back the default values of the keys written (the last first) and
// deletes the keys created (the deepest first), then the state; the keys that
// hold the state go after it. Stops at the first failure, which it returns;
// the state stays for another try.
long Restore(Registry& registry, const std::vector<std::u16string>& written,
             const std::vector<std::u16string>& created) {
  long status = kRegOk;
  RegKey before(registry);
  const long before_status = before.Open(RegRoot::CurrentUser, kBeforeKey, kKeyRead);
  if (before_status != kRegOk && before_status != kRegFileNotFound) return before_status;
  for (auto it = written.rbegin(); status == kRegOk && it != written.rend(); ++it) {
    std::optional<ValueData> old;
    if (before.valid()) old = ReadValue(before, *it, &status);
    if (status != kRegOk) break;
    RegKey key(registry);
    status = key.Open(RegRoot::CurrentUser, *it, kKeySetValue);
    if (status == kRegFileNotFound) {  // gone: nothing of ours is left in it
      status = kRegOk;
      continue;
    }
    if (status == kRegOk && old)
      status = key.Set(u"", old->type, old->bytes.data(), static_cast<std::uint32_t>(old->bytes.size()));
    else if (status == kRegOk && (status = key.Delete(u"")) == kRegFileNotFound)
      status = kRegOk;
  }
  before.reset();
  for (auto it = created.rbegin(); status == kRegOk && it != created.rend(); ++it)
    if (!HoldsState(*it)) status = DeleteIfEmpty(registry, *it);
  if (status == kRegOk) status = DeleteState(registry);
  for (auto it = created.rbegin(); status == kRegOk && it != created.rend(); ++it)
    if (HoldsState(*it)) status = DeleteIfEmpty(registry, *it);
  return status;
}

}  // namespace

std::u16string RegFileClass(Registry& registry) {
  if (auto name = ExtensionClass(registry, RegRoot::CurrentUser)) return *name;
  if (auto name = ExtensionClass(registry, RegRoot::LocalMachine)) return *name;
  return kDefaultClass;
}

bool FileHandlerIsSet(Registry& registry) { return KeyExists(registry, kHandlerStateKey); }

HandlerOutcome SetFileHandler(Registry& registry, std::u16string_view program_path) {
  HandlerOutcome outcome;
  if (program_path.empty()) {
    outcome.status = kRegInvalidParameter;
    return outcome;
  }
  // Set already: what was there before comes back first, so that it is what
  // is kept.
  if (KeyExists(registry, kHandlerStateKey)) {
    outcome = RemoveFileHandler(registry);
    if (!outcome.ok()) return outcome;
    outcome = {};
  }

  // .reg itself is written only when it would not lead to the class: when
  // neither the user nor the machine names one, or the user's value is
  // unusable and would hide the machine's.
  const std::optional<std::u16string> user_class = ExtensionClass(registry, RegRoot::CurrentUser);
  const bool machine_class = ExtensionClass(registry, RegRoot::LocalMachine).has_value();
  const bool user_value =
      ReadValueAt(registry, RegRoot::CurrentUser, std::u16string(kClasses) + u"\\.reg", u"").has_value();
  const bool write_extension = !user_class && (!machine_class || user_value);
  outcome.file_class = RegFileClass(registry);
  const std::u16string class_key = std::u16string(kClasses) + u"\\" + outcome.file_class;
  const std::u16string shell_key = class_key + u"\\shell";
  const std::u16string verb_key = shell_key + u"\\" + kHandlerVerb;
  const std::u16string command_key = verb_key + u"\\command";

  std::vector<Write> writes;
  if (write_extension) writes.push_back({std::u16string(kClasses) + u"\\.reg", StringData(outcome.file_class)});
  writes.push_back({verb_key, StringData(kHandlerVerbText)});
  writes.push_back({command_key, StringData(u"\"" + std::u16string(program_path) + u"\" \"%1\"")});
  writes.push_back({shell_key, StringData(kHandlerVerb)});

  // The keys that do not exist yet, parents first, the state's own among them.
  std::vector<std::u16string> created, written;
  std::vector<std::u16string> keys{kBeforeKey};
  for (const Write& write : writes) {
    written.push_back(write.key);
    keys.push_back(write.key);
  }
  for (const std::u16string& key : keys) {
    for (size_t end = 0; end != std::u16string::npos;) {
      end = key.find(u'\\', end + 1);
      std::u16string path = key.substr(0, end);
      bool listed = false;
      for (const std::u16string& c : created) listed = listed || EqualsNoCase(c, path);
      if (!listed && !KeyExists(registry, path)) created.push_back(std::move(path));
    }
  }

  // The state before any change, so that a set that stops half way can be
  // taken back: the keys, then the values about to be replaced, then the
  // class, which completes it.
  RegKey state(registry);
  const std::vector<std::uint8_t> created_data = MultiStringData(created);
  const std::vector<std::uint8_t> written_data = MultiStringData(written);
  const std::vector<std::uint8_t> class_data = StringData(outcome.file_class);
  outcome.status = state.Create(RegRoot::CurrentUser, kHandlerStateKey, kKeyWrite);
  if (outcome.ok())
    outcome.status =
        state.Set(kStateCreated, kRegMultiSz, created_data.data(), static_cast<std::uint32_t>(created_data.size()));
  if (outcome.ok())
    outcome.status =
        state.Set(kStateWritten, kRegMultiSz, written_data.data(), static_cast<std::uint32_t>(written_data.size()));
  RegKey before(registry);
  if (outcome.ok()) outcome.status = before.Create(RegRoot::CurrentUser, kBeforeKey, kKeyWrite);
  for (const Write& write : writes) {
    if (!outcome.ok()) break;
    long s = kRegOk;
    const std::optional<ValueData> old = ReadValueAt(registry, RegRoot::CurrentUser, write.key, u"", &s);
    if (s == kRegOk && old)
      s = before.Set(write.key, old->type, old->bytes.data(), static_cast<std::uint32_t>(old->bytes.size()));
    outcome.status = s;
  }
  before.reset();
  if (outcome.ok())
    outcome.status = state.Set(kStateClass, kRegSz, class_data.data(), static_cast<std::uint32_t>(class_data.size()));
  state.reset();

  size_t attempted = 0;  // values whose writing was tried
  for (const Write& write : writes) {
    if (!outcome.ok()) break;
    ++attempted;
    outcome.status = WriteDefault(registry, write);
  }
  if (!outcome.ok()) {
    // Back to what was there; the first failure is the one reported. What
    // cannot be put back stays recorded for a remove.
    outcome.changed =
        Restore(registry, std::vector<std::u16string>(written.begin(), written.begin() + attempted), created) !=
        kRegOk;
    return outcome;
  }
  outcome.changed = true;
  outcome.overriding_choice = OverridingUserChoice(registry, outcome.file_class, program_path);
  return outcome;
}

HandlerOutcome RemoveFileHandler(Registry& registry) {
  HandlerOutcome outcome;
  RegKey state(registry);
  const long opened = state.Open(RegRoot::CurrentUser, kHandlerStateKey, kKeyRead);
  if (opened == kRegFileNotFound) return outcome;  // not set: nothing to do
  if (opened != kRegOk) {
    outcome.status = opened;
    return outcome;
  }
  const std::optional<ValueData> file_class = ReadValue(state, kStateClass);
  const std::optional<ValueData> created = ReadValue(state, kStateCreated);
  const std::optional<ValueData> written = ReadValue(state, kStateWritten);
  state.reset();
  // The class is written last, just before the first value: without it no
  // value was written yet.
  outcome.changed = file_class.has_value();
  if (file_class) outcome.file_class = TextOf(*file_class);
  outcome.status = Restore(registry, file_class && written ? ItemsOf(*written) : std::vector<std::u16string>{},
                           created ? ItemsOf(*created) : std::vector<std::u16string>{});
  return outcome;
}

std::optional<std::u16string> OverridingUserChoice(Registry& registry, std::u16string_view file_class,
                                                   std::u16string_view program_path) {
  const std::optional<ValueData> choice = ReadValueAt(registry, RegRoot::CurrentUser, kRegUserChoiceKey, u"ProgId");
  if (!choice || (choice->type != kRegSz && choice->type != kRegExpandSz)) return std::nullopt;
  const std::u16string prog_id(TrimSpace(TextOf(*choice)));
  if (prog_id.empty() || EqualsNoCase(prog_id, file_class) ||
      EqualsNoCase(prog_id, u"Applications\\" + FileNameOf(program_path)))
    return std::nullopt;
  return prog_id;
}

std::u16string SetHandlerMessage(const HandlerOutcome& outcome) {
  if (!outcome.ok())
    return u"Hivemend could not be set as the .REG file handler: " + SystemErrorText(outcome.status) +
           (outcome.changed ? u"\r\n\r\nPart of it is in place: \"Remove Hivemend as .REG file handler\" in the "
                              u"Settings menu takes it back."
                            : u"\r\n\r\nNothing was changed.");
  constexpr std::u16string_view kRemoveHint =
      u"\"Remove Hivemend as .REG file handler\" in the Settings menu puts back what opened .REG files before.";
  if (!outcome.overriding_choice)
    return u"Opening a .REG file (a double-click, or Open) now shows it in Hivemend, for your user account. "
           u"Its context menu still offers Merge and Edit.\r\n\r\n" +
           std::u16string(kRemoveHint);
  std::u16string text =
      u"Hivemend is now set to open .REG files for your user account (a double-click, or Open); their context "
      u"menu still offers Merge and Edit.\r\n\r\nBut Windows keeps a choice of yours for .REG files (\"" +
      *outcome.overriding_choice +
      u"\") that comes first: until you change it, .REG files still open with that program.\r\n\r\n" +
      std::u16string(kRemoveHint) + u"\r\n\r\nOpen the Default apps settings to change your choice?";
  return text;
}

std::u16string RemoveHandlerMessage(const HandlerOutcome& outcome) {
  if (!outcome.ok())
    return u"Hivemend could not be removed as the .REG file handler: " + SystemErrorText(outcome.status);
  if (!outcome.changed) return u"Hivemend is not set as the .REG file handler: nothing was changed.";
  return u"Hivemend no longer opens .REG files: what opened them before is back.";
}

}  // namespace hivemend
