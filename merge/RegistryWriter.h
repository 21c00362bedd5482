// The registry writer: carries one row of the list into the registry, and the
// error log that a merge collects its failures in.
//
// Called by the merge (Merge.h) on the thread that runs it, one row at a time.
// Failures are reported only by appending a text to the merge's error text.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace hivemend {

// Failure texts of the writer. No line end is added: a second failure text
// follows the first directly.
inline constexpr std::u16string_view kCreateKeyFailedFormat = u"Error creating or opening key %s";
inline constexpr std::u16string_view kDeleteValueFailedFormat = u"Error deleting value at %s\\%s";
inline constexpr std::u16string_view kWriteValueFailedFormat = u"Error writing value at %s\\%s";

// The error-log lock: one for the whole process, never destroyed. It is held
// around each append to an error text and never around a registry call.
std::mutex& ErrorLogLock();
// Appends text to error_text under the error-log lock.
void AppendErrorLogText(std::u16string& error_text, std::u16string_view text);

// Stores one value, or deletes it when type is DELETE_VALUE_TYPE.
//  - value_name is the name as the row holds it: "@" is the default value, and
//    the file's escapes are decoded before the registry sees the name. The
//    failure texts name the value as the row holds it.
//  - A store creates the key and its missing parents, then sets exactly the
//    given type and bytes (data may be null when byte_count is 0).
//  - A deletion never creates a key: when the key or the value does not exist,
//    the end state already holds and nothing is recorded.
void ApplyValueChange(Registry& registry, RegRoot root, std::u16string_view key_path,
                      std::u16string_view value_name, std::uint32_t type, const std::uint8_t* data,
                      std::uint32_t byte_count, std::u16string& error_text);

}  // namespace hivemend
