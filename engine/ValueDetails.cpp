#include "engine/ValueDetails.h"

#include <algorithm>

#include "platform/SystemText.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr std::u16string_view kEmpty = u"<empty>";

std::u16string PadRight(std::u16string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), u' ');
  return text;
}

std::u16string HexDigits(std::uint64_t value, size_t digits) {
  std::u16string text = Hex(value, true);
  if (text.size() < digits) text.insert(0, digits - text.size(), u'0');
  return text;
}

// Groups of three digits: 1048576 gives "1,048,576".
std::u16string Count(std::uint64_t value) {
  std::u16string digits = Decimal(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, u',');
  return digits;
}

std::u16string RegistryTypeLabel(std::uint32_t type) {
  static constexpr std::u16string_view kNames[] = {
      u"REG_NONE", u"REG_SZ",        u"REG_EXPAND_SZ",  u"REG_BINARY",   u"REG_DWORD",
      u"REG_DWORD_BIG_ENDIAN",       u"REG_LINK",       u"REG_MULTI_SZ", u"REG_RESOURCE_LIST",
      u"REG_FULL_RESOURCE_DESCRIPTOR", u"REG_RESOURCE_REQUIREMENTS_LIST", u"REG_QWORD"};
  if (type < std::size(kNames)) return std::u16string(kNames[type]);
  return u"type " + Decimal(type);
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (size_t i = bytes.size(); i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

std::u16string ByteList(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += u' ';
    text += HexDigits(b, 2);
  }
  return text.empty() ? std::u16string(u"(none)") : text;
}

std::u16string OddSizeNote(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 2 == 0) return {};
  return u"(" + Count(bytes.size()) + u" bytes, an odd number: the last byte, " + HexDigits(bytes.back(), 2) +
         u", is not shown)\r\n";
}

std::u16string NumberText(std::span<const std::uint8_t> bytes, size_t size, std::u16string_view type) {
  if (bytes.size() != size) {
    return u"(" + Count(bytes.size()) + u" bytes, not the " + Decimal(size) + u" of a " + std::u16string(type) +
           u") " + ByteList(bytes) + u"\r\n";
  }
  const std::uint64_t value = LittleEndian(bytes);
  return u"0x" + HexDigits(value, size * 2) + u" (" + Decimal(value) + u")\r\n";
}

std::u16string MultiStringText(std::span<const std::uint8_t> bytes) {
  std::u16string units((bytes.size()) / 2, u'\0');
  std::copy_n(bytes.data(), units.size() * 2, reinterpret_cast<std::uint8_t*>(units.data()));
  // The list ends with an empty item: "a\0b\0\0". A list cut short ("a\0b\0"
  // or "a\0b") is read as far as it goes.
  if (units.size() >= 2 && units.ends_with(std::u16string_view(u"\0\0", 2))) {
    units.resize(units.size() - 2);
  } else if (!units.empty() && units.back() == u'\0') {
    units.pop_back();
  }
  std::u16string text = OddSizeNote(bytes);
  if (bytes.size() < 2) return text + u"(no items)\r\n";
  size_t number = 1;
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(units.find(u'\0', start), units.size());
    const std::u16string_view item = std::u16string_view(units).substr(start, end - start);
    text += Decimal(number++) + u": ";
    text += item.empty() ? std::u16string(kEmpty) : VisibleText(item);
    text += kLineEnd;
    if (end >= units.size()) break;
    start = end + 1;
  }
  return text;
}

}  // namespace

std::u16string VisibleText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'\t': out += u"<TAB>"; break;
      case u'\0': out += u"<NUL>"; break;
      case u'\n': out += u"<LF>\r\n"; break;
      case u'\r':
        if (i + 1 < text.size() && text[i + 1] == u'\n') {
          out += u"<CR><LF>\r\n";
          ++i;
        } else {
          out += u"<CR>\r\n";
        }
        break;
      default:
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
          out += u"<U+" + HexDigits(c, 4) + u">";
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::u16string StringOfBytes(std::span<const std::uint8_t> bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  std::copy_n(bytes.data(), units.size() * 2, reinterpret_cast<std::uint8_t*>(units.data()));
  if (!units.empty() && units.back() == u'\0') units.pop_back();
  return units;
}

bool ShownAsDump(std::uint32_t type) {
  return type != kRegSz && type != kRegExpandSz && type != kRegMultiSz && type != kRegDword && type != kRegQword;
}

