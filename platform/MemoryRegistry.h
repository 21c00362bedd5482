// A registry held in memory that behaves like the Windows registry where the
// program can tell (see the contract in Registry.h). Used natively by the
// console front end's --baseline mode, by tests and by benchmarks.
// Key and value names compare without regard to case (A-Z and the common
// alphabets); a handle allows only what its access mask grants; the name
// limits of the registry hold. Subkeys are enumerated in the order of their
// folded names, values in the order they were first written. Its change clock
// counts changes.
// Thread-safe: every operation takes one lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

class MemoryRegistry final : public Registry {
 public:
  struct Value {
    std::u16string name;  // as first written
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };
  struct Key {
    RegRoot root = RegRoot::CurrentUser;
    std::u16string path;       // as first created
    std::vector<Value> values; // in order of name, compared without regard to case
  };

  MemoryRegistry();
  ~MemoryRegistry() override;

  long OpenKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override;
  long CreateKey(RegRoot root, std::u16string_view path, std::uint32_t access, Handle* key) override;
  long QueryValue(Handle key, std::u16string_view name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  long SetValue(Handle key, std::u16string_view name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override;
  long DeleteValue(Handle key, std::u16string_view name) override;
  void CloseKey(Handle key) override;
  long QueryKeyInfo(Handle key, RegKeyInfo* info) override;
  long EnumKey(Handle key, std::uint32_t index, std::u16string* name) override;
  long EnumValue(Handle key, std::uint32_t index, std::u16string* name, std::uint32_t* type,
                 std::vector<std::uint8_t>* data) override;
  long DeleteTree(RegRoot root, std::u16string_view path) override;
  std::uint64_t ChangeClock() override;

  // Every key with its values, roots in enumeration order and paths sorted
  // without regard to case. The roots themselves appear only when they hold
  // values.
  std::vector<Key> Snapshot() const;
  // Number of keys currently open.
  size_t OpenHandles() const;

 private:
  struct Node;
  Node* FindLocked(RegRoot root, const std::u16string& folded_path) const;
  // The key behind a handle, if the handle's access allows what is needed.
  Node* NodeOf(Handle key, std::uint32_t needed, long* status) const;
  struct OpenKeyState {
    Node* node = nullptr;  // none: a free slot
    std::uint32_t access = 0;
    std::uint32_t generation = 0;
  };
  Handle AddHandleLocked(Node* node, std::uint32_t access);
  void TouchLocked(Node* node);

  mutable std::mutex mutex_;
  std::uint64_t clock_ = 1;
  std::unordered_map<std::u16string, std::unique_ptr<Node>> keys_[5];
  // Open keys by slot; a handle is (generation << 32 | slot + 1), so a closed
  // handle never reaches the key of a later one.
  std::vector<OpenKeyState> open_;
  std::vector<std::uint32_t> free_slots_;
  // Deleted keys, kept for the handles that are still open on them.
  std::vector<std::unique_ptr<Node>> graveyard_;
  size_t open_count_ = 0;
};

}  // namespace hivemend
