#include "merge/HistoryFile.h"

#include <vector>

#include "platform/File.h"
#include "platform/Text.h"

namespace hivemend {

// The system's temporary-name call creates a placeholder that reserves a
// number; the file's own name then carries the whole prefix and the extension.
// Only the placeholder is reserved, not the final name: the number may belong
// to an older file of the same prefix, so names already taken are skipped
// while their placeholders are kept, which makes the next call pick another
// number.
std::u16string NewHistoryFileName(const std::u16string& folder, std::u16string_view prefix,
                                  std::u16string_view extension) {
  constexpr int kAttempts = 200;
  constexpr std::u16string_view kPlaceholderExtension = u".tmp";
  std::vector<std::u16string> kept;
  std::u16string name;
  for (int attempt = 0; attempt < kAttempts && name.empty(); ++attempt) {
    const std::u16string placeholder = CreateUniqueFile(folder, prefix);
    if (placeholder.empty()) break;
    const size_t slash = placeholder.find_last_of(u"\\/");
    const size_t start = slash == std::u16string::npos ? 0 : slash + 1;
    const std::u16string_view file(std::u16string_view(placeholder).substr(start));
    const size_t stem = std::min<size_t>(prefix.size(), 3);
    if (file.size() <= stem + kPlaceholderExtension.size() ||
        !EqualsNoCase(file.substr(file.size() - kPlaceholderExtension.size()), kPlaceholderExtension)) {
      RemoveFile(placeholder);
      break;
    }
    const std::u16string_view number = file.substr(stem, file.size() - stem - kPlaceholderExtension.size());
    std::u16string candidate = placeholder.substr(0, start);
    candidate += prefix;
    candidate += number;
    candidate += extension;
    if (PathExists(candidate)) {
      kept.push_back(placeholder);
    } else {
      RemoveFile(placeholder);
      name = std::move(candidate);
    }
  }
  for (const std::u16string& placeholder : kept) RemoveFile(placeholder);
  return name;
}

}  // namespace hivemend
