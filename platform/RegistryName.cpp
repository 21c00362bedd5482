#include "platform/RegistryName.h"

#include "platform/Registry.h"
#include "platform/Text.h"

namespace hivemend {

void FoldRegistryNameInto(std::u16string_view name, std::u16string& out) {
  out.assign(name);
  for (char16_t& c : out) c = FoldRegistryChar(c);
}

std::u16string FoldedRegistryName(std::u16string_view name) {
  std::u16string out;
  FoldRegistryNameInto(name, out);
  return out;
}

void KeyPathIdentity(std::u16string_view path, std::u16string& folded, std::u16string* kept) {
  // The usual path needs no cleaning: fold it in one pass while looking.
  bool clean = path.empty() || (path.front() != u'\\' && path.back() != u'\\');
  if (clean && kept == nullptr) {
    folded.resize(path.size());
    for (size_t i = 0; i < path.size() && clean; ++i) {
      const char16_t c = path[i];
      if (c == u'\\' && path[i + 1] == u'\\') clean = false;  // i + 1 exists: no trailing backslash
      folded[i] = FoldRegistryChar(c);
    }
    if (clean) return;
  }
  std::u16string cleaned;
  cleaned.reserve(path.size());
  for (char16_t c : path) {
    if (c == u'\\' && (cleaned.empty() || cleaned.back() == u'\\')) continue;
    cleaned += c;
  }
  if (!cleaned.empty() && cleaned.back() == u'\\') cleaned.pop_back();
  FoldRegistryNameInto(cleaned, folded);
  if (kept) *kept = std::move(cleaned);
}

long CheckedKeyPathIdentity(std::u16string_view path, std::u16string& folded, std::u16string* kept) {
  if (!path.empty() && path.front() == u'\\') return kRegBadPathname;
  size_t part = 0;
  for (char16_t c : path) {
    part = c == u'\\' ? 0 : part + 1;
    if (part > kMaxKeyNameLength) return kRegInvalidParameter;
  }
  KeyPathIdentity(path, folded, kept);
  return kRegOk;
}

std::uint32_t EffectiveKeyAccess(std::uint32_t access) {
  if (access & kGenericRead) access |= kKeyRead;
  if (access & kGenericWrite) access |= kKeyWrite;
  if (access & 0x10000000u) access |= kKeyRead | kKeyWrite;  // GENERIC_ALL
  return access;
}

}  // namespace hivemend
