#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "merge/HistoryFile.h"
#include "platform/Text.h"

namespace hivemend::history_file {

// Like the Windows call: a number from the clock, counted up past names that
// exist, at most 65535 of them.
std::u16string CreatePlaceholder(const std::u16string& folder, std::u16string_view prefix) {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch();
  unsigned number = static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(ticks).count());
  const std::u16string stem = folder + u"/" + std::u16string(prefix.substr(0, 3));
  for (int i = 0; i < 0xFFFF; ++i, ++number) {
    if ((number & 0xFFFF) == 0) ++number;
    const std::u16string path = stem + Hex(number & 0xFFFF, false) + u".tmp";
    const int fd = open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      return path;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

bool Exists(const std::u16string& path) {
  struct stat st {};
  return lstat(ToUtf8(path).c_str(), &st) == 0;
}

void Delete(const std::u16string& path) { unlink(ToUtf8(path).c_str()); }

}  // namespace hivemend::history_file
