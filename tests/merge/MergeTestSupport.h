// Helpers of the merge tests: a registry that fails where a test says, a
// recording MergeUi, rows, values and files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/ChangeEntry.h"
#include "tests/EntryBuilder.h"
#include "merge/Merge.h"
#include "platform/MemoryRegistry.h"
#include "platform/Text.h"
#include "tests/TestSupport.h"

namespace hivemend::test {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text of a file that starts with FF FE; fails the test otherwise.
inline std::u16string ReadUtf16File(const std::filesystem::path& path) {
  const std::string bytes = ReadBytes(path);
  EXPECT_GE(bytes.size(), 2u) << path;
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') {
    ADD_FAILURE() << "no FF FE at the start of " << path;
    return {};
  }
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return text;
}

// A MemoryRegistry that answers chosen operations with a failure. A rule
// matches an operation kind and a key path (compared without regard to case).
class FaultyRegistry final : public Registry {
 public:
  enum Op { kOpen, kCreate, kQuery, kSet, kDelete, kDeleteTree, kEnumerate };

  void FailOn(Op op, std::u16string_view key_path, long status = kRegAccessDenied) {
    rules_.push_back({op, std::u16string(key_path), status});
  }
  // Keys at or below path refuse every write: opening or creating them with
  // a write right, as the registry does for keys of another account.
  void ReadOnlyBelow(std::u16string_view path) { read_only_.emplace_back(path); }
  MemoryRegistry& memory() { return memory_; }
  // Called before every operation, with the kind and the key path.
  std::function<void(Op, std::u16string_view)> observer;

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (long s = Check(kOpen, path)) return s;
    const long s = memory_.OpenKey(root, path, access, key);
    if (s == kRegOk && CheckWrite(path, access) != kRegOk) {
      memory_.CloseKey(*key);
      return kRegAccessDenied;
    }
    if (s == kRegOk) paths_[*key] = std::u16string(path);
    return s;
  }
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override {
    if (long s = Check(kCreate, path)) return s;
    if (long s = CheckWrite(path, kKeyWrite)) return s;
    const long s = memory_.CreateKey(root, path, access, key);
    if (s == kRegOk) paths_[*key] = std::u16string(path);
    return s;
  }
  long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    if (long s = Check(kQuery, paths_[key])) return s;
    return memory_.QueryValue(key, name, type, data, size);
  }
  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    if (long s = Check(kSet, paths_[key])) return s;
    return memory_.SetValue(key, name, type, data, size);
  }
  long DeleteValue(Handle key, std::u16string_view name) override {
    if (long s = Check(kDelete, paths_[key])) return s;
    return memory_.DeleteValue(key, name);
  }
  void CloseKey(Handle key) override {
    paths_.erase(key);
    memory_.CloseKey(key);
  }
  long QueryKeyInfo(Handle key, RegKeyInfo* info) override {
    if (long s = Check(kEnumerate, paths_[key])) return s;
    return memory_.QueryKeyInfo(key, info);
  }
  long EnumKey(Handle key, std::uint32_t index, std::u16string* name) override {
    if (long s = Check(kEnumerate, paths_[key])) return s;
    return memory_.EnumKey(key, index, name);
  }
  long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                 std::vector<std::uint8_t>* data) override {
    if (long s = Check(kEnumerate, paths_[key])) return s;
    return memory_.EnumValue(key, index, name, type, data);
  }
  long DeleteTree(RegRoot root, std::u16string_view path) override {
    if (long s = Check(kDeleteTree, path)) return s;
    return memory_.DeleteTree(root, path);
  }
  std::uint64_t ChangeClock() override { return memory_.ChangeClock(); }

 private:
  struct Rule {
    Op op;
    std::u16string path;
    long status;
  };
  long CheckWrite(std::u16string_view path, std::uint32_t access) const {
    constexpr std::uint32_t kWriteRights = kKeySetValue | 0x0004 /* create subkeys */ | kKeyDelete | kGenericWrite;
    if ((access & kWriteRights) == 0) return kRegOk;
    for (const std::u16string& top : read_only_) {
      if (path.size() >= top.size() && EqualsNoCase(path.substr(0, top.size()), top) &&
          (path.size() == top.size() || top.empty() || path[top.size()] == u'\\'))
        return kRegAccessDenied;
    }
    return kRegOk;
  }
  long Check(Op op, std::u16string_view path) {
    if (observer) observer(op, path);
    for (const Rule& rule : rules_) {
      if (rule.op == op && EqualsNoCase(rule.path, path)) return rule.status;
    }
    return kRegOk;
  }
  MemoryRegistry memory_;
  std::vector<Rule> rules_;
  std::vector<std::u16string> read_only_;
  std::map<Handle, std::u16string> paths_;
};

