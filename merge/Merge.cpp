#include "merge/Merge.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <set>
#include <span>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "engine/MergeEffect.h"
#include "merge/RegistryWriter.h"
#include "platform/File.h"
#include "platform/RegistryName.h"
#include "platform/SystemText.h"
#include "platform/Text.h"

namespace hivemend {
namespace {

// A key's identity: its root and its folded path. A path that starts with a
// backslash names no key (the registry refuses it): it gets an identity of its
// own, so that it never shares the key of the path without the backslash.
std::u16string KeyId(RegRoot root, std::u16string_view path, std::u16string* kept = nullptr) {
  std::u16string folded;
  KeyPathIdentity(path, folded, kept);
  folded.insert(folded.begin(), static_cast<char16_t>(u'0' + static_cast<int>(root)));
  if (!path.empty() && path.front() == u'\\') folded.insert(folded.begin(), u'!');
  return folded;
}

struct KeyState;

// A value's identity within one merge: its key's state (the merge keeps one for
// each key id), in four units, then its registry name, folded. Short, so that
// a hundred thousand of them are cheap to make and to hash.
std::u16string ValueId(const KeyState* key, std::u16string_view registry_name) {
  std::u16string id;
  id.reserve(4 + registry_name.size());
  const auto bits = reinterpret_cast<std::uintptr_t>(key);
  for (int i = 0; i < 4; ++i) id += static_cast<char16_t>(static_cast<std::uint64_t>(bits) >> (16 * i));
  for (const char16_t c : registry_name) id += FoldRegistryChar(c);
  return id;
}

// A hash of a value's identity (ValueId) without making it: rows whose hash
// no other row shares name a value no other row names.
std::uint64_t ValueHash(const KeyState* key, std::u16string_view registry_name) {
  std::uint64_t h = 14695981039346656037ull ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
  h *= 1099511628211ull;
  for (const char16_t c : registry_name) {
    h ^= FoldRegistryChar(c);
    h *= 1099511628211ull;
  }
  return h;
}

// Whether the key id lies at or below the key top.
bool AtOrBelow(std::u16string_view id, std::u16string_view top) {
  if (!id.starts_with(top)) return false;
  // A root's id is its one character: everything of that root lies below.
  return id.size() == top.size() || top.size() == 1 || id[top.size()] == u'\\';
}

// One checked row and what the undo step learnt about it.
struct Planned {
  const ChangeEntry* entry = nullptr;
  // Its key, from the undo step on: the id (KeyId) and the state, both kept
  // by the merge's table of keys.
  const std::u16string* key_id = nullptr;
  KeyState* key = nullptr;
  bool refused = false;  // a failure text was recorded; the row is not written
  bool unwritable = false;  // the account may not write its key
  bool fresh = false;    // its key has not changed since the row's load compared it
  bool unchanged = false;  // writing or deleting it would change nothing: it is neither written nor recorded
  bool shared = false;   // another row may name the same value: the undo step keeps its ValueId
  std::u16string value_id;  // ValueId of a value row, once asked for

  const std::u16string& ValueIdOnce() {
    if (value_id.empty()) value_id = ValueId(key, entry->registry_name());
    return value_id;
  }
};

// A key the merge reads or writes, open while the merge runs.
struct KeyState {
  RegKey key;              // open for reading (and writing when allowed), or not valid
  bool existed = false;    // before the merge
  bool writable = false;   // key allows writing
  long status = kRegOk;    // why it could not be opened, when it could not
  std::uint64_t last_write = std::numeric_limits<std::uint64_t>::max();
};

}  // namespace

struct RowMerge::State {
  State(EntryStore& store, Registry& registry, RowsRead rows_read)
      : store(store), registry(registry), rows_read(rows_read) {}

  EntryStore& store;
  Registry& registry;
  const RowsRead rows_read;
  std::vector<Planned> rows;  // in merge order
  std::unordered_map<std::u16string, KeyState> keys;

  size_t unwritable = 0;
  std::unordered_map<std::u16string, bool> deletable;  // key ids of keys to delete: may the account?

  struct UndoStep;
  struct WriteStep;

