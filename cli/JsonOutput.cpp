#include "cli/JsonOutput.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstring>

#include "platform/Text.h"

namespace hivemend {
namespace {

// Members keep the order they are written in, as the README lists them.
using Json = nlohmann::ordered_json;

Json Text(std::u16string_view text) { return ToUtf8(text); }

// Whether the units hold no unpaired surrogate: only such text converts to
// UTF-8 and back unchanged.
bool IsWellFormed(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

std::u16string Units(std::span<const std::uint8_t> bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

// Appends JSON values to a text. Strings are escaped by the library's own
// serializer, kept for the whole document: made anew for every string (as
// dump() does) it costs more than the rest of a row, measured on a million
// rows. Member names are fixed texts that need no escaping.
class JsonText {
 public:
  explicit JsonText(std::string& out)
      : out_(out), serializer_(nlohmann::detail::output_adapter<char>(out), ' ') {}

  void Name(std::string_view name) {
    out_ += '"';
    out_ += name;
    out_ += "\":";
  }
  void String(std::u16string_view text) {
    std::string& utf8 = holder_.get_ref<std::string&>();
    utf8.clear();
    AppendUtf8(text, utf8);
    serializer_.dump(holder_, false, false, 0);
  }
  void Number(std::uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
  }
  void Bool(bool value) { out_ += value ? "true" : "false"; }
  void Null() { out_ += "null"; }
  void Raw(std::string_view text) { out_ += text; }

 private:
  std::string& out_;
  Json holder_ = std::string();
  nlohmann::detail::serializer<Json> serializer_;
};

// A string's text: even size, one NUL at the very end and none before it.
bool WriteStringData(std::span<const std::uint8_t> bytes, JsonText& out) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
  const std::u16string units = Units(bytes);
  const std::u16string_view text(units.data(), units.size() - 1);
  if (units.back() != u'\0' || text.find(u'\0') != std::u16string_view::npos || !IsWellFormed(text)) return false;
  out.Name("text");
  out.String(text);
  return true;
}

// A multi-string's texts: each non-empty text ends with a NUL, and one more
// NUL ends the list (a list without texts is that NUL alone).
bool WriteMultiStringData(std::span<const std::uint8_t> bytes, JsonText& out) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
  const std::u16string units = Units(bytes);
  if (units.back() != u'\0') return false;
  std::vector<std::u16string_view> texts;
  if (units.size() > 1) {
    if (units[units.size() - 2] != u'\0') return false;
    const std::u16string_view all(units.data(), units.size() - 1);
    for (size_t start = 0; start < all.size();) {
      const size_t end = all.find(u'\0', start);
      const std::u16string_view text = all.substr(start, end - start);
      if (text.empty() || !IsWellFormed(text)) return false;
      texts.push_back(text);
      start = end + 1;
    }
  }
  out.Name("strings");
  out.Raw("[");
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i) out.Raw(",");
    out.String(texts[i]);
  }
  out.Raw("]");
  return true;
}

std::uint64_t LittleEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

void WriteHex(std::span<const std::uint8_t> bytes, JsonText& out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(bytes.size() * 2, '0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    text[2 * i] = kDigits[bytes[i] >> 4];
    text[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  out.Name("hex");
  out.Raw("\"");
  out.Raw(text);
  out.Raw("\"");
}

// Writes the one member that carries the data.
void WriteData(std::uint32_t type, std::span<const std::uint8_t> bytes, JsonText& out) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      if (WriteStringData(bytes, out)) return;
      break;
    case kRegMultiSz:
      if (WriteMultiStringData(bytes, out)) return;
      break;
    case kRegDword:
    case kRegQword:
      if (bytes.size() == (type == kRegDword ? 4u : 8u)) {
        out.Name("number");
        out.Number(LittleEndian(bytes));
        return;
      }
      break;
    default: break;
  }
  WriteHex(bytes, out);
}

void WriteFileData(const ChangeEntry& entry, JsonText& out) {
  // A deletion writes nothing; a line that could not be read has no data.
  // Key rows carry no value either.
  if (!entry.writes_value()) return out.Null();
  out.Raw("{");
  WriteData(entry.type(), entry.file_bytes(), out);
  out.Raw("}");
}

void WriteRegistryData(const ChangeEntry& entry, JsonText& out) {
  if (entry.live() == LiveState::None || entry.live() == LiveState::Absent) return out.Null();
  if (entry.form() == EntryForm::DeleteKey || entry.form() == EntryForm::CreateKey) return out.Null();
  out.Raw("{");
  out.Name("type");
  out.String(TypeName(entry.live_type()));
  out.Raw(",");
  out.Name("type_code");
  out.Number(entry.live_type());
  out.Raw(",");
  WriteData(entry.live_type(), entry.live_bytes(), out);
  out.Raw("}");
}

