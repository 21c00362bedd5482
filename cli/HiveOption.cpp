#include "cli/HiveOption.h"

#include <algorithm>

#include "platform/Text.h"

namespace hivemend {

std::string ReadHiveMapping(const std::vector<std::u16string>& specs, HiveMapping& mapping) {
  for (const std::u16string& spec : specs) {
    const std::string quoted = "'" + ToUtf8(spec) + "'";
    const size_t equals = spec.find(u'=');
    if (equals == std::u16string::npos || equals + 1 == spec.size()) {
      return "--hive " + quoted + " needs the form ROOT\\PATH=FILE";
    }
    const std::u16string_view key = std::u16string_view(spec).substr(0, equals);
    const size_t slash = key.find(u'\\');
    const std::u16string_view root_name = key.substr(0, slash);
    const std::optional<RegRoot> root = RootFromName(root_name);
    if (!root) return "--hive " + quoted + ": '" + ToUtf8(root_name) + "' is not a root key";
    if (*root == RegRoot::ClassesRoot) {
      return "--hive " + quoted +
             ": HKEY_CLASSES_ROOT is a view of HKLM\\SOFTWARE\\Classes and HKCU\\Software\\Classes; map those";
    }
    if (*root == RegRoot::CurrentConfig) {
      return "--hive " + quoted + ": HKEY_CURRENT_CONFIG is a view of a key of HKLM\\SYSTEM; map HKLM\\SYSTEM";
    }
    const std::u16string_view path = slash == std::u16string_view::npos ? std::u16string_view() : key.substr(slash + 1);
    if (const std::u16string problem = mapping.Add(*root, path, std::u16string_view(spec).substr(equals + 1));
        !problem.empty()) {
      return "--hive " + quoted + ": " + ToUtf8(problem);
    }
  }
  return {};
}

std::vector<std::u16string> RefuseRowsOutsideHives(std::vector<ChangeEntry>& entries, const HiveMapping& mapping) {
  std::vector<std::u16string> places;
  for (ChangeEntry& entry : entries) {
    const EntryKey& key = entry.key();
    // Rows of unknown roots and forms are refused as they are.
    if (!key.root || entry.form() == EntryForm::Unknown) continue;
    if (mapping.Locate(*key.root, key.path).where == HiveMapping::Where::Inside) continue;
    std::u16string place(key.root_name);
    const std::u16string_view first = std::u16string_view(key.path).substr(0, key.path.find(u'\\'));
    if (!first.empty()) place += u"\\" + std::u16string(first);
    if (std::none_of(places.begin(), places.end(), [&](const std::u16string& p) { return EqualsNoCase(p, place); })) {
      places.push_back(place);
    }
    entry = ChangeEntry(KeyRef::Make(key.root_name, key.path, key.source), entry.name(),
                        EntryType(EntryForm::Unknown, kUnknownValueType), entry.line(), EntryStatus::Missing, {},
                        false, LiveState::None, 0, {});
  }
  return places;
}

}  // namespace hivemend