// Answers the confirmation as told and records every message.
class RecordingUi final : public MergeUi {
 public:
  explicit RecordingUi(bool answer_yes = true) : answer_yes_(answer_yes) {}
  bool Confirm(std::u16string_view text) override {
    confirmations.emplace_back(text);
    if (on_confirm) on_confirm();
    return answer_yes_;
  }
  void Show(MergeMessage kind, std::u16string_view text) override { shown.push_back({kind, std::u16string(text)}); }
  UnwritableChoice ChooseForUnwritable(std::u16string_view text, bool others) override {
    unwritable.emplace_back(std::u16string(text), others);
    return unwritable_choice;
  }

  struct Message {
    MergeMessage kind;
    std::u16string text;
  };
  std::vector<std::u16string> confirmations;
  std::vector<Message> shown;
  std::vector<std::pair<std::u16string, bool>> unwritable;  // each question: its text, and whether others remain
  UnwritableChoice unwritable_choice = UnwritableChoice::MergeOthers;
  std::function<void()> on_confirm;

 private:
  bool answer_yes_;
};

// Values as the tests write and read them.
struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> bytes;
  bool operator==(const Value&) const = default;
};


// name is the registry's name (decoded; empty for the default value).
inline void SetValue(Registry& registry, RegRoot root, std::u16string_view key_path, std::u16string_view name,
                     const Value& value) {
  RegKey key(registry);
  ASSERT_EQ(key.Create(root, key_path, kKeyWrite), kRegOk) << Show(key_path);
  ASSERT_EQ(key.Set(name, value.type, value.bytes.empty() ? nullptr : value.bytes.data(),
                    static_cast<std::uint32_t>(value.bytes.size())),
            kRegOk)
      << Show(name);
}
inline std::optional<Value> GetValue(Registry& registry, RegRoot root, std::u16string_view key_path,
                                     std::u16string_view name) {
  RegKey key(registry);
  if (key.Open(root, key_path, kKeyRead) != kRegOk) return std::nullopt;
  Value value;
  std::uint32_t size = 0;
  if (key.Query(name, &value.type, nullptr, &size) != kRegOk) return std::nullopt;
  value.bytes.assign(size, 0);
  if (size != 0 && key.Query(name, &value.type, value.bytes.data(), &size) != kRegOk) return std::nullopt;
  value.bytes.resize(size);
  return value;
}
inline bool KeyExists(Registry& registry, RegRoot root, std::u16string_view key_path) {
  RegKey key(registry);
  return key.Open(root, key_path, kKeyRead) == kRegOk;
}

// A status named by its text, in any letter case (tests write rows as the list
// shows them).
inline EntryStatus StatusNamed(std::u16string_view text) {
  for (EntryStatus s : {EntryStatus::Missing, EntryStatus::Delete, EntryStatus::Same, EntryStatus::Changed,
                        EntryStatus::ChangedType}) {
    if (EqualsNoCase(StatusText(s), text)) return s;
  }
  ADD_FAILURE() << "no status " << ToUtf8(text);
  return EntryStatus::Missing;
}
inline std::uint32_t TypeNamed(std::u16string_view name) {
  for (std::uint32_t t : {kRegSz, kRegExpandSz, kRegBinary, kRegDword, kRegMultiSz, kRegQword, DELETE_VALUE_TYPE,
                          DELETE_KEY_TYPE, CREATE_KEY_TYPE}) {
    if (TypeText(EntryType(t)) == name) return t;
  }
  return kUnknownValueType;
}

// A row as the load would list it: for REG_SZ the text is the data of record,
// for the other types the block.
inline ChangeEntry Row(std::u16string_view hive, std::u16string_view status, std::u16string_view key,
                       std::u16string_view name, std::u16string_view type_name, std::u16string_view file_text = {},
                       std::optional<std::vector<std::uint8_t>> data = std::nullopt) {
  EntryFields fields;
  fields.root_name = hive;
  fields.path = key;
  fields.name = name;
  fields.type = TypeNamed(type_name);
  fields.status = StatusNamed(status);
  if (fields.type == kRegSz) fields.file = TextBytes(file_text);
  if (data) fields.file = std::move(*data);
  return MakeEntry(fields);
}

// The undo file's text after its header and comment lines.
inline std::string UndoBody(const std::u16string& path) {
  std::u16string text = ReadUtf16File(path);
  const std::u16string_view header = u"Windows Registry Editor Version 5.00\r\n\r\n";
  EXPECT_TRUE(text.starts_with(header));
  text.erase(0, header.size());
  while (text.starts_with(u";")) text.erase(0, text.find(u"\r\n") + 2);
  if (text.starts_with(u"\r\n")) text.erase(0, 2);
  return Show(text);
}

}  // namespace hivemend::test
