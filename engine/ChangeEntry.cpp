#include "engine/ChangeEntry.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace hivemend {

namespace {
struct TypeRow {
  std::uint32_t code;
  std::u16string_view name;
};
constexpr TypeRow kTypes[] = {
    {kRegSz, u"REG_SZ"},           {kRegExpandSz, u"REG_EXPAND_SZ"}, {kRegBinary, u"REG_BINARY"},
    {kRegDword, u"REG_DWORD"},     {kRegMultiSz, u"REG_MULTI_SZ"},   {kRegQword, u"REG_QWORD"},
    {DELETE_VALUE_TYPE, u"DELETE"},
};
constexpr std::u16string_view kUnknownTypeName = u"UNKNOWN - ERROR";

struct RootRow {
  std::u16string_view long_name;
  std::u16string_view short_name;
  RegRoot root;
};
constexpr RootRow kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", RegRoot::ClassesRoot},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", RegRoot::LocalMachine},
    {u"HKEY_CURRENT_USER", u"HKCU", RegRoot::CurrentUser},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", RegRoot::CurrentConfig},
    {u"HKEY_USERS", u"HKU", RegRoot::Users},
};
}  // namespace

std::u16string_view TypeName(std::uint32_t type_code) {
  for (const TypeRow& row : kTypes) {
    if (row.code == type_code) return row.name;
  }
  return kUnknownTypeName;
}

EntryType::EntryType(std::uint32_t code) : form(EntryForm::NumberedHex), code(code) {
  switch (code) {
    case kRegSz: form = EntryForm::String; break;
    case kRegDword: form = EntryForm::Dword; break;
    case kRegExpandSz: case kRegBinary: case kRegMultiSz: case kRegQword: form = EntryForm::Hex; break;
    case DELETE_VALUE_TYPE: form = EntryForm::DeleteValue; break;
    case DELETE_KEY_TYPE: form = EntryForm::DeleteKey; break;
    case CREATE_KEY_TYPE: form = EntryForm::CreateKey; break;
    case kUnknownValueType: form = EntryForm::Unknown; break;
    default: break;
  }
}

std::u16string_view RegistryTypeName(std::uint32_t code) {
  static constexpr std::u16string_view kNames[] = {
      u"REG_NONE",          u"REG_SZ",        u"REG_EXPAND_SZ",
      u"REG_BINARY",        u"REG_DWORD",     u"REG_DWORD_BIG_ENDIAN",
      u"REG_LINK",          u"REG_MULTI_SZ",  u"REG_RESOURCE_LIST",
      u"REG_FULL_RESOURCE_DESCRIPTOR", u"REG_RESOURCE_REQUIREMENTS_LIST", u"REG_QWORD"};
  return code < std::size(kNames) ? kNames[code] : std::u16string_view();
}

// Bits 0 to 7: the digit at that position (from the left, leading zeros
// included) is an upper-case letter; bits 8 to 10: the number of leading zeros.
std::uint16_t HexTypeSpelling(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 8) return 0;
  size_t zeros = 0;
  while (zeros + 1 < digits.size() && digits[zeros] == u'0') ++zeros;
  std::uint16_t spelling = static_cast<std::uint16_t>(zeros << 8);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (digits[i] >= u'A' && digits[i] <= u'F') spelling |= static_cast<std::uint16_t>(1u << i);
  }
  return spelling;
}

std::u16string HexTypeText(std::uint32_t code, std::uint16_t spelling) {
  std::u16string digits(static_cast<size_t>((spelling >> 8) & 7), u'0');
  digits += Hex(code, false);
  for (size_t i = 0; i < digits.size() && i < 8; ++i) {
    if ((spelling & (1u << i)) && digits[i] >= u'a' && digits[i] <= u'f') digits[i] = static_cast<char16_t>(digits[i] - 0x20);
  }
  return u"hex(" + digits + u")";
}