  KeyState& Lookup(RegRoot root, std::u16string id, std::u16string_view path) {
    return LookupEntry(root, std::move(id), path).second;
  }
  // The same, with the id as the table keeps it.
  std::pair<const std::u16string, KeyState>& LookupEntry(RegRoot root, std::u16string id, std::u16string_view path) {
    auto [it, inserted] = keys.try_emplace(std::move(id));
    KeyState& state = it->second;
    if (!inserted) return *it;
    state.key = RegKey(registry);
    long status = state.key.Open(root, path, kKeyRead | kKeyWrite);
    state.writable = status == kRegOk;
    if (status == kRegAccessDenied) status = state.key.Open(root, path, kKeyRead);
    state.status = status;
    state.existed = status == kRegOk;
    if (!state.existed) {
      state.key.reset();
      return *it;
    }
    // When the key last changed tells whether its rows' reading still holds;
    // rows read just before hold.
    RegKeyInfo info;
    if (rows_read == RowsRead::Earlier && state.key.Info(&info) == kRegOk) state.last_write = info.last_write;
    return *it;
  }
};

RowMerge::RowMerge(EntryStore& store, Registry& registry, RowsRead rows_read)
    : state_(std::make_unique<State>(store, registry, rows_read)) {
  Rescan();
}

void RowMerge::Rescan() {
  EntryStore& store = state_->store;
  std::vector<Planned>& rows = state_->rows;
  rows.clear();
  state_->unwritable = 0;
  // The order of the files' own lines: loads in the order they started, then
  // lines. Rows made without a load keep the list's order. Sorted by keys
  // made once (a comparison through the rows' keys and loads would cost
  // trips through memory every time), before the rows are made, once each.
  struct Order {
    std::uint64_t load;
    std::uint32_t line;
    std::uint32_t position;  // in the list's order
    const ChangeEntry* entry;
    bool operator<(const Order& o) const { return std::tie(load, line, position) < std::tie(o.load, o.line, o.position); }
  };
  std::vector<Order> order;
  order.reserve(store.size());
  store.ForEach([&](EntryStore::Row& stored) {
    if (!stored.checked) return;
    const auto& source = stored.entry.key().source;
    order.push_back({source ? source->sequence : 0, stored.entry.line(), static_cast<std::uint32_t>(order.size()),
                     &stored.entry});
  });
  if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
  rows.reserve(order.size());
  for (const Order& o : order) rows.emplace_back().entry = o.entry;
}

RowMerge::~RowMerge() = default;

std::vector<std::u16string> RowMerge::SourceFiles() const {
  std::vector<std::u16string> files;
  const LoadSource* last = nullptr;
  for (const Planned& row : state_->rows) {
    const LoadSource* source = row.entry->key().source.get();
    if (source == nullptr || source == last) continue;
    last = source;
    if (std::find(files.begin(), files.end(), source->path) == files.end()) files.push_back(source->path);
  }
  return files;
}

size_t RowMerge::checked() const { return state_->rows.size(); }

size_t RowMerge::CheckWriteAccess() {
  State& s = *state_;
  s.unwritable = 0;
  // Whether the account may write below the key at path: the key, or the
  // nearest key above it that exists, allows writing (creating subkeys).
  auto may_write = [&](RegRoot root, std::u16string_view path) {
    std::u16string kept;
    const std::u16string full_id = KeyId(root, path, &kept);
    for (size_t end = full_id.size(); end >= 1; --end) {
      if (end != full_id.size() && full_id[end] != u'\\') continue;
      const std::u16string prefix_id = full_id.substr(0, end);
      const std::u16string_view prefix_path = std::u16string_view(kept).substr(0, end - 1);
      const KeyState& state = s.Lookup(root, prefix_id, prefix_path);
      if (state.existed) return state.writable;
      // Refused even for reading: a question of rights. Any other failure (a
      // name the registry refuses, say) is not: the merge meets it and logs it.
      if (state.status != kRegFileNotFound) return state.status != kRegAccessDenied;
    }
    return true;
  };
  // The rows of one key line share their key: its id is made, and whether
  // values may be written below it asked, once.
  const EntryKey* last_key = nullptr;
  std::u16string id;
  std::optional<bool> may_write_last;
  for (Planned& row : s.rows) {
    const ChangeEntry& e = *row.entry;
    const std::optional<RegRoot> root = e.root();
    row.unwritable = false;
    // Rows that are refused for other reasons are named by those.
    // So are paths the registry refuses (a leading backslash).
    if (!root || e.form() == EntryForm::Unknown || e.key().path.starts_with(u'\\')) continue;
    if (&e.key() != last_key) {
      last_key = &e.key();
      id = KeyId(*root, e.key().path);
      may_write_last.reset();
    }
    if (id.size() == 1 && e.form() == EntryForm::DeleteKey) continue;
    bool allowed = true;
    switch (e.form()) {
      case EntryForm::DeleteKey: {
        auto [it, inserted] = s.deletable.try_emplace(id, true);
        if (inserted) {
          RegKey key(s.registry);
          const long status = key.Open(*root, e.key().path, kKeyDelete | kKeyRead);
          it->second = status != kRegAccessDenied;
        }
        allowed = it->second;
        break;
      }
      case EntryForm::DeleteValue: {
        const KeyState& key = s.Lookup(*root, id, e.key().path);
        allowed = key.existed ? key.writable : key.status != kRegAccessDenied;
        break;
      }
      default:
        if (!may_write_last) may_write_last = may_write(*root, e.key().path);
        allowed = *may_write_last;
        break;
    }
    if (!allowed) {
      row.unwritable = true;
      ++s.unwritable;
    }
  }
  return s.unwritable;
}

std::u16string RowMerge::UnwritableText() const {
  const State& s = *state_;
  std::u16string keys;
  std::set<std::u16string> named;
  size_t more = 0;
  for (const Planned& row : s.rows) {
    if (!row.unwritable) continue;
    const ChangeEntry& e = *row.entry;
    if (!named.insert(KeyId(*e.root(), e.key().path)).second) continue;
    if (named.size() > kUnwritableKeysShown) {
      ++more;
      continue;
    }
    keys += e.key().root_name;
    keys += u'\\';
    keys += e.key().path;
    keys += u"\r\n";
  }
  if (more > 0) keys += FormatMessageText(kMoreKeysFormat, {Decimal(more)});
  return FormatMessageText(kUnwritableFormat, {Decimal(s.unwritable), Decimal(s.rows.size()), keys});
}

void RowMerge::LeaveOutUnwritable(std::u16string& error_text) {
  for (Planned& row : state_->rows) {
    if (!row.unwritable || row.refused) continue;
    const ChangeEntry& e = *row.entry;
    const bool key_row = e.form() == EntryForm::DeleteKey || e.form() == EntryForm::CreateKey;
    AppendErrorLogText(error_text,
                       key_row ? FormatMessageText(kKeyNotWritableFormat, {e.key().root_name, e.key().path})
                               : FormatMessageText(kValueNotWritableFormat, {e.key().root_name, e.key().path,
                                                                             ErrorLogValueName(e.name())}));
    row.refused = true;
  }
}

// The undo step: a handler per row form records what the row's write will
// change, knowing what the earlier rows of the merge do.
struct RowMerge::State::UndoStep {
  State& s;
  UndoText& undo;
  std::u16string& error_text;
  // The value ids of earlier rows (views of the rows' ids), each with whether
  // its state was recorded: one table, one node for each value.
  std::unordered_map<std::u16string_view, bool> values;
  std::set<std::u16string> deleted_recorded;  // key ids of recorded subtrees and created keys
  std::vector<std::u16string> deleted_keys;    // key ids that earlier rows delete

