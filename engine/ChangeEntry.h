// One compared value: a row of the list of changes, typed. The row keeps what
// the load knows (root, status, type code, names, data on both sides); the
// seven column texts are made from it when they are needed (shown, sorted,
// printed), and nothing reads a column text back.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Registry.h"

namespace hivemend {

// Not a registry type: marks a value whose merge deletes it ("=-").
inline constexpr std::uint32_t DELETE_VALUE_TYPE = 1010103;
// A value line whose data form the program does not know.
inline constexpr std::uint32_t kUnknownValueType = 0xFFFFFFFFu;

enum class EntryStatus : std::uint8_t {
  Missing,      // the value, or its key, does not exist
  Delete,       // a deletion whose key does not exist
  Same,         // the registry holds this value already
  Changed,      // the value exists with other data
  ChangedType,  // the value exists with another type (or the file deletes it)
};

// "MISSING", "DELETE", "SAME", "CHANGED", "CHANGED TYPE".
std::u16string_view StatusText(EntryStatus status);

inline constexpr std::u16string_view kNotPresentable = u"[not presentable value]";
inline constexpr std::u16string_view kProductName = u"Hivemend";

inline constexpr int kColumnCount = 7;
// Column headers, in column order.
inline constexpr std::u16string_view kColumnHeaders[kColumnCount] = {
    u"HIVE", u"Compare", u"Key", u"Value Name", u"Type", u"REG file data", u"Current HIVE data"};

// The tab-separated form of rows, as the console front end prints them and
// the window copies them: a header line of the column headers, then one line
// per row with its seven column texts; inside a text, tab, CR, LF and
// backslash are written as \t, \r, \n and \\. Lines end with "\n".
std::u16string EscapeField(std::u16string_view text);
std::u16string TabSeparatedHeader();
class ChangeEntry;
void AppendTabSeparatedRow(const ChangeEntry& entry, std::u16string& out);

// "REG_SZ", ..., "DELETE", or "UNKNOWN - ERROR" for any other code.
std::u16string_view TypeName(std::uint32_t type_code);

// The root selected by one of the ten spellings (HKEY_CLASSES_ROOT/HKCR, ...),
// compared without regard to case; none for anything else.
std::optional<RegRoot> RootFromName(std::u16string_view root_name);
std::u16string_view RootLongName(RegRoot root);

// Decodes the escapes of a quoted REG text: every "\\" becomes "\", then every
// "\"" becomes '"'. Used for string data and for value names.
std::u16string DecodeRegEscapes(std::u16string_view text);
// The registry name of a value as a row or the file names it: "@" is the
// default value (the empty name); other names are decoded.
std::u16string RegistryValueName(std::u16string_view name_as_written);

// A key line of the file, shared by the rows of its values (through KeyRef).
class EntryKey {
 public:
  EntryKey(std::u16string_view root_name, std::u16string_view path);
  EntryKey(const EntryKey&) = delete;
  EntryKey& operator=(const EntryKey&) = delete;

  std::u16string_view root_name;  // as written, in the file's letter case
  std::u16string path;            // below the root, as written
  std::optional<RegRoot> root;    // none when the root name is not one of the ten

 private:
  friend class KeyRef;
  // The root name when it is not one of the ten spellings in their usual
  // letter case (those are viewed where they are defined).
  std::u16string own_root_name_;
  mutable std::atomic<std::uint32_t> references_{0};
};

// A shared, counted reference to a key: one pointer wide, because every row
// holds one. Rows may be made on one thread and kept on another.
class KeyRef {
 public:
  KeyRef() = default;
  static KeyRef Make(std::u16string_view root_name, std::u16string_view path) {
    return KeyRef(new EntryKey(root_name, path));
  }
  KeyRef(const KeyRef& other) : key_(other.key_) { Retain(); }
  KeyRef(KeyRef&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  KeyRef& operator=(KeyRef other) noexcept {
    std::swap(key_, other.key_);
    return *this;
  }
  ~KeyRef() { Release(); }

  const EntryKey* get() const { return key_; }
  const EntryKey& operator*() const { return *key_; }
  const EntryKey* operator->() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  explicit KeyRef(const EntryKey* key) : key_(key) { Retain(); }
  void Retain() const {
    if (key_) key_->references_.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() const {
    if (key_ && key_->references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete key_;
  }
  const EntryKey* key_ = nullptr;
};

// What the comparison found in the registry for a row's value.
enum class LiveState : std::uint8_t {
  None,        // absent, or not read
  SameBytes,   // present with exactly the file's bytes (its type may differ)
  OwnBytes,    // present with other bytes, kept by the row
};

class ChangeEntry {
 public:
  ChangeEntry() = default;
  // file_bytes: the data of record (for REG_SZ the decoded text's units and
  // its NUL); live_bytes: the registry's bytes, used when live is OwnBytes.
  ChangeEntry(KeyRef key, std::u16string_view name, std::uint32_t type, std::uint32_t line, EntryStatus status,
              std::span<const std::uint8_t> file_bytes, bool has_block, LiveState live, std::uint32_t live_type,
              std::span<const std::uint8_t> live_bytes);
  ChangeEntry(ChangeEntry&&) noexcept = default;
  ChangeEntry& operator=(ChangeEntry&&) noexcept = default;

  const EntryKey& key() const { return key_ ? *key_ : NoKey(); }
  const std::optional<RegRoot>& root() const { return key().root; }
  EntryStatus status() const { return status_; }
  // The file's type code, DELETE_VALUE_TYPE or kUnknownValueType.
  std::uint32_t type() const { return type_; }
  // The value line's number in the file, as a text editor counts lines.
  std::uint32_t line() const { return line_; }
  // As written, escapes kept; "@" for the default value.
  std::u16string_view name() const { return {blob_.get(), name_units_}; }
  // Decoded; empty for the default value.
  std::u16string registry_name() const { return RegistryValueName(name()); }

  // What a merge writes: the dword's 4 bytes, the hex form's bytes, a string's
  // decoded units with their NUL; empty for a deletion, an unknown form and a
  // hex form without data.
  std::span<const std::uint8_t> file_bytes() const;
  // Whether the line carried a data block (dword and hex forms with data).
  bool has_block() const { return has_block_; }
  // REG_SZ: the decoded text (without its NUL); empty otherwise.
  std::u16string_view file_text() const;
  // REG_DWORD: the value; 0 otherwise.
  std::uint32_t file_dword() const;

  LiveState live() const { return live_; }
  // The registry's type; 0 when live() is None.
  std::uint32_t live_type() const;
  // The registry's bytes; empty when live() is None.
  std::span<const std::uint8_t> live_bytes() const;

  // One column's text, made now. Appending spares an allocation per cell.
  void AppendColumnText(int column, std::u16string& out) const;
  std::u16string ColumnText(int column) const;

 private:
  static const EntryKey& NoKey();
  // Where the live part starts in the block (in units).
  size_t LiveAt() const;

  // One block holds the name's units, then the file's bytes, then (unless
  // live is None) the live type, and (for OwnBytes) the live size and bytes.
  // Rows are many: the row itself stays small.
  KeyRef key_;
  std::unique_ptr<char16_t[]> blob_;
  std::uint32_t name_units_ = 0;
  std::uint32_t file_size_ = 0;
  std::uint32_t type_ = kUnknownValueType;
  std::uint32_t line_ = 0;
  EntryStatus status_ = EntryStatus::Missing;
  LiveState live_ = LiveState::None;
  bool has_block_ = false;
};

}  // namespace hivemend
