#include "engine/Baseline.h"

#include "engine/ChangeEntry.h"
#include "engine/RegParser.h"
#include "engine/RegText.h"

namespace hivemend {
namespace {

class BaselineSink final : public ParseSink {
 public:
  explicit BaselineSink(Registry& registry) : registry_(registry) {}

  void OnKeyLine(std::u16string_view root_name, std::u16string_view key_path) override {
    if (auto root = RootFromName(root_name)) {
      RegKey key(registry_);
      (void)key.Create(*root, key_path, kKeyWrite);
    }
  }
  void OnValue(ParsedValue& value) override {
    // A line that cannot be read is skipped, as a merge leaves it out.
    if (!value.root || value.form == EntryForm::Unknown) return;
    if (value.form == EntryForm::DeleteKey) {
      (void)registry_.DeleteTree(*value.root, value.key_path);
      return;
    }
    RegKey key(registry_);
    if (key.Create(*value.root, value.key_path, kKeyWrite) != kRegOk) return;
    if (value.form == EntryForm::CreateKey) return;
    const std::u16string name = RegistryValueName(value.name);
    if (value.form == EntryForm::DeleteValue) {
      (void)key.Delete(name);
    } else if (value.form == EntryForm::String) {
      const std::u16string text = DecodeRegEscapes(value.string_data);
      (void)key.Set(name, kRegSz, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                    static_cast<std::uint32_t>((text.size() + 1) * 2));
    } else {
      (void)key.Set(name, value.type, value.bytes.data(), static_cast<std::uint32_t>(value.bytes.size()));
    }
  }
  void OnStatusText(const std::u16string& text) override { problem_ = text; }
  void OnErrorMessage(const std::u16string& text) override { problem_ = text; }

  std::u16string problem_;

 private:
  Registry& registry_;
};

}  // namespace

bool LoadBaselineText(std::u16string_view text, Registry& registry, std::u16string* error, AnsiToUtf16Fn narrow) {
  BaselineSink sink(registry);
  const ParseResult result = ParseRegText(text, sink, narrow);
  if (result.end == ParseEnd::Error) {
    if (error) *error = sink.problem_;
    return false;
  }
  return true;
}

bool LoadBaseline(const std::u16string& path, Registry& registry, std::u16string* error) {
  ReadOnlyFile file;
  std::u16string raw;
  size_t byte_count = 0;
  if (file.Open(path) != FileReadStatus::Ok) {
    if (error) *error = u"cannot read the file: " + FileOpenErrorText(file.open_error());
    return false;
  }
  if (file.ReadAll(raw, &byte_count) != FileReadStatus::Ok) {
    if (error) *error = u"cannot read the file";
    return false;
  }
  AnsiToUtf16Fn narrow = nullptr;
  const std::u16string text = DecodeRegText(std::move(raw), byte_count, ThreadAnsiToUtf16, &narrow);
  return LoadBaselineText(text, registry, error, narrow);
}

}  // namespace hivemend
