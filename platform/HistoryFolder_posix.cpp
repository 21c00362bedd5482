#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/HistoryFolder.h"
#include "platform/Text.h"

namespace hivemend {

std::u16string HistoryFolder() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local";
    mkdir(base.c_str(), 0755);
    base += "/share";
  } else {
    return {};
  }
  mkdir(base.c_str(), 0755);
  const std::string folder = base + "/Hivemend";
  mkdir(folder.c_str(), 0755);
  return FromUtf8(folder);
}

}  // namespace hivemend
