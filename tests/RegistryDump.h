// A registry's keys and values as sorted lines, for comparing whole states:
// one line per key (its path exactly as the registry spells it) and one per
// value (its name folded, as the registry tells names apart, its type and
// bytes). Used by the round-trip test and its fuzz target.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/RegistryName.h"
#include "platform/RegistryTree.h"
#include "platform/Text.h"

namespace hivemend::test {

// Every key at and below path of root; REG_NONE values are left out when
// without_none (the undo file cannot carry them, and says so).
inline std::vector<std::string> DumpRegistry(Registry& registry, RegRoot root, std::u16string_view path,
                                             bool without_none = false) {
  std::vector<RegTreeKey> keys;
  std::vector<std::string> lines;
  const long status = ReadTree(registry, root, path, &keys, nullptr);
  if (status != kRegOk) {
    lines.push_back("unreadable: " + std::to_string(status));
    return lines;
  }
  const std::string root_text = std::to_string(static_cast<int>(root)) + ":";
  for (const RegTreeKey& key : keys) {
    lines.push_back(root_text + ToUtf8(key.path));
    for (const RegTreeValue& value : key.values) {
      if (without_none && value.type == kRegNone) continue;
      std::string line = root_text + ToUtf8(key.path) + " | " + ToUtf8(FoldedRegistryName(value.name)) + " = " +
                         std::to_string(value.type) + ":";
      for (std::uint8_t b : value.data) line += ToUtf8(Hex(b, false)) + ",";
      lines.push_back(std::move(line));
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Every key of every root.
inline std::vector<std::string> DumpAllRoots(Registry& registry) {
  std::vector<std::string> all;
  for (RegRoot root : {RegRoot::ClassesRoot, RegRoot::CurrentUser, RegRoot::LocalMachine, RegRoot::Users,
                       RegRoot::CurrentConfig}) {
    const std::vector<std::string> lines = DumpRegistry(registry, root, u"");
    all.insert(all.end(), lines.begin(), lines.end());
  }
  return all;
}

}  // namespace hivemend::test
