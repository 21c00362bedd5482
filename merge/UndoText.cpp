#include "merge/UndoText.h"

#include "merge/HistoryFile.h"

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

// The text a quoted string gives back exactly: even size, one NUL at the end
// and none before it, no line break.
bool PlainString(const std::uint8_t* data, size_t size, std::u16string* text) {
  if (size < 2 || size % 2 != 0) return false;
  const size_t units = size / 2 - 1;
  text->resize(units);
  for (size_t i = 0; i <= units; ++i) {
    const auto unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (i == units) return unit == 0;
    if (unit == 0 || unit == u'\r' || unit == u'\n') return false;
    (*text)[i] = unit;
  }
  return false;
}

}  // namespace

std::u16string FoldRegistryName(std::u16string_view name) { return FoldedRegistryName(name); }

std::u16string EscapeRegText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 8);
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out;
}

bool AppendValueName(std::u16string_view registry_name, std::u16string& out) {
  if (registry_name.empty()) {
    out += u'@';
    return true;
  }
  if (registry_name == u"@" || registry_name.find_first_of(u"\r\n") != std::u16string_view::npos) return false;
  out += u'"';
  out += EscapeRegText(registry_name);
  out += u'"';
  return true;
}

DataPartResult FormatDataPart(std::uint32_t type, const std::uint8_t* data, size_t size, std::u16string& out) {
  switch (type) {
    case kRegSz: {
      std::u16string text;
      if (PlainString(data, size, &text)) {
        out += u'"';
        out += EscapeRegText(text);
        out += u'"';
        return DataPartResult::Ok;
      }
      out += u"hex(1):";
      break;
    }
    case kRegDword:
      if (size == 4) {
        out += u"dword:";
        out += Hex(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24), false);
        return DataPartResult::Ok;
      }
      out += u"hex(4):";
      break;
    case kRegBinary: out += u"hex:"; break;
    default:
      out += u"hex(";
      out += Hex(type, false);
      out += u"):";
      break;
  }
  AppendByteList(data, size, out);
  return DataPartResult::Ok;
}

std::u16string RegistryTypeText(std::uint32_t type) {
  const std::u16string_view name = RegistryTypeName(type);
  if (!name.empty()) return std::u16string(name) + u" (" + Decimal(type) + u")";
  return Decimal(type);
}

std::u16string_view ErrorLogValueName(std::u16string_view value_name) {
  return value_name == u"@" ? std::u16string_view(u"<default@>") : value_name;
}

void UndoText::AddComments(const std::vector<std::u16string>& merged_files, std::u16string_view when,
                           std::uint64_t rows) {
  text_ += UndoComments(merged_files, when, rows);
}

void UndoText::AppendKeyLine(std::u16string_view hive, std::u16string_view key) {
  if (has_key_line_ && key == last_key_ && hive == last_hive_) return;
  text_ += u'[';
  text_ += hive;
  text_ += u'\\';
  text_ += key;
  text_ += u"]\r\n";
  last_hive_.assign(hive);
  last_key_.assign(key);
  has_key_line_ = true;
}

void UndoText::AddValue(std::u16string_view hive, std::u16string_view key, std::u16string_view value_name,
                        const std::optional<ValueState>& state, std::u16string& error_text) {
  if (state) AddValueLine(hive, key, value_name, &state->type, state->bytes, error_text);
  else AddValueLine(hive, key, value_name, nullptr, {}, error_text);
}

void UndoText::AddValue(std::u16string_view hive, std::u16string_view key, std::u16string_view value_name,
                        std::uint32_t type, std::span<const std::uint8_t> bytes, std::u16string& error_text) {
  AddValueLine(hive, key, value_name, &type, bytes, error_text);
}

void UndoText::AddValueLine(std::u16string_view hive, std::u16string_view key, std::u16string_view value_name,
                            const std::uint32_t* type, std::span<const std::uint8_t> bytes,
                            std::u16string& error_text) {
  line_.assign(u"\"");
  line_ += value_name;
  line_ += u"\"=";
  if (type == nullptr) {
    line_ += u"-";
  } else if (FormatDataPart(*type, bytes.data(), bytes.size(), line_) != DataPartResult::Ok) {
    AppendErrorLogText(error_text, FormatMessageText(kUndoTypeNotWritableFormat,
                                                     {hive, key, ErrorLogValueName(value_name),
                                                      RegistryTypeText(*type)}));
    return;
  }
  AppendKeyLine(hive, key);
  text_ += line_;
  text_ += u"\r\n";
}

void UndoText::AddKeyDeletion(std::u16string_view hive, std::u16string_view key) {
  text_ += u"[-";
  text_ += hive;
  text_ += u'\\';
  text_ += key;
  text_ += u"]\r\n";
  has_key_line_ = false;  // values after it would not be written
}

void UndoText::AddSubtree(std::u16string_view hive, std::u16string_view key, const std::vector<RegTreeKey>& keys,
                          std::u16string& error_text) {
  AddKeyDeletion(hive, key);
  for (const RegTreeKey& tree_key : keys) {
    // A key line ends at its first "]"; a line break would end it too.
    if (tree_key.path.find_first_of(u"]\r\n") != std::u16string::npos) {
      AppendErrorLogText(error_text, FormatMessageText(kUndoKeyNotWritableFormat, {hive, tree_key.path}));
      continue;
    }
    has_key_line_ = false;  // every key gets its line, also an empty one
    AppendKeyLine(hive, tree_key.path);
    for (const RegTreeValue& value : tree_key.values) {
      std::u16string line;
      if (!AppendValueName(value.name, line)) {
        AppendErrorLogText(error_text, FormatMessageText(kUndoNameNotWritableFormat,
                                                         {hive, tree_key.path, ErrorLogValueName(value.name)}));
        continue;
      }
      line += u'=';
      if (FormatDataPart(value.type, value.data.data(), value.data.size(), line) != DataPartResult::Ok) {
        const std::u16string_view shown = value.name.empty() ? std::u16string_view(u"<default@>") : value.name;
        AppendErrorLogText(error_text, FormatMessageText(kUndoTypeNotWritableFormat,
                                                         {hive, tree_key.path, shown, RegistryTypeText(value.type)}));
        continue;
      }
      text_ += line;
      text_ += u"\r\n";
    }
  }
  text_ += u"\r\n";
  has_key_line_ = false;
}

}  // namespace hivemend
