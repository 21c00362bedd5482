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
#include <vector>

#include "engine/ValueText.h"
#include "platform/Registry.h"
#include "platform/RegistryTree.h"

namespace hivemend {

// Not a registry type: marks a value whose merge deletes it ("=-").
inline constexpr std::uint32_t DELETE_VALUE_TYPE = 1010103;
// Not a registry type: marks a key whose merge deletes it with its subtree ("[-ROOT\path]").
inline constexpr std::uint32_t DELETE_KEY_TYPE = 1010104;
// Not a registry type: marks a key that the merge creates without a value (see EntryForm::CreateKey).
inline constexpr std::uint32_t CREATE_KEY_TYPE = 1010105;
// A value line that cannot be read (EntryForm::Unknown).
inline constexpr std::uint32_t kUnknownValueType = 0xFFFFFFFFu;

// The kind of line a row comes from. A row's type code alone cannot tell,
// because "hex(N):" may name any 32-bit type, those of the markers above too.
enum class EntryForm : std::uint8_t {
  String,       // "name"="text": REG_SZ, compared as text without regard to case
  Dword,        // dword:
  Hex,          // hex:, hex(0):, hex(2):, hex(7):, hex(b):
  NumberedHex,  // hex(N): with any other N: registry type N, compared by type and bytes
  DeleteValue,  // "name"=-
  DeleteKey,    // [-ROOT\path]: the key with its whole subtree
  CreateKey,    // a key line without values that follows the deletion of that key or one above it
  Unknown,      // a value line refused: it cannot be read exactly (the row says why)
};

// What a row's type is: its form, its type code (the registry type for the
// value forms, else the marker of the form) and, for a numbered type without
// a name, how the file spells the number (see HexTypeSpelling).
struct EntryType {
  // The form that a code's usual line has (REG_SZ a string, REG_DWORD dword:,
  // the markers their forms, REG_EXPAND_SZ, REG_BINARY, REG_MULTI_SZ and
  // REG_QWORD a hex form, anything else hex(N)).
  EntryType(std::uint32_t code);  // NOLINT: implicit on purpose
  EntryType(EntryForm form, std::uint32_t code, std::uint16_t spelling = 0)
      : form(form), code(code), spelling(spelling) {}
  EntryForm form;
  std::uint32_t code;
  std::uint16_t spelling = 0;
};

// The digits of "hex(N)" as written, kept in 16 bits: leading zeros and the
// letter case of each digit. Digits that are not 1 to 8 hexadecimal digits
// give 0 (the plain spelling).
std::uint16_t HexTypeSpelling(std::u16string_view digits);
// "hex(N)" for code, with the digits spelled as kept.
std::u16string HexTypeText(std::uint32_t code, std::uint16_t spelling);
// The registry's name of a type (REG_NONE to REG_QWORD), or empty.
std::u16string_view RegistryTypeName(std::uint32_t code);

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
// The console prints its own data texts; Copy in the window the list's.
class ChangeEntry;
void AppendTabSeparatedRow(const ChangeEntry& entry, std::u16string& out,
                           DataTextStyle style = DataTextStyle::Console);

// "REG_SZ", ..., "DELETE", or "UNKNOWN - ERROR" for any other code.
std::u16string_view TypeName(std::uint32_t type_code);
// The "Type" column's text: the registry's name of the type, "hex(N)" for a
// number without a name, "DELETE", "DELETE KEY", "CREATE KEY" or "UNKNOWN - ERROR".
std::u16string TypeText(const EntryType& type);

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

// One load of a file, shared by the keys of its rows.
struct LoadSource {
  std::u16string path;          // the file
  std::uint64_t sequence = 0;   // loads are numbered from 1 in the order they start
  // The registry's change clock when the load started (Registry::ChangeClock);
  // 0 when there was no registry. A key not changed since then still holds
  // what the rows of this load read from it.
  std::uint64_t clock = 0;
};

// A key line of the file, shared by the rows of its values (through KeyRef).
class EntryKey {
 public:
  EntryKey(std::u16string_view root_name, std::u16string_view path);
  EntryKey(const EntryKey&) = delete;
  EntryKey& operator=(const EntryKey&) = delete;

