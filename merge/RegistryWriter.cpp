#include "merge/RegistryWriter.h"

#include "engine/ChangeEntry.h"
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

void ApplyValueChange(Registry& registry, RegRoot root, std::u16string_view key_path,
                      std::u16string_view value_name, std::uint32_t type, const std::uint8_t* data,
                      std::uint32_t byte_count, std::u16string& error_text) {
  const std::u16string name = RegistryValueName(value_name);
  std::u16string failure;
  {
    RegKey key(registry);
    if (type == DELETE_VALUE_TYPE) {
      // Opening instead of creating: deleting under a key that does not exist
      // must not leave a new empty key behind.
      const long opened = key.Open(root, key_path, kGenericWrite);
      if (opened == kRegFileNotFound) return;
      if (opened != kRegOk) {
        failure = FormatMessageText(kCreateKeyFailedFormat, {key_path});
      } else {
        const long deleted = key.Delete(name);
        if (deleted != kRegOk && deleted != kRegFileNotFound) {
          failure = FormatMessageText(kDeleteValueFailedFormat, {key_path, value_name});
        }
      }
    } else if (key.Create(root, key_path, kGenericWrite) != kRegOk) {
      failure = FormatMessageText(kCreateKeyFailedFormat, {key_path});
    } else if (key.Set(name, type, data, byte_count) != kRegOk) {
      failure = FormatMessageText(kWriteValueFailedFormat, {key_path, value_name});
    }
  }  // the key is closed before the lock is taken
  if (!failure.empty()) AppendErrorLogText(error_text, failure);
}

}  // namespace hivemend