  void Refuse(Planned& row, std::u16string_view format, std::u16string_view extra) {
    const ChangeEntry& e = *row.entry;
    AppendErrorLogText(error_text, FormatMessageText(format, {e.key().root_name, e.key().path,
                                                              ErrorLogValueName(e.name()), extra}));
    row.refused = true;
  }

  // Whether Admit lets the row through.
  static bool Admissible(const ChangeEntry& e) {
    return !e.refused() && e.root() && e.file_bytes().size() <= std::numeric_limits<std::uint32_t>::max() - 16;
  }

  // The root of a row that can be written at all; the row is refused when not.
  std::optional<RegRoot> Admit(Planned& row) {
    const ChangeEntry& e = *row.entry;
    if (e.refused()) {
      Refuse(row, kRefusedLineFormat,
             e.problem().empty() ? u"its type \"UNKNOWN - ERROR\" cannot be written" : e.problem());
    } else if (!e.root()) {
      Refuse(row, kUnknownRootFormat, e.key().root_name);
    } else if (e.file_bytes().size() > std::numeric_limits<std::uint32_t>::max() - 16) {
      Refuse(row, kDataTooLargeFormat, {});
    } else {
      return e.root();
    }
    return std::nullopt;
  }

  void LogUnreadable(const Planned& row) {
    const ChangeEntry& e = *row.entry;
    AppendErrorLogText(error_text, FormatMessageText(kUndoReadFailedFormat, {e.key().root_name, e.key().path,
                                                                             ErrorLogValueName(e.name())}));
  }

