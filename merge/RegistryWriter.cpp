#include "merge/RegistryWriter.h"

#include <vector>

#include "engine/ChangeEntry.h"
#include "platform/SystemText.h"
#include "platform/Text.h"

namespace hivemend {
namespace {
// Constant-initialised, so it exists before any merge can run.
std::mutex g_error_log_lock;
}  // namespace

std::mutex& ErrorLogLock() { return g_error_log_lock; }

void AppendErrorLogText(std::u16string& error_text, std::u16string_view text) {
  std::lock_guard lock(g_error_log_lock);
  error_text += text;
}

void AppendFailure(std::u16string& error_text, std::u16string_view format,
                   std::initializer_list<std::u16string_view> args, long status) {
  std::vector<std::u16string_view> all(args);
  const std::u16string system = SystemErrorText(status);
  all.push_back(system);
  std::u16string text;
  // FormatMessageText takes an initializer list: fill the arguments one by one.
  switch (all.size()) {
    case 2: text = FormatMessageText(format, {all[0], all[1]}); break;
    case 3: text = FormatMessageText(format, {all[0], all[1], all[2]}); break;
    default: text = FormatMessageText(format, {all[0]}); break;
  }
  AppendErrorLogText(error_text, text);
}

bool StoreValue(const RegKey& key, std::u16string_view key_path, std::u16string_view value_name,
                std::uint32_t type, std::span<const std::uint8_t> bytes, std::u16string& error_text) {
  // The registry reads one character past string data that lacks its NUL and
  // adds a NUL when it finds one there: the bytes are passed with non-zero
  // bytes after them, so that exactly these bytes are stored.
  thread_local std::vector<std::uint8_t> block;
  block.assign(bytes.begin(), bytes.end());
  block.resize(bytes.size() + 16, 0xFF);
  const long status = key.Set(RegistryValueName(value_name), type, bytes.empty() ? nullptr : block.data(),
                              static_cast<std::uint32_t>(bytes.size()));
  if (status == kRegOk) return true;
  AppendFailure(error_text, kWriteValueFailedFormat, {key_path, value_name}, status);
  return false;
}

bool RemoveValue(const RegKey& key, std::u16string_view key_path, std::u16string_view value_name,
                 std::u16string& error_text) {
  const long status = key.Delete(RegistryValueName(value_name));
  if (status == kRegOk || status == kRegFileNotFound) return true;
  AppendFailure(error_text, kDeleteValueFailedFormat, {key_path, value_name}, status);
  return false;
}

void ApplyValueChange(Registry& registry, RegRoot root, std::u16string_view key_path,
                      std::u16string_view value_name, std::uint32_t type, const std::uint8_t* data,
                      std::uint32_t byte_count, std::u16string& error_text) {
  RegKey key(registry);
  if (type == DELETE_VALUE_TYPE) {
    // Opening instead of creating: deleting under a key that does not exist
    // must not leave a new empty key behind.
    const long opened = key.Open(root, key_path, kGenericWrite);
    if (opened == kRegFileNotFound) return;
    if (opened != kRegOk) return AppendFailure(error_text, kCreateKeyFailedFormat, {key_path}, opened);
    RemoveValue(key, key_path, value_name, error_text);
    return;
  }
  if (const long created = key.Create(root, key_path, kGenericWrite); created != kRegOk) {
    return AppendFailure(error_text, kCreateKeyFailedFormat, {key_path}, created);
  }
  StoreValue(key, key_path, value_name, type, {data, byte_count}, error_text);
}

}  // namespace hivemend