std::u16string TypeText(const EntryType& type) {
  switch (type.form) {
    case EntryForm::DeleteValue: return u"DELETE";
    case EntryForm::DeleteKey: return u"DELETE KEY";
    case EntryForm::CreateKey: return u"CREATE KEY";
    case EntryForm::Unknown: return std::u16string(kUnknownTypeName);
    default: break;
  }
  const std::u16string_view name = RegistryTypeName(type.code);
  if (!name.empty()) return std::u16string(name);
  return HexTypeText(type.code, type.spelling);
}

std::vector<std::uint8_t> SubtreeCountBytes(SubtreeCounts counts) {
  std::vector<std::uint8_t> bytes(8);
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<std::uint8_t>(counts.values >> (8 * i));
    bytes[4 + i] = static_cast<std::uint8_t>(counts.subkeys >> (8 * i));
  }
  return bytes;
}

std::u16string SubtreeCountText(SubtreeCounts counts) {
  std::u16string text = Decimal(counts.values);
  text += counts.values == 1 ? u" value, " : u" values, ";
  text += Decimal(counts.subkeys);
  text += counts.subkeys == 1 ? u" subkey" : u" subkeys";
  return text;
}

std::optional<RegRoot> RootFromName(std::u16string_view root_name) {
  for (const RootRow& row : kRoots) {
    if (EqualsNoCase(row.long_name, root_name) || EqualsNoCase(row.short_name, root_name)) {
      return row.root;
    }
  }
  return std::nullopt;
}

EntryKey::EntryKey(std::u16string_view root_name, std::u16string_view path)
    : path(path), root(RootFromName(root_name)) {
  for (const RootRow& row : kRoots) {
    if (root_name == row.long_name) this->root_name = row.long_name;
    if (root_name == row.short_name) this->root_name = row.short_name;
  }
  if (this->root_name.data() == nullptr) {
    own_root_name_.assign(root_name);
    this->root_name = own_root_name_;
  }
}

std::u16string_view RootLongName(RegRoot root) {
  for (const RootRow& row : kRoots) {
    if (row.root == root) return row.long_name;
  }
  return {};
}

std::u16string DecodeRegEscapes(std::u16string_view text) {
  if (FindUnit(text, u'\\') == std::u16string_view::npos) return std::u16string(text);
  // As two passes, each left to right over non-overlapping pairs: "\\" becomes
  // "\", then "\"" becomes '"' (also where the first pass made the backslash).
  // The second pass is done as the first writes: a quote written right after a
  // backslash takes that backslash's place.
  std::u16string out(text.size(), u'\0');
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"' && n > 0 && out[n - 1] == u'\\') {
      out[n - 1] = c;
      continue;
    }
    out[n++] = c;
    if (c == u'\\' && i + 1 < text.size() && text[i + 1] == u'\\') ++i;
  }
  out.resize(n);
  return out;
}

std::u16string RegistryValueName(std::u16string_view name_as_written) {
  if (name_as_written == u"@") return {};
  return DecodeRegEscapes(name_as_written);
}

std::u16string_view StatusText(EntryStatus status) {
  switch (status) {
    case EntryStatus::Missing: return u"MISSING";
    case EntryStatus::Delete: return u"DELETE";
    case EntryStatus::Same: return u"SAME";
    case EntryStatus::Changed: return u"CHANGED";
    case EntryStatus::ChangedType: return u"CHANGED TYPE";
  }
  return {};
}

namespace {
size_t UnitsFor(size_t bytes) { return (bytes + 1) / 2; }

void PutNumber(char16_t*& at, std::uint32_t value) {
  *at++ = static_cast<char16_t>(value & 0xFFFF);
  *at++ = static_cast<char16_t>(value >> 16);
}
std::uint32_t GetNumber(const char16_t* at) { return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 16); }

void PutBytes(char16_t*& at, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  at[UnitsFor(bytes.size()) - 1] = 0;  // the pad byte of an odd size
  std::memcpy(at, bytes.data(), bytes.size());
  at += UnitsFor(bytes.size());
}
}  // namespace