  // The topmost key of the row's path that did not exist before the merge
  // gets a deletion line: the merge may create it, with every key between.
  void RecordCreated(const Planned& row, RegRoot root) {
    // A path that starts with a backslash names no key: nothing is created.
    if (row.entry->key().path.starts_with(u'\\')) return;
    std::u16string kept;
    const std::u16string id = KeyId(root, row.entry->key().path, &kept);
    for (size_t end = 1; end <= id.size(); ++end) {
      if (end != id.size() && id[end] != u'\\') continue;
      const std::u16string prefix_id = id.substr(0, end);
      const std::u16string_view prefix_path = std::u16string_view(kept).substr(0, end - 1);
      if (prefix_path.empty()) continue;  // a root always exists
      KeyState& state = s.Lookup(root, prefix_id, prefix_path);
      if (state.existed) continue;
      if (state.status == kRegFileNotFound && deleted_recorded.insert(prefix_id).second) {
        undo.AddKeyDeletion(row.entry->key().root_name, prefix_path);
      }
      return;
    }
  }

  void DeleteKey(Planned& row, const KeyState& key, RegRoot root) {
    const ChangeEntry& e = *row.entry;
    if (row.key_id->size() == 1) {
      AppendErrorLogText(error_text, FormatMessageText(kRootKeyDeletionFormat, {e.key().root_name, e.key().path}));
      row.refused = true;
      return;
    }
    if (!key.existed && key.status == kRegFileNotFound) return;  // nothing to delete
    std::vector<RegTreeKey> tree;
    const long status = key.existed ? ReadTree(s.registry, root, e.key().path, &tree, nullptr) : key.status;
    if (status != kRegOk) {
      AppendErrorLogText(error_text, FormatMessageText(kSubtreeUnreadableFormat,
                                                       {e.key().root_name, e.key().path, SystemErrorText(status)}));
      row.refused = true;
      return;
    }
    if (deleted_recorded.insert(*row.key_id).second) {
      undo.AddSubtree(e.key().root_name, e.key().path, tree, error_text);
    }
    deleted_keys.push_back(*row.key_id);
  }

  void CreateKey(const Planned& row, const KeyState& key, RegRoot root) {
    if (!key.existed && key.status == kRegFileNotFound) RecordCreated(row, root);
  }

  void WriteValue(Planned& row, KeyState& key, RegRoot root) {
    if (!key.existed) {
      if (key.status != kRegFileNotFound) LogUnreadable(row);
      else RecordCreated(row, root);
      return;
    }
    if (ChangesNothing(row)) return;
    RecordValue(row, key, false);
  }

  void DeleteValue(Planned& row, KeyState& key) {
    if (!key.existed) {
      if (key.status != kRegFileNotFound) LogUnreadable(row);
      return;
    }
    if (ChangesNothing(row)) return;
    RecordValue(row, key, true);
  }

  // A row whose write or deletion would leave its value as the load read it,
  // from a key unchanged since, and that no earlier row of this merge touched
  // (a value or key deleted by an earlier row is written back), is neither
  // written nor recorded.
  bool ChangesNothing(Planned& row) {
    const bool first = !row.shared || values.try_emplace(row.ValueIdOnce(), false).second;
    row.unchanged = first && row.fresh && !WouldChange(*row.entry) &&
                    std::none_of(deleted_keys.begin(), deleted_keys.end(),
                                 [&](const std::u16string& top) { return AtOrBelow(*row.key_id, top); });
    return row.unchanged;
  }