Json TextList(const std::vector<std::u16string_view>& texts) {
  Json list = Json::array();
  for (std::u16string_view text : texts) list.push_back(Text(text));
  return list;
}

Json TextOrNull(std::u16string_view text) { return text.empty() ? Json(nullptr) : Text(text); }

}  // namespace

std::string JsonDataText(std::uint32_t type, std::span<const std::uint8_t> bytes) {
  std::string text = "{";
  JsonText out(text);
  WriteData(type, bytes, out);
  text += '}';
  return text;
}

struct JsonOutput::Impl {
  explicit Impl(std::FILE* f) : out(f), text(buffer) {}
  std::FILE* out;
  std::string buffer;
  JsonText text;
  bool any_row = false;
  bool rows_closed = false;
  bool finished = false;

  // Writes in large pieces: a system call per row would cost more than the row.
  void Flush() {
    if (!buffer.empty()) std::fwrite(buffer.data(), 1, buffer.size(), out);
    buffer.clear();
  }
  void FlushWhenFull() {
    if (buffer.size() >= (1 << 16)) Flush();
  }
  void Member(std::string_view name, const Json& value) {
    buffer += ",\n";
    buffer += Json(name).dump();
    buffer += ':';
    buffer += value.dump();
  }
  void CloseRows() {
    if (rows_closed) return;
    buffer += "\n]";
    rows_closed = true;
  }
};

JsonOutput::JsonOutput(std::FILE* out, std::string_view command, std::u16string_view file)
    : impl_(std::make_unique<Impl>(out)) {
  impl_->buffer = "{\"command\":" + Json(command).dump() + ",\n\"file\":" + Text(file).dump() + ",\n\"rows\":[";
}

JsonOutput::~JsonOutput() { Finish(); }

void JsonOutput::Row(const ChangeEntry& entry, bool would_change, std::optional<bool> checked) {
  JsonText& out = impl_->text;
  out.Raw(impl_->any_row ? ",\n{" : "\n{");
  impl_->any_row = true;
  out.Name("line");
  out.Number(entry.line());
  out.Raw(",");
  out.Name("root");
  out.String(entry.key().root_name);
  out.Raw(",");
  out.Name("root_key");
  if (entry.root()) {
    out.String(RootLongName(*entry.root()));
  } else {
    out.Null();
  }
  out.Raw(",");
  out.Name("key");
  out.String(entry.key().path);
  out.Raw(",");
  out.Name("name");
  out.String(entry.name());
  out.Raw(",");
  out.Name("registry_name");
  out.String(entry.registry_name());
  out.Raw(",");
  out.Name("type");
  out.String(TypeName(entry.type()));
  out.Raw(",");
  out.Name("type_code");
  out.Number(entry.type());
  out.Raw(",");
  out.Name("status");
  out.String(StatusText(entry.status()));
  if (entry.refused()) {
    out.Raw(",");
    out.Name("problem");
    out.String(entry.problem());
  }
  out.Raw(",");
  out.Name("would_change");
  out.Bool(would_change);
  if (checked) {
    out.Raw(",");
    out.Name("checked");
    out.Bool(*checked);
  }
  out.Raw(",");
  out.Name("file_data");
  WriteFileData(entry, out);
  out.Raw(",");
  out.Name("registry_data");
  WriteRegistryData(entry, out);
  out.Raw("}");
  impl_->FlushWhenFull();
}

void JsonOutput::LoadEnd(const JsonLoadEnd& end) {
  impl_->CloseRows();
  impl_->Member("error", end.normal ? Json(nullptr) : Text(end.error));
  impl_->Member("status", TextList(end.status));
  Json counts = Json::object();
  counts["matched"] = end.counts.matched;
  counts["differ"] = end.counts.differ;
  counts["do_not_exist"] = end.counts.do_not_exist;
  counts["would_change"] = end.would_change;
  impl_->Member("counts", counts);
}

void JsonOutput::MergeEnd(const JsonMergeEnd& end) {
  impl_->CloseRows();
  Json merge = Json::object();
  merge["merged"] = end.merged;
  merge["rows_merged"] = end.rows_merged;
  merge["undo_file"] = TextOrNull(end.undo_file);
  merge["error_log"] = TextOrNull(end.error_log);
  merge["errors"] = TextOrNull(end.errors);
  merge["messages"] = TextList(end.messages);
  merge["succeeded"] = end.succeeded;
  impl_->Member("merge", merge);
}

void JsonOutput::Finish() {
  if (impl_->finished) return;
  impl_->finished = true;
  impl_->CloseRows();
  impl_->buffer += "}\n";
  impl_->Flush();
  std::fflush(impl_->out);
}

}  // namespace hivemend