  std::u16string_view root_name;  // as written, in the file's letter case
  std::u16string path;            // below the root, as written
  std::optional<RegRoot> root;    // none when the root name is not one of the ten
  std::shared_ptr<const LoadSource> source;  // the load the key line came from; none for rows made otherwise

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
  static KeyRef Make(std::u16string_view root_name, std::u16string_view path,
                     std::shared_ptr<const LoadSource> source = nullptr) {
    auto* key = new EntryKey(root_name, path);
    key->source = std::move(source);
    return KeyRef(key);
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
  None,        // not read (no root, an unknown form, a failed read)
  Absent,      // the value, or its key, did not exist
  SameBytes,   // present with exactly the file's bytes (its type may differ)
  OwnBytes,    // present with other bytes, kept by the row
};

class ChangeEntry {
 public:
  ChangeEntry() = default;
  // file_bytes: the data of record (for REG_SZ the decoded text's units and
  // its NUL); live_bytes: the registry's bytes, used when live is OwnBytes.
  // A refused line (form Unknown) has no data: its file_bytes are the units of
  // its problem text instead.
  ChangeEntry(KeyRef key, std::u16string_view name, EntryType type, std::uint32_t line, EntryStatus status,
              std::span<const std::uint8_t> file_bytes, bool has_block, LiveState live, std::uint32_t live_type,
              std::span<const std::uint8_t> live_bytes);
  ChangeEntry(ChangeEntry&&) noexcept = default;
  ChangeEntry& operator=(ChangeEntry&&) noexcept = default;

  const EntryKey& key() const { return key_ ? *key_ : NoKey(); }
  const std::optional<RegRoot>& root() const { return key().root; }
  EntryStatus status() const { return status_; }
  // The file's type code, or the marker of a form that is no value
  // (DELETE_VALUE_TYPE, DELETE_KEY_TYPE, CREATE_KEY_TYPE, kUnknownValueType).
  std::uint32_t type() const { return type_; }
  EntryForm form() const { return form_; }
  EntryType entry_type() const { return {form_, type_, spelling_}; }
  // Whether the row stores a value (as opposed to deleting one, a key, ...).
  bool writes_value() const {
    return form_ == EntryForm::String || form_ == EntryForm::Dword || form_ == EntryForm::Hex ||
           form_ == EntryForm::NumberedHex;
  }
  // The value line's number in the file, as a text editor counts lines.
  std::uint32_t line() const { return line_; }
  // As written, escapes kept; "@" for the default value.
  std::u16string_view name() const { return {blob_.get(), name_units_}; }
  // Decoded; empty for the default value.
  std::u16string registry_name() const { return RegistryValueName(name()); }

  // What a merge writes: the dword's 4 bytes, the hex form's bytes, a string's
  // decoded units with their NUL; empty for a deletion, a refused line and a
  // hex form without data.
  std::span<const std::uint8_t> file_bytes() const;
  // A refused line (form Unknown): why, with its line number ("line 12: ...").
  std::u16string_view problem() const;
  bool refused() const { return form_ == EntryForm::Unknown; }
  // Whether the line carried a data block (dword and hex forms with data).
  bool has_block() const { return has_block_; }
  // REG_SZ: the decoded text (without its NUL); empty otherwise.
  std::u16string_view file_text() const;
  // REG_DWORD: the value; 0 otherwise.
  std::uint32_t file_dword() const;

  LiveState live() const { return live_; }
  // The registry's type; 0 when live() is None or Absent. For a key deletion
  // the live bytes hold the subtree's counts (SubtreeCounts).
  std::uint32_t live_type() const;
  // The registry's bytes; empty when live() is None.
  std::span<const std::uint8_t> live_bytes() const;

  // One column's text, made now. Appending spares an allocation per cell.
  // style: the data columns' texts (the list's, or the console's).
  void AppendColumnText(int column, std::u16string& out, DataTextStyle style = DataTextStyle::Console) const;
  std::u16string ColumnText(int column, DataTextStyle style = DataTextStyle::Console) const;

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
  std::uint16_t spelling_ = 0;
  EntryStatus status_ = EntryStatus::Missing;
  LiveState live_ = LiveState::None;
  EntryForm form_ = EntryForm::Unknown;
  bool has_block_ = false;
};

// What a key deletion would remove: every value of the key and below it, and
// every key below it. Kept as a key deletion row's live bytes.
using SubtreeCounts = RegTreeCounts;
std::vector<std::uint8_t> SubtreeCountBytes(SubtreeCounts counts);
// "3 values, 2 subkeys" ("1 value, 1 subkey").
std::u16string SubtreeCountText(SubtreeCounts counts);

}  // namespace hivemend