std::u16string DataText(std::uint32_t type, std::span<const std::uint8_t> bytes, const ExpandFunction& expand) {
  switch (type) {
    case kRegSz: {
      const std::u16string text = StringOfBytes(bytes);
      return OddSizeNote(bytes) + (text.empty() ? std::u16string(kEmpty) : VisibleText(text)) + u"\r\n";
    }
    case kRegExpandSz: {
      const std::u16string text = StringOfBytes(bytes);
      // Expanded up to the first NUL, as the system reads the value.
      const std::u16string expanded = expand ? expand(std::u16string_view(text).substr(0, text.find(u'\0'))) : text;
      return OddSizeNote(bytes) + u"As written: " + (text.empty() ? std::u16string(kEmpty) : VisibleText(text)) +
             u"\r\nExpanded:   " + (expanded.empty() ? std::u16string(kEmpty) : VisibleText(expanded)) + u"\r\n";
    }
    case kRegMultiSz: return MultiStringText(bytes);
    case kRegDword: return NumberText(bytes, 4, u"REG_DWORD");
    case kRegQword: return NumberText(bytes, 8, u"REG_QWORD");
    default: return {};
  }
}

// ---- The hex dump ---------------------------------------------------------------

HexDump::HexDump(std::span<const std::uint8_t> file, std::optional<std::span<const std::uint8_t>> live)
    : file_(file), live_(live) {}

size_t HexDump::line_count() const {
  const size_t size = std::max(file_.size(), live_ ? live_->size() : 0);
  return (size + kBytesPerLine - 1) / kBytesPerLine;
}

bool HexDump::Differs(size_t offset) const {
  if (!live_) return false;
  if (offset >= file_.size() || offset >= live_->size()) return true;
  return file_[offset] != (*live_)[offset];
}

bool HexDump::LineDiffers(size_t i) const {
  if (!live_) return false;
  const size_t first = i * kBytesPerLine;
  const size_t end = std::min(first + kBytesPerLine, std::max(file_.size(), live_->size()));
  for (size_t at = first; at < end; ++at)
    if (Differs(at)) return true;
  return false;
}

size_t HexDump::differing_bytes() const {
  if (!live_) return 0;
  const size_t common = std::min(file_.size(), live_->size());
  size_t n = std::max(file_.size(), live_->size()) - common;
  for (size_t at = 0; at < common; ++at) n += file_[at] != (*live_)[at];
  return n;
}

std::u16string HexDump::Cells(std::span<const std::uint8_t> side, size_t line) const {
  std::u16string text;
  text.reserve(kBytesPerLine * 3);
  for (size_t k = 0; k < kBytesPerLine; ++k) {
    const size_t at = line * kBytesPerLine + k;
    if (at >= side.size()) {
      text += u"   ";
      continue;
    }
    text += Differs(at) ? u'*' : u' ';
    text += HexDigits(side[at], 2);
  }
  return text;
}

std::u16string HexDump::Characters(std::span<const std::uint8_t> side, size_t line) {
  std::u16string text;
  for (size_t k = 0; k < kBytesPerLine; ++k) {
    const size_t at = line * kBytesPerLine + k;
    if (at >= side.size()) {
      text += u' ';
    } else {
      const std::uint8_t b = side[at];
      text += b >= 0x20 && b < 0x7F ? static_cast<char16_t>(b) : u'.';
    }
  }
  return text;
}

std::vector<std::u16string> HexDump::LineParts(size_t i) const {
  std::vector<std::u16string> parts;
  parts.push_back(std::u16string(LineDiffers(i) ? u"* " : u"  ") + HexDigits(i * kBytesPerLine, 8));
  parts.push_back(Cells(file_, i));
  parts.push_back(Characters(file_, i));
  parts.push_back(live_ ? Cells(*live_, i) : std::u16string());
  parts.push_back(live_ ? Characters(*live_, i) : std::u16string());
  return parts;
}

std::u16string HexDump::HeaderLine() const {
  std::u16string text = u"  Offset   " + PadRight(std::u16string(kFileSideHeading), kBytesPerLine * 4 + 2);
  if (live_) text += u" | " + std::u16string(kLiveSideHeading);
  while (!text.empty() && text.back() == u' ') text.pop_back();
  return text;
}

std::u16string HexDump::Line(size_t i) const {
  const std::vector<std::u16string> parts = LineParts(i);
  std::u16string text = parts[0] + u" " + parts[1] + u"  " + parts[2];
  if (live_) text += u" | " + parts[3] + u"  " + parts[4];
  while (!text.empty() && text.back() == u' ') text.pop_back();
  return text;
}

// ---- The registry's side --------------------------------------------------------------

