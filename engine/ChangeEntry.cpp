#include "engine/ChangeEntry.h"

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

std::uint32_t TypeCodeFromName(std::u16string_view type_name) {
  for (const TypeRow& row : kTypes) {
    if (EqualsNoCase(row.name, type_name)) return row.code;
  }
  return UNKNOWN_VALUE_TYPE;
}

std::optional<RegRoot> RootFromName(std::u16string_view root_name) {
  for (const RootRow& row : kRoots) {
    if (EqualsNoCase(row.long_name, root_name) || EqualsNoCase(row.short_name, root_name)) {
      return row.root;
    }
  }
  return std::nullopt;
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

const std::u16string& ChangeEntry::Column(int column) const {
  switch (column) {
    case 0: return hive;
    case 1: return status;
    case 2: return key;
    case 3: return value_name;
    case 4: return type_name;
    case 5: return file_data;
    default: return live_data;
  }
}

}  // namespace hivemend
