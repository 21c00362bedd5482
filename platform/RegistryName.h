// How the registry tells one key or value from another, for every layer that
// has to decide it without asking the registry: the in-memory registry and the
// undo step, which records each value once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hivemend {

// A key or value name folded as the registry compares names: without regard to
// case in A to Z and in the common alphabets (FoldRegistryChar).
std::u16string FoldedRegistryName(std::u16string_view name);
void FoldRegistryNameInto(std::u16string_view name, std::u16string& out);

// A key path as the registry reads it: runs of backslashes separate like one,
// and leading and trailing backslashes are dropped. *folded receives the path
// folded as above; kept, when given, the same path unfolded. (The registry
// refuses a path that starts with a backslash; that check is the caller's.)
void KeyPathIdentity(std::u16string_view path, std::u16string& folded, std::u16string* kept = nullptr);

// The same, with the registry's checks first: a path that starts with a
// backslash is refused with kRegBadPathname, a key name over
// kMaxKeyNameLength with kRegInvalidParameter; else kRegOk.
long CheckedKeyPathIdentity(std::u16string_view path, std::u16string& folded, std::u16string* kept = nullptr);

// What an access mask allows, with the generic rights mapped as for keys.
inline constexpr std::uint32_t kAllowsQuery = 0x0001;
inline constexpr std::uint32_t kAllowsSet = 0x0002;
inline constexpr std::uint32_t kAllowsEnumerate = 0x0008;
std::uint32_t EffectiveKeyAccess(std::uint32_t access);

}  // namespace hivemend
