#include "merge/UndoText.h"

#include <vector>

#include "engine/ChangeEntry.h"
#include "merge/RegistryWriter.h"
#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

void AppendByteList(const std::uint8_t* data, size_t size, std::u16string& out) {
  // The reader takes a byte list of fewer than two characters for no data at
  // all, so a single byte below 0x10 keeps its leading zero.
  if (size == 1 && data[0] < 0x10) {
    out += u'0';
    out += Hex(data[0], false);
    return;
  }
  out.reserve(out.size() + size * 3);
  for (size_t i = 0; i < size; ++i) {
    if (i) out += u',';
    out += Hex(data[i], false);
  }
}

}  // namespace

std::u16string FoldRegistryName(std::u16string_view name) { return FoldedRegistryName(name); }

RegistryValueId ValueIdOf(RegRoot root, std::u16string_view key_path, std::u16string_view registry_name) {
  std::u16string key;
  KeyPathIdentity(key_path, key);
  return {root, std::move(key), FoldedRegistryName(registry_name)};
}

namespace {

enum class ReadResult { Present, Absent, Failed };

// Reads a value's type and bytes. The bytes are followed by zero padding, so
// that a string without its NUL still ends.
ReadResult ReadValue(Registry& registry, const UndoRow& row, std::uint32_t& type,
                     std::vector<std::uint8_t>& bytes, std::uint32_t& size) {
  RegKey key(registry);
  const long opened = key.Open(row.root, row.key, kGenericRead);
  if (opened == kRegFileNotFound) return ReadResult::Absent;
  if (opened != kRegOk) return ReadResult::Failed;
  const std::u16string name = RegistryValueName(row.value_name);
  std::uint32_t needed = 0;
  const long sized = key.Query(name, &type, nullptr, &needed);
  if (sized == kRegFileNotFound) return ReadResult::Absent;
  if (sized != kRegOk) return ReadResult::Failed;
  // The value may grow between the two queries; a few tries with the new size.
  for (int attempt = 0; attempt < 4; ++attempt) {
    bytes.assign(static_cast<size_t>(needed) + 8, 0);
    size = needed;
    const long read = key.Query(name, &type, bytes.data(), &size);
    if (read == kRegOk) return ReadResult::Present;
    if (read == kRegFileNotFound) return ReadResult::Absent;
    if (read != kRegMoreData) return ReadResult::Failed;
    needed = size;
  }
  return ReadResult::Failed;
}

}  // namespace

std::u16string EscapeRegText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 8);
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out;
}

DataPartResult FormatDataPart(std::uint32_t type, const std::uint8_t* data, size_t size, std::u16string& out) {
  auto byte_at = [&](size_t i) -> std::uint32_t { return i < size ? data[i] : 0; };
  switch (type) {
    case kRegSz: {
      std::u16string text;
      for (size_t i = 0; i < size; i += 2) {
        const auto unit = static_cast<char16_t>(byte_at(i) | (byte_at(i + 1) << 8));
        if (unit == 0) break;
        if (unit == u'\r' || unit == u'\n') return DataPartResult::LineBreak;
        text += unit;
      }
      out += u'"';
      out += EscapeRegText(text);
      out += u'"';
      return DataPartResult::Ok;
    }
    case kRegDword:
      out += u"dword:";
      out += Hex(byte_at(0) | (byte_at(1) << 8) | (byte_at(2) << 16) | (byte_at(3) << 24), false);
      return DataPartResult::Ok;
    case kRegExpandSz: out += u"hex(2):"; break;
    case kRegBinary: out += u"hex(0):"; break;
    case kRegMultiSz: out += u"hex(7):"; break;
    case kRegQword: out += u"hex(b):"; break;
    default: return DataPartResult::UnsupportedType;
  }
  AppendByteList(data, size, out);
  return DataPartResult::Ok;
}

std::u16string RegistryTypeText(std::uint32_t type) {
  static constexpr std::u16string_view kNames[] = {
      u"REG_NONE",          u"REG_SZ",        u"REG_EXPAND_SZ",
      u"REG_BINARY",        u"REG_DWORD",     u"REG_DWORD_BIG_ENDIAN",
      u"REG_LINK",          u"REG_MULTI_SZ",  u"REG_RESOURCE_LIST",
      u"REG_FULL_RESOURCE_DESCRIPTOR", u"REG_RESOURCE_REQUIREMENTS_LIST", u"REG_QWORD"};
  if (type < std::size(kNames)) return std::u16string(kNames[type]) + u" (" + Decimal(type) + u")";
  return Decimal(type);
}

std::u16string_view ErrorLogValueName(std::u16string_view value_name) {
  return value_name == u"@" ? std::u16string_view(u"<default@>") : value_name;
}

void UndoText::AppendKeyLine(const UndoRow& row) {
  if (has_key_line_ && row.key == last_key_ && row.hive == last_hive_) return;
  text_ += u'[';
  text_ += row.hive;
  text_ += u'\\';
  text_ += row.key;
  text_ += u"]\r\n";
  last_hive_.assign(row.hive);
  last_key_.assign(row.key);
  has_key_line_ = true;
}

void UndoText::Record(Registry& registry, const UndoRow& row, std::u16string& error_text) {
  RegistryValueId identity = ValueIdOf(row.root, row.key, RegistryValueName(row.value_name));
  if (recorded_.contains(identity)) return;
  AppendKeyLine(row);

  auto fail = [&](std::u16string_view format, std::u16string_view extra = {}) {
    AppendErrorLogText(error_text,
                       FormatMessageText(format, {row.hive, row.key, ErrorLogValueName(row.value_name), extra}));
  };
  const bool deletion = row.type == DELETE_VALUE_TYPE;

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> bytes;
  const ReadResult read = ReadValue(registry, row, type, bytes, size);
  const bool absent = read == ReadResult::Absent || (read == ReadResult::Failed && row.status == EntryStatus::Missing);
  if (absent && deletion) {
    // Deleting an absent value changes nothing: a later row of the same value
    // still finds the state from before the merge, and records it.
    return;
  }
  recorded_.insert(std::move(identity));
  if (absent) {
    text_ += u"\"" + std::u16string(row.value_name) + u"\"=-\r\n";
    return;
  }
  if (read == ReadResult::Failed) return fail(kUndoReadFailedFormat);

  std::u16string line = u"\"" + std::u16string(row.value_name) + u"\"=";
  switch (FormatDataPart(type, bytes.data(), size, line)) {
    case DataPartResult::Ok:
      line += u"\r\n";
      text_ += line;
      break;
    case DataPartResult::UnsupportedType: fail(kUndoTypeNotWritableFormat, RegistryTypeText(type)); break;
    case DataPartResult::LineBreak: fail(kUndoLineBreakFormat); break;
  }
}

}  // namespace hivemend
