#include <windows.h>

#include "platform/File.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {

struct ReadOnlyFile::Impl {
  ScopedHandle file;
};

ReadOnlyFile::ReadOnlyFile() : impl_(std::make_unique<Impl>()) {}
ReadOnlyFile::~ReadOnlyFile() = default;

FileReadStatus ReadOnlyFile::Open(const std::u16string& path) {
  impl_->file.reset(CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return impl_->file ? FileReadStatus::Ok : FileReadStatus::CannotOpen;
}

FileReadStatus ReadOnlyFile::ReadAll(std::u16string& raw, size_t* byte_count) {
  DWORD high = 0;
  const DWORD low = GetFileSize(impl_->file.get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return FileReadStatus::ReadError;
  if (high != 0) return FileReadStatus::TooLarge;
  raw.assign((static_cast<size_t>(low) + 1) / 2, u'\0');
  DWORD read = 0;
  if (low != 0 && (!ReadFile(impl_->file.get(), raw.data(), low, &read, nullptr) || read != low)) {
    raw.clear();
    raw.shrink_to_fit();
    return FileReadStatus::ReadError;
  }
  *byte_count = low;
  return FileReadStatus::Ok;
}

std::u16string ThreadAnsiToUtf16(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (bytes.size() > 0x7FFFFFFF) return {};
  const int in = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), in, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string out(static_cast<size_t>(needed), u'\0');
  const int written = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), in,
                                          reinterpret_cast<wchar_t*>(out.data()), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text) {
  ScopedHandle file(CreateFileW(AsWide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  std::string out("\xFF\xFE", 2);
  out.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
  if (out.size() > 0xFFFFFFFFu) return false;
  DWORD written = 0;
  return WriteFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &written, nullptr) &&
         written == out.size();
}

}  // namespace hivemend
