// Fills a registry from a .REG file, storing each value as a merge stores it:
// strings decoded with their terminating NUL, other data blocks as parsed,
// "=-" lines deleting, lines that cannot be read left out. Key lines create
// their keys. Used to compare against a known state instead of the live
// registry.
#pragma once

#include <string>

#include "platform/File.h"
#include "platform/Registry.h"

namespace hivemend {

// Returns false with a reason when the file cannot be read or parsed.
bool LoadBaseline(const std::u16string& path, Registry& registry, std::u16string* error);
// narrow: as for ParseRegText.
bool LoadBaselineText(std::u16string_view text, Registry& registry, std::u16string* error,
                      AnsiToUtf16Fn narrow = nullptr);

}  // namespace hivemend