ChangeEntry::ChangeEntry(KeyRef key, std::u16string_view name, EntryType type, std::uint32_t line,
                         EntryStatus status, std::span<const std::uint8_t> file_bytes, bool has_block,
                         LiveState live, std::uint32_t live_type, std::span<const std::uint8_t> live_bytes)
    : key_(std::move(key)),
      name_units_(static_cast<std::uint32_t>(name.size())),
      file_size_(static_cast<std::uint32_t>(file_bytes.size())),
      type_(type.code),
      line_(line),
      spelling_(type.spelling),
      status_(status),
      live_(live),
      form_(type.form),
      has_block_(has_block) {
  // What is absent has nothing to keep.
  if (live == LiveState::Absent) live_type = 0;
  const bool keeps_live = live == LiveState::SameBytes || live == LiveState::OwnBytes;
  size_t units = name.size() + UnitsFor(file_bytes.size());
  if (keeps_live) units += 2;
  if (live == LiveState::OwnBytes) units += 2 + UnitsFor(live_bytes.size());
  if (units == 0) return;
  blob_ = std::make_unique_for_overwrite<char16_t[]>(units);
  char16_t* at = blob_.get();
  at = std::copy(name.begin(), name.end(), at);
  PutBytes(at, file_bytes);
  if (keeps_live) PutNumber(at, live_type);
  if (live == LiveState::OwnBytes) {
    PutNumber(at, static_cast<std::uint32_t>(live_bytes.size()));
    PutBytes(at, live_bytes);
  }
}

const EntryKey& ChangeEntry::NoKey() {
  static const EntryKey none(u"", u"");
  return none;
}

size_t ChangeEntry::LiveAt() const { return name_units_ + UnitsFor(file_size_); }

std::span<const std::uint8_t> ChangeEntry::file_bytes() const {
  if (file_size_ == 0 || form_ == EntryForm::Unknown) return {};
  return {reinterpret_cast<const std::uint8_t*>(blob_.get() + name_units_), file_size_};
}

std::uint32_t ChangeEntry::live_type() const {
  return live_ == LiveState::None || live_ == LiveState::Absent ? 0 : GetNumber(blob_.get() + LiveAt());
}

std::span<const std::uint8_t> ChangeEntry::live_bytes() const {
  switch (live_) {
    case LiveState::None: case LiveState::Absent: return {};
    case LiveState::SameBytes: return file_bytes();
    case LiveState::OwnBytes: break;
  }
  const char16_t* at = blob_.get() + LiveAt() + 2;
  const std::uint32_t size = GetNumber(at);
  if (size == 0) return {};
  return {reinterpret_cast<const std::uint8_t*>(at + 2), size};
}

std::u16string_view ChangeEntry::problem() const {
  if (form_ != EntryForm::Unknown || file_size_ < 2) return {};
  return {blob_.get() + name_units_, file_size_ / 2};
}

std::u16string_view ChangeEntry::file_text() const {
  if (form_ != EntryForm::String || file_size_ < 2) return {};
  return {blob_.get() + name_units_, file_size_ / 2 - 1};
}

