#include "engine/Compare.h"

#include <cstring>
#include <vector>

#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {

void CompareCounts::Count(EntryStatus status) {
  switch (status) {
    case EntryStatus::Same: ++matched; break;
    case EntryStatus::Changed: case EntryStatus::ChangedType: ++differ; break;
    case EntryStatus::Missing: ++do_not_exist; break;
    case EntryStatus::Delete: break;
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

// The value's bytes as the row keeps them: a string's decoded text with its
// NUL, the block of the other forms.
std::span<const std::uint8_t> FileBytes(const ParsedValue& value, const std::u16string& file_text) {
  if (value.form == EntryForm::Unknown) return {};
  if (value.form == EntryForm::String) {
    return {reinterpret_cast<const std::uint8_t*>(file_text.c_str()), (file_text.size() + 1) * sizeof(char16_t)};
  }
  if (!value.has_block) return {};
  return {value.bytes.data(), value.bytes.size()};
}

// A key deletion: "DELETE" when the key does not exist, else "CHANGED TYPE"
// with what its subtree holds.
void CompareKeyDeletion(OpenKeyCache& keys, const ParsedValue& value, CompareResult& result) {
  result.status = EntryStatus::Delete;
  if (!value.root || keys.Find(*value.root, value.key_path) == nullptr) {
    if (value.root && keys.status() == kRegFileNotFound) result.live = LiveState::Absent;
    return;
  }
  result.status = EntryStatus::ChangedType;
  SubtreeCounts counts;
  if (ReadTree(*keys.registry(), *value.root, value.key_path, nullptr, &counts) != kRegOk) return;
  thread_local std::vector<std::uint8_t> bytes;
  bytes = SubtreeCountBytes(counts);
  result.live = LiveState::OwnBytes;
  result.live_bytes = bytes;
}

// A key that the file creates empty: "SAME" when it exists, else "MISSING".
void CompareKeyCreation(OpenKeyCache& keys, const ParsedValue& value, CompareResult& result) {
  result.status = EntryStatus::Missing;
  if (!value.root) return;
  if (keys.Find(*value.root, value.key_path) != nullptr) {
    result.status = EntryStatus::Same;
  } else if (keys.status() == kRegFileNotFound) {
    result.live = LiveState::Absent;
  }
}

// Sets result.status and, when the value was read, what the registry holds.
void Compare(OpenKeyCache& keys, const ParsedValue& value, CompareResult& result) {
  if (value.form == EntryForm::DeleteKey) return CompareKeyDeletion(keys, value, result);
  if (value.form == EntryForm::CreateKey) return CompareKeyCreation(keys, value, result);
  const EntryStatus absent = value.form == EntryForm::DeleteValue ? EntryStatus::Delete : EntryStatus::Missing;
  result.status = absent;
  // An unknown root name selects no root: nothing under it is compared.
  if (!value.root) return;
  if (keys.Find(*value.root, value.key_path) == nullptr) {
    if (keys.status() == kRegFileNotFound) result.live = LiveState::Absent;
    return;
  }

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
  long status = keys.Query(name, &live_type, reinterpret_cast<std::uint8_t*>(storage.data()), &size);
  if (status == kRegMoreData) {
    const std::uint32_t live_size = size;
    storage.resize((static_cast<size_t>(live_size) + kSpareBytes + 1) / 2);
    size = room();
    status = keys.Query(name, &live_type, reinterpret_cast<std::uint8_t*>(storage.data()), &size);
    if (status != kRegOk) {
      // The value changed or went between the two queries: judged by its size.
      result.status = value.byte_count == 0 && live_size != 0 && value.type != kRegSz ? EntryStatus::Changed
                                                                                      : EntryStatus::Same;
      return;
    }
  } else if (status != kRegOk) {
    result.status = EntryStatus::Missing;
    if (status == kRegFileNotFound) result.live = LiveState::Absent;
    return;
  }
  auto* buffer = reinterpret_cast<std::uint8_t*>(storage.data());
  std::memset(buffer + size, 0, kSpareBytes);

  const std::span<const std::uint8_t> file_bytes = FileBytes(value, result.file_text);
  result.live_type = live_type;
  result.live_bytes = {buffer, size};
  result.live = size == file_bytes.size() && (size == 0 || std::memcmp(buffer, file_bytes.data(), size) == 0)
                    ? LiveState::SameBytes
                    : LiveState::OwnBytes;

  EntryStatus compared = EntryStatus::Same;
  if (value.byte_count == 0 && size != 0 && value.type != kRegSz) compared = EntryStatus::Changed;

  if (value.form == EntryForm::NumberedHex) {
    // hex(N): the exact type and bytes.
    result.status = live_type != value.type ? EntryStatus::ChangedType
                    : result.live == LiveState::SameBytes ? EntryStatus::Same
                                                          : EntryStatus::Changed;
    return;
  }
  // A refused line is never compared as a value of another type.
  if (value.form != EntryForm::Unknown) {
    if (live_type == kRegSz) {
      // The live string up to its first NUL.
      std::u16string_view live(storage.data(), (static_cast<size_t>(size) + 1) / 2);
      live = live.substr(0, live.find(u'\0'));
      if (!EqualsNoCase(result.file_text, live)) compared = EntryStatus::Changed;
    } else if (live_type == kRegDword) {
      const std::uint32_t live = static_cast<std::uint32_t>(buffer[0]) | (buffer[1] << 8) |
                                 (buffer[2] << 16) | (static_cast<std::uint32_t>(buffer[3]) << 24);
      if (live != value.dword) compared = EntryStatus::Changed;
    } else if (live_type == value.type && IsByteComparedType(live_type)) {
      if (value.bytes.size() != size ||
          (size != 0 && std::memcmp(value.bytes.data(), buffer, size) != 0)) {
        compared = EntryStatus::Changed;
      }
    }
  }
  if (value.type != live_type || value.form == EntryForm::Unknown || value.form == EntryForm::DeleteValue) {
    compared = EntryStatus::ChangedType;
  }
  result.status = compared;
}

}  // namespace

namespace {

// memcmp: the character traits compare char16_t texts one unit at a time.
bool SameUnits(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

// Whether path names a key below parent. A-Z compare without regard to case,
// as the registry compares them; a run of backslashes separates like one.
bool IsBelow(std::u16string_view path, std::u16string_view parent) {
  if (parent.empty() || path.size() <= parent.size()) return false;
  if (!EqualsNoCase(path.substr(0, parent.size()), parent)) return false;
  return parent.back() == u'\\' || path[parent.size()] == u'\\';
}

}  // namespace

const RegKey* OpenKeyCache::Find(RegRoot root, std::u16string_view path) {
  if (registry_ == nullptr) return nullptr;
  if (known_ && root == root_ && SameUnits(path, path_)) return key_.valid() ? &key_ : nullptr;
  known_ = true;
  root_ = root;
  path_.assign(path);
  key_.reset();
  whole_ = false;
  if (absent_root_ == root && IsBelow(path, absent_path_)) {
    status_ = kRegFileNotFound;
    return nullptr;
  }
  long status = key_.Open(root, path, access_);
  if (status == kRegAccessDenied && access_ != kKeyRead) status = key_.Open(root, path, kKeyRead);
  status_ = status;
  if (status == kRegOk) {
    if (expected_rows_ >= 2) ReadWhole();
    return &key_;
  }
  key_.reset();
  if (status == kRegFileNotFound) {
    absent_root_ = root;
    absent_path_.assign(path);
  }
  return nullptr;
}

void OpenKeyCache::ReadWhole() {
  RegKeyInfo info;
  if (key_.Info(&info) != kRegOk || info.values >= expected_rows_) return;
  // The entries and their buffers are kept from key to key.
  if (values_.size() < info.values) values_.resize(info.values);
  std::u16string& name = folded_;
  for (std::uint32_t i = 0; i < info.values; ++i) {
    KeptValue& kept = values_[i];
    // A key that changes while it is read is asked value by value instead.
    if (key_.EnumValue(i, &name, &kept.type, &kept.bytes) != kRegOk) return;
    FoldRegistryNameInto(name, kept.folded_name);
  }
  kept_count_ = info.values;
  whole_ = true;
}

long OpenKeyCache::Query(std::u16string_view name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  if (!whole_) return key_.Query(name, type, data, size);
  FoldRegistryNameInto(name, folded_);
  for (size_t i = 0; i < kept_count_; ++i) {
    const KeptValue& kept = values_[i];
    if (!SameUnits(kept.folded_name, folded_)) continue;
    const auto bytes = static_cast<std::uint32_t>(kept.bytes.size());
    if (data != nullptr && (size == nullptr || *size < bytes)) {
      if (type != nullptr) *type = kept.type;
      if (size != nullptr) *size = bytes;
      return kRegMoreData;
    }
    if (type != nullptr) *type = kept.type;
    if (data != nullptr && bytes != 0) std::memcpy(data, kept.bytes.data(), bytes);
    if (size != nullptr) *size = bytes;
    return kRegOk;
  }
  return kRegFileNotFound;
}

void OpenKeyCache::Clear() {
  whole_ = false;
  key_.reset();
  known_ = false;
  absent_root_.reset();
}

CompareResult CompareWithRegistry(OpenKeyCache& keys, const ParsedValue& value, CompareCounts& counts) {
  CompareResult result;
  if (value.form == EntryForm::String) result.file_text = DecodeRegEscapes(value.string_data);
  Compare(keys, value, result);
  // A refused line is no value: the counts leave it out.
  if (value.form != EntryForm::Unknown) counts.Count(result.status);
  return result;
}

ChangeEntry MakeChangeEntry(KeyRef key, const ParsedValue& value,
                            const CompareResult& result) {
  const bool names_value = value.form != EntryForm::DeleteKey && value.form != EntryForm::CreateKey;
  const std::u16string_view name = value.name.empty() && names_value ? std::u16string_view(u"@") : value.name;
  // A refused line keeps its problem where the data would be.
  const std::span<const std::uint8_t> file_bytes =
      value.form == EntryForm::Unknown
          ? std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(value.problem.data()),
                                          value.problem.size() * sizeof(char16_t))
          : FileBytes(value, result.file_text);
  return ChangeEntry(std::move(key), name, EntryType(value.form, value.type, value.spelling), value.line, result.status,
                     file_bytes, value.has_block, result.live, result.live_type, result.live_bytes);
}

}  // namespace hivemend
