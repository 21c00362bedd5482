#include "engine/Compare.h"

#include <cstring>
#include <vector>

#include "platform/Text.h"

namespace hivemend {

void CompareCounts::Count(std::u16string_view status) {
  if (status.empty()) return;
  switch (FoldAscii(status.front())) {
    case u's': ++matched; break;
    case u'c': ++differ; break;
    case u'm': case u'n': ++do_not_exist; break;
    default: break;
  }
}

std::u16string CompareCounts::Text() const {
  return FormatMessageText(u"%u matched, %u differ, %u do not exist",
                           {Decimal(matched), Decimal(differ), Decimal(do_not_exist)});
}

namespace {

bool IsByteComparedType(std::uint32_t type) {
  return type == kRegBinary || type == kRegExpandSz || type == kRegMultiSz || type == kRegQword;
}

// file_text: the file's string decoded (REG_SZ lines; empty for the others).
std::u16string_view Status(OpenKeyCache& keys, const ParsedValue& value, std::u16string_view file_text,
                           std::u16string& live_data) {
  const std::u16string_view absent = value.type == DELETE_VALUE_TYPE ? kStatusDelete : kStatusMissing;
  // An unknown root name selects no root: nothing under it is compared.
  if (!value.root) return absent;
  const RegKey* open_key = keys.Find(*value.root, value.key_path);
  if (open_key == nullptr) return absent;
  const RegKey& key = *open_key;

  // Names are written with escapes; the registry knows them decoded.
  const std::u16string name = RegistryValueName(value.name);
  // Usually one query does: the data is read into a buffer kept between
  // values, and only a value larger than that is asked for again. Six spare
  // bytes after the data are zero: two end a string that the registry holds
  // without its NUL, four more let a short dword be read as zero-extended.
  constexpr std::uint32_t kSpareBytes = 6;
  thread_local std::vector<char16_t> storage(2048);  // char16_t, so the bytes may be read as text
  auto room = [&] { return static_cast<std::uint32_t>(storage.size() * sizeof(char16_t)) - kSpareBytes; };
  std::uint32_t live_type = 0;
  std::uint32_t size = room();
  long result = key.Query(name, &live_type, reinterpret_cast<std::uint8_t*>(storage.data()), &size);
  if (result == kRegMoreData) {
    const std::uint32_t live_size = size;
    storage.resize((static_cast<size_t>(live_size) + kSpareBytes + 1) / 2);
    size = room();
    result = key.Query(name, &live_type, reinterpret_cast<std::uint8_t*>(storage.data()), &size);
    if (result != kRegOk) {
      // The value changed or went between the two queries: judged by its size.
      return value.byte_count == 0 && live_size != 0 && value.type != kRegSz ? kStatusChanged : kStatusSame;
    }
  } else if (result != kRegOk) {
    return kStatusMissing;
  }
  auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
  std::memset(buffer + size, 0, kSpareBytes);

  std::u16string_view status = kStatusSame;
  if (value.byte_count == 0 && size != 0 && value.type != kRegSz) status = kStatusChanged;

  // A line of unknown form is never compared as a value of another type.
  if (value.type != UNKNOWN_VALUE_TYPE) {
    if (live_type == kRegSz) {
      // The live string up to its first NUL.
      std::u16string_view live(storage.data(), (static_cast<size_t>(size) + 1) / 2);
      live = live.substr(0, live.find(u'\0'));
      if (!EqualsNoCase(file_text, live)) {
        status = kStatusChanged;
        live_data.assign(live);
      }
    } else if (live_type == kRegDword) {
      const std::uint32_t live = static_cast<std::uint32_t>(buffer[0]) | (buffer[1] << 8) |
                                 (buffer[2] << 16) | (static_cast<std::uint32_t>(buffer[3]) << 24);
      if (live != value.dword) {
        status = kStatusChanged;
        live_data = u"0x" + Hex(live, false);
      }
    } else if (live_type == value.type && IsByteComparedType(live_type)) {
      if (value.bytes.size() != size ||
          (size != 0 && std::memcmp(value.bytes.data(), buffer, size) != 0)) {
        status = kStatusChanged;
      }
    }
  }
  if (value.type != live_type) status = kStatusChangedType;
  return status;
}

}  // namespace

const RegKey* OpenKeyCache::Find(RegRoot root, std::u16string_view path) {
  if (registry_ == nullptr) return nullptr;
  // memcmp: the character traits compare char16_t texts one unit at a time.
  const bool same = known_ && root == root_ && path.size() == path_.size() &&
                    std::memcmp(path.data(), path_.data(), path.size() * sizeof(char16_t)) == 0;
  if (!same) {
    known_ = true;
    root_ = root;
    path_.assign(path);
    if (key_.Open(root, path, kKeyRead) != kRegOk) key_.reset();
  }
  return key_.valid() ? &key_ : nullptr;
}

void OpenKeyCache::Clear() {
  key_.reset();
  known_ = false;
}

CompareResult CompareWithRegistry(OpenKeyCache& keys, const ParsedValue& value, CompareCounts& counts) {
  CompareResult result;
  if (value.type == kRegSz) result.file_text = DecodeRegEscapes(value.string_data);
  result.status = Status(keys, value, result.file_text, result.live_data);
  counts.Count(result.status);
  return result;
}

CompareResult CompareWithRegistry(Registry* registry, const ParsedValue& value, CompareCounts& counts) {
  OpenKeyCache keys(registry);
  return CompareWithRegistry(keys, value, counts);
}

ChangeEntry MakeChangeEntry(ParsedValue& value, CompareResult&& result) {
  ChangeEntry entry;
  entry.hive.assign(value.root_name);
  entry.status.assign(result.status);
  entry.key.assign(value.key_path);
  entry.value_name = value.name.empty() ? std::u16string(u"@") : std::u16string(value.name);
  entry.type_name.assign(TypeName(value.type));
  if (value.type == kRegSz) {
    entry.file_data = std::move(result.file_text);
  } else if (value.type == kRegDword) {
    entry.file_data = u"0x" + Hex(value.dword, true);
  } else {
    entry.file_data.assign(kNotPresentable);
  }
  entry.live_data = result.status == kStatusSame ? entry.file_data : std::move(result.live_data);
  if (value.has_block) entry.data = std::move(value.bytes);
  return entry;
}

}  // namespace hivemend