std::uint32_t ChangeEntry::file_dword() const {
  if (form_ != EntryForm::Dword) return 0;
  const auto bytes = file_bytes();
  std::uint32_t value = 0;
  for (size_t i = 0; i < 4 && i < bytes.size(); ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  return value;
}

namespace {

void AppendFileDataText(const ChangeEntry& entry, std::u16string& out, DataTextStyle style) {
  if (style == DataTextStyle::OneLine) {
    switch (entry.form()) {
      case EntryForm::String: AppendOneLineText(entry.file_text(), out); return;
      case EntryForm::Hex:
      case EntryForm::NumberedHex: AppendOneLineValue(entry.type(), entry.file_bytes(), true, out); return;
      case EntryForm::DeleteValue:
      case EntryForm::DeleteKey: out += kDeletionText; return;
      case EntryForm::CreateKey: out += kCreateKeyText; return;
      case EntryForm::Dword:
      case EntryForm::Unknown: break;
    }
  }
  if (entry.form() == EntryForm::String) {
    out += entry.file_text();
  } else if (entry.form() == EntryForm::Dword) {
    out += u"0x";
    out += Hex(entry.file_dword(), true);
  } else if (entry.refused() && !entry.problem().empty()) {
    out += entry.problem();
  } else {
    out += kNotPresentable;
  }
}

// What the registry holds, for every row whose value the comparison read: the
// live string up to its first NUL, the live dword as "0x%x", the placeholder
// for the other types; nothing when the registry holds no such value. For a
// key deletion: what the subtree holds.
void AppendLiveDataText(const ChangeEntry& entry, std::u16string& out, DataTextStyle style) {
  if (entry.live() == LiveState::None || entry.live() == LiveState::Absent) return;
  const auto bytes = entry.live_bytes();
  if (entry.form() == EntryForm::DeleteKey) {
    if (bytes.size() != 8) return;
    SubtreeCounts counts;
    for (int i = 0; i < 4; ++i) {
      counts.values |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
      counts.subkeys |= static_cast<std::uint32_t>(bytes[4 + i]) << (8 * i);
    }
    out += SubtreeCountText(counts);
    return;
  }
  if (entry.form() == EntryForm::CreateKey) return;  // a key, not a value
  if (style == DataTextStyle::OneLine) {
    AppendOneLineValue(entry.live_type(), bytes, false, out);
    return;
  }
  if (entry.live_type() == kRegSz) {
    std::u16string live((bytes.size() + 1) / 2, u'\0');
    if (!bytes.empty()) std::memcpy(live.data(), bytes.data(), bytes.size());
    live.resize(std::min(live.size(), live.find(u'\0')));
    out += live;
  } else if (entry.live_type() == kRegDword) {
    // A short value reads as zero-extended.
    std::uint32_t live = 0;
    for (size_t i = 0; i < 4 && i < bytes.size(); ++i) live |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    out += u"0x";
    out += Hex(live, false);
  } else {
    out += kNotPresentable;
  }
}

}  // namespace

void ChangeEntry::AppendColumnText(int column, std::u16string& out, DataTextStyle style) const {
  switch (column) {
    case 0: out += key().root_name; break;
    case 1: out += StatusText(status_); break;
    case 2: out += key().path; break;
    case 3: out += name(); break;
    case 4:
      if (form_ == EntryForm::String || form_ == EntryForm::Dword || form_ == EntryForm::Hex) {
        out += TypeName(type_);
      } else {
        out += TypeText(entry_type());
      }
      break;
    case 5: AppendFileDataText(*this, out, style); break;
    default: AppendLiveDataText(*this, out, style); break;
  }
}

std::u16string EscapeField(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'\t': out += u"\\t"; break;
      case u'\r': out += u"\\r"; break;
      case u'\n': out += u"\\n"; break;
      case u'\\': out += u"\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string TabSeparatedHeader() {
  std::u16string line;
  for (int c = 0; c < kColumnCount; ++c) {
    if (c) line += u'\t';
    line += kColumnHeaders[c];
  }
  return line + u'\n';
}

void AppendTabSeparatedRow(const ChangeEntry& entry, std::u16string& out, DataTextStyle style) {
  thread_local std::u16string cell;
  for (int c = 0; c < kColumnCount; ++c) {
    if (c) out += u'\t';
    cell.clear();
    entry.AppendColumnText(c, cell, style);
    out += EscapeField(cell);
  }
  out += u'\n';
}

std::u16string ChangeEntry::ColumnText(int column, DataTextStyle style) const {
  std::u16string text;
  AppendColumnText(column, text, style);
  return text;
}

}  // namespace hivemend
