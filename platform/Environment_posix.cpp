#include <cstdlib>

#include "platform/Environment.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

bool IsNameUnit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
}

const char* Lookup(std::u16string_view name) {
  if (name.empty()) return nullptr;
  return std::getenv(ToUtf8(name).c_str());
}

}  // namespace

std::u16string ExpandEnvironmentText(std::u16string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c == u'%') {
      const size_t end = text.find(u'%', i + 1);
      if (end != std::u16string_view::npos) {
        if (const char* value = Lookup(text.substr(i + 1, end - i - 1))) {
          out += FromUtf8(value);
          i = end + 1;
          continue;
        }
      }
    } else if (c == u'$') {
      const bool braces = i + 1 < text.size() && text[i + 1] == u'{';
      const size_t start = i + (braces ? 2 : 1);
      size_t end = start;
      while (end < text.size() && IsNameUnit(text[end])) ++end;
      const bool closed = !braces || (end < text.size() && text[end] == u'}');
      if (end > start && closed) {
        if (const char* value = Lookup(text.substr(start, end - start))) {
          out += FromUtf8(value);
          i = end + (braces ? 1 : 0);
          continue;
        }
      }
    }
    out += c;
    ++i;
  }
  return out;
}

std::u16string TempFolder() {
  const char* folder = std::getenv("TMPDIR");
  std::u16string path = FromUtf8(folder && *folder ? folder : "/tmp");
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

}  // namespace hivemend