std::u16string SubtreeListing(Registry& registry, RegRoot root, std::u16string_view top) {
  std::u16string items;
  size_t shown = 0;
  std::uint64_t keys = 0, values = 0, unreadable = 0;
  const std::u16string root_name(RootLongName(root));
  std::vector<std::u16string> pending{std::u16string(top)};  // keys still to read, the next one last
  while (!pending.empty()) {
    const std::u16string path = std::move(pending.back());
    pending.pop_back();
    ++keys;
    const bool listed = shown < kSubtreeItemsShown;
    if (listed) {
      items += u"[" + root_name + u"\\" + path + u"]";
      ++shown;
    }
    RegKey key(registry);
    RegKeyInfo info;
    long status = key.Open(root, path, kKeyRead);
    if (status == kRegOk) status = key.Info(&info);
    if (status != kRegOk) {
      ++unreadable;
      if (listed) items += u" (cannot be read: " + SystemErrorText(status) + u")";
      if (listed) items += u"\r\n";
      continue;
    }
    if (listed) items += u"\r\n";
    values += info.values;
    for (std::uint32_t i = 0; i < info.values && shown < kSubtreeItemsShown; ++i, ++shown) {
      std::u16string name;
      std::uint32_t type = 0;
      std::vector<std::uint8_t> data;
      if (key.EnumValue(i, &name, &type, &data) != kRegOk) break;
      items += u"  " + (name.empty() ? std::u16string(u"(Default)") : VisibleText(name)) + u": " +
               RegistryTypeLabel(type) + u", " + Count(data.size()) + (data.size() == 1 ? u" byte" : u" bytes");
      if ((type == kRegSz || type == kRegExpandSz) && data.size() % 2 == 0) {
        std::u16string text = VisibleText(StringOfBytes(data));
        if (text.size() > 60) text = text.substr(0, 60) + u"...";
        items += u", \"" + text + u"\"";
      } else if (type == kRegDword && data.size() == 4) {
        const std::uint32_t n = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
        items += u", 0x" + HexDigits(n, 8);
      }
      items += u"\r\n";
    }
    std::vector<std::u16string> below;
    for (std::uint32_t i = 0;; ++i) {
      std::u16string name;
      if (key.EnumKey(i, &name) != kRegOk) break;
      below.push_back(path + u"\\" + name);
    }
    pending.insert(pending.end(), below.rbegin(), below.rend());
  }
  std::u16string text = u"The key and everything below it: " + Count(keys) + (keys == 1 ? u" key, " : u" keys, ") +
                        Count(values) + (values == 1 ? u" value" : u" values");
  if (unreadable > 0) text += u"; " + Count(unreadable) + u" keys could not be read";
  text += u"\r\n" + items;
  if (keys + values > shown) text += u"... and " + Count(keys + values - shown) + u" more keys and values\r\n";
  return text;
}

LiveValue ReadLiveValue(Registry* registry, const ChangeEntry& entry) {
  LiveValue live;
  if (!entry.root()) return live;
  live.state = LiveValue::State::KeyAbsent;
  if (registry == nullptr) return live;
  RegKey key(*registry);
  if (key.Open(*entry.root(), entry.key().path, kKeyRead) != kRegOk) return live;
  if (entry.form() == EntryForm::DeleteKey || entry.form() == EntryForm::CreateKey) {
    key.reset();
    live.state = LiveValue::State::Present;
    if (entry.form() == EntryForm::DeleteKey) live.subtree = SubtreeListing(*registry, *entry.root(), entry.key().path);
    return live;
  }
  const std::u16string name = entry.registry_name();
  const long status = key.ReadWhole(name, &live.type, &live.bytes);
  if (status == kRegOk) live.state = LiveValue::State::Present;
  else live.state = status == kRegFileNotFound ? LiveValue::State::ValueAbsent : LiveValue::State::Unreadable;
  return live;
}

// ---- The whole view ---------------------------------------------------------------------