  // The value's state before the merge, once per value.
  void RecordValue(Planned& row, KeyState& key, bool deletion) {
    const ChangeEntry& e = *row.entry;
    // A value no other row names needs no table: it is recorded here or never.
    bool alone = false;
    bool& recorded = row.shared ? values[row.ValueIdOnce()] : alone;  // there since ChangesNothing
    if (recorded) return;
    std::optional<ValueState> state;
    if (row.fresh && e.live() != LiveState::None) {
      // The load's reading, written from where it lies.
      if (e.live() != LiveState::Absent) {
        recorded = true;
        undo.AddValue(e.key().root_name, e.key().path, e.name(), e.live_type(), e.live_bytes(), error_text);
        return;
      }
    } else {
      ValueState value;
      const long status = key.key.ReadWhole(e.registry_name(), &value.type, &value.bytes);
      if (status == kRegOk) {
        state = std::move(value);
      } else if (status != kRegFileNotFound) {
        LogUnreadable(row);
        return;
      }
    }
    // Deleting an absent value changes nothing: a later row of the same
    // value records it.
    if (!state && deletion) return;
    recorded = true;
    undo.AddValue(e.key().root_name, e.key().path, e.name(), state, error_text);
  }
};

void RowMerge::RecordUndo(UndoText& undo, std::u16string& error_text, MergeUi* ui) {
  State& s = *state_;
  State::UndoStep step{s, undo, error_text, {}, {}, {}};
  // First each row's key, and which rows name a value another row names too:
  // only those need the table of value ids (a hash shared by two rows is
  // enough to be kept there; most values occur once).
  std::vector<std::pair<std::uint64_t, Planned*>> hashes;
  hashes.reserve(s.rows.size());
  const EntryKey* last_key = nullptr;  // the rows of one key line share their key: it is looked up once
  std::pair<const std::u16string, KeyState>* last = nullptr;
  for (Planned& row : s.rows) {
    if (row.refused || !State::UndoStep::Admissible(*row.entry)) continue;
    const ChangeEntry& e = *row.entry;
    const RegRoot root = *e.root();
    if (&e.key() != last_key) {
      last_key = &e.key();
      last = &s.LookupEntry(root, KeyId(root, e.key().path), e.key().path);
    }
    row.key_id = &last->first;
    row.key = &last->second;
    if (e.form() != EntryForm::DeleteKey && e.form() != EntryForm::CreateKey) {
      hashes.emplace_back(ValueHash(row.key, e.registry_name()), &row);
    }
  }
  std::sort(hashes.begin(), hashes.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  size_t shared = 0;
  for (size_t i = 0; i < hashes.size(); ++i) {
    const bool same_as_next = i + 1 < hashes.size() && hashes[i].first == hashes[i + 1].first;
    if (same_as_next || (i > 0 && hashes[i].first == hashes[i - 1].first)) {
      hashes[i].second->shared = true;
      ++shared;
    }
  }
  hashes = {};
  step.values.reserve(shared);
  size_t done = 0;
  for (Planned& row : s.rows) {
    if (ui && !ui->Progress(MergeStep::RecordingUndo, done++, s.rows.size())) {
      cancelled_ = true;
      return;
    }
    if (row.refused) continue;  // left out before
    const std::optional<RegRoot> root = step.Admit(row);
    if (!root) continue;
    const ChangeEntry& e = *row.entry;
    KeyState& key = *row.key;
    const LoadSource* source = e.key().source.get();
    row.fresh = key.existed && source != nullptr &&
                (s.rows_read == RowsRead::JustBefore || key.last_write < source->clock);
    switch (e.form()) {
      case EntryForm::DeleteKey: step.DeleteKey(row, key, *root); break;
      case EntryForm::CreateKey: step.CreateKey(row, key, *root); break;
      case EntryForm::DeleteValue: step.DeleteValue(row, key); break;
      default: step.WriteValue(row, key, *root); break;
    }
  }
}

// The writing step: a handler per row form writes the row, true when it did.
struct RowMerge::State::WriteStep {
  State& s;
  std::u16string& error_text;

  // The key of a row, open for writing: the one the undo step opened, or
  // opened (created when create) now and kept for the next rows.
  const RegKey* WritableKey(const Planned& row, RegRoot root, bool create, long* status) {
    KeyState& state = *row.key;
    if (state.writable && state.key.valid()) return &state.key;
    RegKey key(s.registry);
    *status = create ? key.Create(root, row.entry->key().path, kGenericWrite)
                     : key.Open(root, row.entry->key().path, kGenericWrite);
    if (*status != kRegOk) return nullptr;
    state.key = std::move(key);
    state.writable = true;
    return &state.key;
  }

  bool DeleteKey(const Planned& row, RegRoot root) {
    // Keys open at or below it are closed first; later rows open anew.
    for (auto& [id, state] : s.keys) {
      if (AtOrBelow(id, *row.key_id)) {
        state.key.reset();
        state.writable = false;
      }
    }
    const long status = s.registry.DeleteTree(root, row.entry->key().path);
    if (status == kRegOk || status == kRegFileNotFound) return true;
    AppendFailure(error_text, kDeleteKeyFailedFormat, {row.entry->key().path}, status);
    return false;
  }

  bool CreateKey(const Planned& row, RegRoot root) {
    long status = kRegOk;
    if (WritableKey(row, root, true, &status) != nullptr) return true;
    AppendFailure(error_text, kCreateKeyFailedFormat, {row.entry->key().path}, status);
    return false;
  }

  bool DeleteValue(const Planned& row, RegRoot root) {
    if (row.unchanged) return true;  // found by the undo step not to exist
    const ChangeEntry& e = *row.entry;
    long status = kRegOk;
    if (const RegKey* key = WritableKey(row, root, false, &status))
      return RemoveValue(*key, e.key().path, e.name(), error_text);
    if (status == kRegFileNotFound) return true;  // no key, no value
    AppendFailure(error_text, kCreateKeyFailedFormat, {e.key().path}, status);
    return false;
  }

  bool WriteValue(const Planned& row, RegRoot root) {
    if (row.unchanged) return true;  // found by the undo step to hold what the row writes
    const ChangeEntry& e = *row.entry;
    long status = kRegOk;
    if (const RegKey* key = WritableKey(row, root, true, &status))
      return StoreValue(*key, e.key().path, e.name(), e.type(), e.file_bytes(), error_text);
    AppendFailure(error_text, kCreateKeyFailedFormat, {e.key().path}, status);
    return false;
  }
};

size_t RowMerge::Apply(std::u16string& error_text, MergeUi* ui) {
  State& s = *state_;
  State::WriteStep step{s, error_text};
  // The entries of the rows written, sorted once all are written: one block,
  // where a set took a node and a hash for each.
  std::vector<const ChangeEntry*> written;
  written.reserve(s.rows.size());
  size_t done = 0;
  for (Planned& row : s.rows) {
    if (ui && !ui->Progress(MergeStep::Writing, done++, s.rows.size())) {
      cancelled_ = true;
      break;
    }
    bool ok = false;
    if (!row.refused) {
      const RegRoot root = *row.entry->root();
      switch (row.entry->form()) {
        case EntryForm::DeleteKey: ok = step.DeleteKey(row, root); break;
        case EntryForm::CreateKey: ok = step.CreateKey(row, root); break;
        case EntryForm::DeleteValue: ok = step.DeleteValue(row, root); break;
        default: ok = step.WriteValue(row, root); break;
      }
    }
    if (ok) written.push_back(row.entry);
    else ++failed_;
  }
  s.keys.clear();  // closes every key
  std::sort(written.begin(), written.end());
  const auto was_written = [&](const ChangeEntry& entry) {
    return std::binary_search(written.begin(), written.end(), &entry);
  };
  // The rows written leave the list in one pass (removing a hundred thousand
  // rows one by one took the window's thread most of a second); their entries
  // are moved out first and freed here, on the merge's own thread.
  std::vector<ChangeEntry> gone;
  gone.reserve(written.size());
  const auto remove = [&] {
    s.store.ForEach([&](EntryStore::Row& row) {
      if (was_written(row.entry)) gone.push_back(std::move(row.entry));
    });
    s.store.RemoveIf([&](const EntryStore::Row& row) { return was_written(row.entry); });
  };
  if (ui) ui->ChangeRows(remove);
  else remove();
  return written.size();
}

size_t MergeCheckedRows(EntryStore& store, Registry& registry, UndoText& undo, std::u16string& error_text,
                        RowsRead rows_read) {
  RowMerge merge(store, registry, rows_read);
  merge.RecordUndo(undo, error_text);
  return merge.Apply(error_text);
}

MergeResult RunMerge(EntryStore& store, Registry& registry, MergeUi& ui,
                     const std::function<std::u16string()>& history_folder, RowsRead rows_read) {
  MergeResult result;
  if (store.empty()) {
    ui.Show(MergeMessage::NoValues, kNoValuesText);
    return result;
  }
  bool leave_out = false;
  RowMerge merge(store, registry, rows_read);
  if (merge.checked() > 0 && (result.rows_unwritable = merge.CheckWriteAccess()) > 0) {
    const bool others = result.rows_unwritable < merge.checked();
    switch (ui.ChooseForUnwritable(merge.UnwritableText(), others)) {
      case UnwritableChoice::Restart: result.restart = true; return result;
      // With no others, every checked row is left out and logged: nothing is
      // written, and the error log says why.
      case UnwritableChoice::MergeOthers: leave_out = true; break;
      case UnwritableChoice::Cancel: return result;
    }
  }
  if (!ui.Confirm(kConfirmMergeText)) return result;
  result.confirmed = true;

  // The rows as they are now: rows may have come while the questions were open.
  merge.Rescan();
  std::u16string left_out;
  size_t left_out_rows = 0;
  if (leave_out) {
    left_out_rows = merge.CheckWriteAccess();
    merge.LeaveOutUnwritable(left_out);
  }

  const MergeTime when = MergeTimeOf(LocalTimeNow());
  const std::vector<std::u16string> files = merge.SourceFiles();
  UndoText undo;
  undo.AddComments(files, when.shown, merge.checked() - left_out_rows);
  std::u16string undo_errors = std::move(left_out);
  result.rows_checked = merge.checked();
  merge.RecordUndo(undo, undo_errors, &ui);
  if (merge.cancelled()) {  // nothing written, no undo file
    result.cancelled = true;
    ui.Show(MergeMessage::Cancelled,
            FormatMessageText(kMergeCancelledFormat, {u"0", Decimal(result.rows_checked), u"(none)"}));
    return result;
  }

  // Undo first: nothing is written unless the undo file is saved completely.
  const std::u16string folder = history_folder ? history_folder() : std::u16string();
  // The undo file and the error log of one merge share the stem of their
  // names; a counter follows when a name is taken.
  if (!folder.empty()) {
    result.undo_path = WriteNewFileDurably(folder, Utf16FileBytes(undo.text()),
                                           [&](int attempt) { return UndoFileName(when.stem, attempt); });
  }
  if (result.undo_path.empty()) {
    result.stopped = true;
    ui.Show(MergeMessage::UndoFileFailed, kUndoFileFailedText);
    return result;
  }
  result.undo_saved = true;
  KeepNewest(result.undo_path);
  result.error_text = std::move(undo_errors);
  result.rows_taken = merge.Apply(result.error_text, &ui);
  result.rows_failed = merge.failed();
  result.cancelled = merge.cancelled();
  const std::u16string cancelled_text =
      result.cancelled ? FormatMessageText(kMergeCancelledFormat, {Decimal(result.rows_taken),
                                                                   Decimal(result.rows_checked), result.undo_path})
                       : std::u16string();

  if (result.error_text.empty()) {
    if (result.cancelled) ui.ShowOutcome(MergeMessage::Cancelled, cancelled_text, result);
    else ui.ShowOutcome(MergeMessage::Success, kMergeSuccessText, result);
    return result;
  }
  const std::u16string stem = UndoFileStem(result.undo_path);
  result.error_log_path =
      WriteNewFileDurably(folder, Utf16FileBytes(ErrorLogHeader(files, when.shown) + result.error_text),
                          [&](int attempt) { return ErrorLogName(stem, attempt); });
  if (result.error_log_path.empty()) ui.Show(MergeMessage::ErrorLogFailed, kErrorLogFailedText);
  std::u16string message;
  if (result.rows_failed > 0 && !result.cancelled) {
    message = FormatMessageText(kRowsLeftOutFormat,
                                {Decimal(result.rows_failed), Decimal(result.rows_taken + result.rows_failed)});
  }
  message += FormatMessageText(kMergeFailuresFormat, {result.error_log_path, result.error_text});
  if (result.cancelled) ui.ShowOutcome(MergeMessage::Cancelled, cancelled_text + u"\r\n\r\n" + message, result);
  else ui.ShowOutcome(MergeMessage::Failures, message, result);
  return result;
}

namespace {
std::u16string_view NameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}
std::u16string RowsText(size_t rows) { return Decimal(rows) + (rows == 1 ? u" row" : u" rows"); }
}  // namespace

std::u16string MergeOutcomeDetails(const MergeResult& result) {
  std::u16string text = u"Merged " + RowsText(result.rows_taken) + u".\r\nUndo file: " +
                        std::u16string(NameOf(result.undo_path));
  if (!result.error_log_path.empty()) text += u"\r\nError log: " + std::u16string(NameOf(result.error_log_path));
  return text;
}

std::u16string MergedStatusText(const MergeResult& result) {
  return u"Merged " + RowsText(result.rows_taken) + u"; undo: " + std::u16string(NameOf(result.undo_path));
}

}  // namespace hivemend
