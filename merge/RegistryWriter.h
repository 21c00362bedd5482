// The registry writer: carries one row's change into the registry, and the
// error log that a merge collects its failures in.
//
// Called by the merge (Merge.h) on the thread that runs it, one row at a time.
// Failures are reported only by appending a text to the merge's error text;
// every text ends with a line break and gives the system's error text.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace hivemend {

// Failure texts of the writer; the last "%s" is the system's error text.
inline constexpr std::u16string_view kCreateKeyFailedFormat = u"Error creating or opening key %s: %s\r\n";
inline constexpr std::u16string_view kDeleteValueFailedFormat = u"Error deleting value at %s\\%s: %s\r\n";
inline constexpr std::u16string_view kWriteValueFailedFormat = u"Error writing value at %s\\%s: %s\r\n";
inline constexpr std::u16string_view kDeleteKeyFailedFormat = u"Error deleting key %s: %s\r\n";

// The error-log lock: one for the whole process, never destroyed. It is held
// around each append to an error text and never around a registry call.
std::mutex& ErrorLogLock();
// Appends text to error_text under the error-log lock.
void AppendErrorLogText(std::u16string& error_text, std::u16string_view text);
// Appends format filled with args and the system's text for status.
void AppendFailure(std::u16string& error_text, std::u16string_view format,
                   std::initializer_list<std::u16string_view> args, long status);

// Stores one value on key, opened for writing: exactly the given type and
// bytes. value_name is the name as the row holds it ("@" is the default value;
// escapes are decoded before the registry sees the name); the failure text
// names it so. Returns whether it was stored.
bool StoreValue(const RegKey& key, std::u16string_view key_path, std::u16string_view value_name,
                std::uint32_t type, std::span<const std::uint8_t> bytes, std::u16string& error_text);
// Deletes one value from key; absence is no failure.
bool RemoveValue(const RegKey& key, std::u16string_view key_path, std::u16string_view value_name,
                 std::u16string& error_text);

// One change on its own: stores the value (creating the key and its missing
// parents), or deletes it when type is DELETE_VALUE_TYPE (never creating a
// key: when the key or the value does not exist, the end state already holds).
// data may be null when byte_count is 0.
void ApplyValueChange(Registry& registry, RegRoot root, std::u16string_view key_path,
                      std::u16string_view value_name, std::uint32_t type, const std::uint8_t* data,
                      std::uint32_t byte_count, std::u16string& error_text);

}  // namespace hivemend