ValueDetails::ValueDetails(const ChangeEntry& entry, LiveValue live, std::u16string read_at,
                           const ExpandFunction& expand)
    : live_(std::move(live)) {
  const std::span<const std::uint8_t> file = entry.file_bytes();
  file_bytes_.assign(file.begin(), file.end());
  const std::uint32_t type = entry.type();
  const bool file_has_data = type != DELETE_VALUE_TYPE && type != kUnknownValueType;
  const bool present = live_.state == LiveValue::State::Present;

  std::u16string& s = summary_;
  const EntryKey& key = entry.key();
  s += u"Root:               ";
  if (entry.root()) {
    s += RootLongName(*entry.root());
    if (key.root_name != RootLongName(*entry.root())) s += u" (written as " + std::u16string(key.root_name) + u")";
  } else {
    s += std::u16string(key.root_name) + u" (not a root of the registry)";
  }
  s += u"\r\nKey:                " + key.path;
  const bool key_row = entry.form() == EntryForm::DeleteKey || entry.form() == EntryForm::CreateKey;
  const std::u16string registry_name = entry.registry_name();
  if (key_row) {
    s += u"\r\nValue name:         none: the row stands for the key";
  } else {
    s += u"\r\nValue name:         " + VisibleText(entry.name()) + u" as written; " +
         (registry_name.empty() ? std::u16string(u"(Default)") : VisibleText(registry_name)) + u" in the registry";
  }
  s += u"\r\nStatus:             " + std::u16string(StatusText(entry.status())) + u" (when the file was loaded)";
  if (entry.form() == EntryForm::String && present && live_.type == kRegSz) {
    // Strings compare without regard to letter case, so SAME may hide a
    // difference that the merge would write.
    std::u16string live_text = StringOfBytes(live_.bytes);
    live_text.resize(std::min(live_text.size(), live_text.find(u'\0')));
    if (live_text != entry.file_text() && EqualsNoCase(live_text, entry.file_text())) {
      s += u"\r\nLetter case:        the registry's text differs from the file's in letter case only; "
           u"a merge writes the file's spelling";
    }
  }
  s += u"\r\nType:               " + (key_row ? entry.ColumnText(4) : std::u16string(TypeName(type))) + u" in the file; ";
  switch (live_.state) {
    case LiveValue::State::NoRoot: s += u"no registry to look in"; break;
    case LiveValue::State::KeyAbsent: s += u"the key does not exist in the registry"; break;
    case LiveValue::State::ValueAbsent: s += u"the registry holds no such value"; break;
    case LiveValue::State::Unreadable: s += u"the registry's value cannot be read"; break;
    case LiveValue::State::Present:
      s += key_row ? std::u16string(u"the key exists in the registry") : RegistryTypeLabel(live_.type) + u" in the registry";
      break;
  }
  s += u"\r\nLine in the file:   " + Decimal(entry.line());
  if (entry.refused()) s += u"\r\nNot read:           " + std::u16string(entry.problem());
  s += u"\r\nCurrent HIVE data:  read from the registry when this view opened";
  if (!read_at.empty()) s += u", at " + read_at;
  s += kLineEnd;

  if (key_row) {
    const bool deletion = entry.form() == EntryForm::DeleteKey;
    file_text_ = deletion ? u"(the file deletes this key and everything below it)\r\n"
                          : u"(the file creates this key, empty)\r\n";
    if (present) live_text_ = deletion ? live_.subtree : u"(the key exists)\r\n";
    else if (live_.state == LiveValue::State::NoRoot) live_text_ = u"(not a root of the registry)\r\n";
    else live_text_ = u"(the key does not exist)\r\n";
    return;
  }
  const bool dump = (file_has_data && ShownAsDump(type)) || (present && ShownAsDump(live_.type));
  if (dump) {
    std::optional<std::span<const std::uint8_t>> live_side;
    if (present) live_side = std::span<const std::uint8_t>(live_.bytes);
    dump_.emplace(std::span<const std::uint8_t>(file_bytes_), live_side);
    s += u"Data:               " + Count(file_bytes_.size()) + u" bytes in the file";
    if (present) {
      s += u", " + Count(live_.bytes.size()) + u" in the registry; " + Count(dump_->differing_bytes()) +
           u" differ (marked *)";
    }
    s += kLineEnd;
    return;
  }
  if (type == DELETE_VALUE_TYPE) {
    file_text_ = u"(the file deletes this value)\r\n";
  } else if (type == kUnknownValueType) {
    file_text_ = u"(the line could not be read)\r\n" + std::u16string(entry.problem()) + u"\r\n";
  } else {
    file_text_ = DataText(type, file_bytes_, expand);
  }
  switch (live_.state) {
    case LiveValue::State::Present: live_text_ = DataText(live_.type, live_.bytes, expand); break;
    case LiveValue::State::NoRoot: live_text_ = u"(not a root of the registry)\r\n"; break;
    case LiveValue::State::KeyAbsent: live_text_ = u"(the key does not exist)\r\n"; break;
    case LiveValue::State::ValueAbsent: live_text_ = u"(no such value)\r\n"; break;
    case LiveValue::State::Unreadable: live_text_ = u"(the value cannot be read)\r\n"; break;
  }
}

std::u16string ValueDetails::Text() const {
  std::u16string text = summary_ + u"\r\n";
  if (dump_) {
    text.reserve(text.size() + (dump_->line_count() + 1) * (dump_->two_sides() ? 140 : 80));
    text += dump_->HeaderLine() + u"\r\n";
    for (size_t i = 0; i < dump_->line_count(); ++i) text += dump_->Line(i) + u"\r\n";
    return text;
  }
  text += std::u16string(kFileSideHeading) + u":\r\n" + file_text_ + u"\r\n";
  text += std::u16string(kLiveSideHeading) + u":\r\n" + live_text_;
  return text;
}

}  // namespace hivemend
