// The console's --hive ROOT\PATH=FILE: offline hive files mounted in place of
// the registry, and the rows that lie in none of them.
#pragma once

#include <string>
#include <vector>

#include "engine/ChangeEntry.h"
#include "platform/HiveMapping.h"

namespace hivemend {

// Reads each "ROOT\PATH=FILE" (the first "=" ends the key; ROOT is one of the
// root names of .REG files) into mapping. Returns the problem with the first
// one that cannot be mapped, or an empty text. HKEY_CLASSES_ROOT and
// HKEY_CURRENT_CONFIG are views of other keys, not hives: they are refused
// with the keys to map instead.
std::string ReadHiveMapping(const std::vector<std::u16string>& specs, HiveMapping& mapping);

// Makes every row whose key lies outside every mapped hive a row of the error
// type: listed, never compared or written (the merge refuses it and logs
// it). Returns, each once and in the order first met, the places that no
// mapping covers: a root and the first name below it as the file spells them.
std::vector<std::u16string> RefuseRowsOutsideHives(std::vector<ChangeEntry>& entries, const HiveMapping& mapping);

}  // namespace hivemend
