#include "engine/ValueText.h"

#include <algorithm>

#include "platform/Registry.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";

void AppendHexByte(std::uint8_t b, std::u16string& out) {
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (size_t i = bytes.size(); i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

// The units of string data; a last odd byte is left out.
std::u16string_view Units(std::span<const std::uint8_t> bytes, std::u16string& scratch) {
  scratch.resize(bytes.size() / 2);
  for (size_t i = 0; i < scratch.size(); ++i)
    scratch[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return scratch;
}

void AppendBytes(std::span<const std::uint8_t> bytes, std::u16string& out) {
  if (bytes.empty()) {
    out += u"(0 bytes)";
    return;
  }
  const size_t shown = std::min(bytes.size(), kOneLineBytesShown);
  for (size_t i = 0; i < shown; ++i) {
    if (i) out += u' ';
    AppendHexByte(bytes[i], out);
  }
  if (shown < bytes.size()) out += u" ... (" + Decimal(bytes.size()) + u" bytes)";
}

}  // namespace

void AppendOneLineText(std::u16string_view text, std::u16string& out) {
  for (char16_t c : text) {
    switch (c) {
      case u'\t': out += u"<TAB>"; break;
      case u'\r': out += u"<CR>"; break;
      case u'\n': out += u"<LF>"; break;
      case u'\0': out += u"<NUL>"; break;
      default:
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          out += u"<U+00";
          AppendHexByte(static_cast<std::uint8_t>(c), out);
          out += u'>';
        } else {
          out += c;
        }
    }
  }
}

void AppendOneLineValue(std::uint32_t type, std::span<const std::uint8_t> bytes, bool upper_case,
                        std::u16string& out) {
  thread_local std::u16string scratch;
  switch (type) {
    case kRegSz:
    case kRegExpandSz: {
      std::u16string_view text = Units(bytes, scratch);
      if (!text.empty() && text.back() == u'\0') text.remove_suffix(1);
      AppendOneLineText(text, out);
      return;
    }
    case kRegMultiSz: {
      std::u16string_view items = Units(bytes, scratch);
      // The list ends with an empty item (two NULs in a row); what follows
      // an item's NUL at the very end is no item either.
      while (!items.empty() && items.back() == u'\0') items.remove_suffix(1);
      bool first = true;
      while (true) {
        const size_t end = items.find(u'\0');
        if (!first) out += kMultiStringSeparator;
        first = false;
        AppendOneLineText(items.substr(0, end), out);
        if (end == std::u16string_view::npos) break;
        items.remove_prefix(end + 1);
      }
      return;
    }
    case kRegDword:
    case kRegQword:
      if (bytes.size() == (type == kRegDword ? 4u : 8u)) {
        out += u"0x";
        out += Hex(LittleEndian(bytes), upper_case);
        return;
      }
      break;
    default: break;
  }
  AppendBytes(bytes, out);
}

}  // namespace hivemend
