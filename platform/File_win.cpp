#include <windows.h>

#include <algorithm>

#include "platform/File.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/WinString.h"

namespace hivemend {

struct ReadOnlyFile::Impl {
  ScopedHandle file;
};

ReadOnlyFile::ReadOnlyFile() : impl_(std::make_unique<Impl>()) {}
ReadOnlyFile::~ReadOnlyFile() = default;

namespace {

// A folder cannot be opened as a file: the system says "access denied", so
// the path's attributes tell a folder from a file that is refused.
FileOpenError OpenErrorFromCode(DWORD code, const std::u16string& path) {
  using Kind = FileOpenError::Kind;
  Kind kind = Kind::Other;
  switch (code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: case ERROR_INVALID_NAME:
      kind = Kind::NotFound;
      break;
    case ERROR_ACCESS_DENIED: {
      const DWORD attributes = GetFileAttributesW(AsWide(path));
      kind = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder
                                                                                              : Kind::AccessDenied;
      break;
    }
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
      kind = Kind::InUse;
      break;
    default:
      break;
  }
  return {kind, code};
}

}  // namespace

FileReadStatus ReadOnlyFile::Open(const std::u16string& path) {
  open_error_ = {};
  impl_->file.reset(CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (impl_->file) return FileReadStatus::Ok;
  open_error_ = OpenErrorFromCode(GetLastError(), path);
  return FileReadStatus::CannotOpen;
}

std::u16string SystemErrorMessage(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message = length > 0 ? AsU16(text, length) : std::u16string();
  LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' ')) {
    message.pop_back();
  }
  if (message.empty()) message = u"System error " + std::u16string(Decimal(code)) + u".";
  return message;
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

namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
  const size_t allowed = AllowedWriteBytes(bytes.size());
  const bool cut = allowed < bytes.size();
  bytes = bytes.substr(0, allowed);
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return !cut;
}

// Writes bytes into the file at path, which is created (CREATE_NEW) or
// emptied (TRUNCATE_EXISTING); *opened tells whether it was. The handle is
// closed before this returns, so that the file can be renamed or removed.
bool WriteInto(const std::u16string& path, std::string_view bytes, DWORD disposition, bool* opened) {
  ScopedHandle file(CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  *opened = file.valid();
  if (!file) return false;
  const bool written = WriteAll(file.get(), bytes);
  return CloseHandle(file.release()) && written;
}

// The folder with its closing separator, so that the root of a drive keeps it.
std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string(u".") : path.substr(0, slash + 1);
}

}  // namespace

bool WriteWholeFile(const std::u16string& path, std::string_view bytes, WriteMode mode) {
  bool opened = false;
  if (mode == WriteMode::CreateNew) {
    if (WriteInto(path, bytes, CREATE_NEW, &opened)) return true;
    if (opened) DeleteFileW(AsWide(path));  // only a file that this call created
    return false;
  }
  const std::u16string temporary = CreateUniqueFile(FolderOf(path), u"hmw");
  if (temporary.empty()) return false;
  if (WriteInto(temporary, bytes, TRUNCATE_EXISTING, &opened) &&
      MoveFileExW(AsWide(temporary), AsWide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(AsWide(temporary));
  return false;
}

std::u16string WriteNewFileDurably(const std::u16string& folder, std::string_view bytes,
                                   const std::function<std::u16string(int attempt)>& name) {
  const std::u16string temporary = CreateUniqueFile(folder, u"hmw");
  if (temporary.empty()) return {};
  bool written = false;
  {
    ScopedHandle file(CreateFileW(AsWide(temporary), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    written = file && WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
    if (file && !CloseHandle(file.release())) written = false;
  }
  const bool separated = !folder.empty() && (folder.back() == u'\\' || folder.back() == u'/');
  std::u16string final_path;
  for (int attempt = 1; written && attempt <= kMaxNameAttempts && final_path.empty(); ++attempt) {
    const std::u16string candidate = folder + (separated ? u"" : u"\\") + name(attempt);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (MoveFileExW(AsWide(temporary), AsWide(candidate), MOVEFILE_WRITE_THROUGH)) {
      final_path = candidate;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  if (final_path.empty()) DeleteFileW(AsWide(temporary));
  return final_path;
}

std::u16string CreateUniqueFile(const std::u16string& folder, std::u16string_view prefix) {
  wchar_t path[MAX_PATH + 1] = {};
  const std::u16string stem(prefix.substr(0, 3));
  if (GetTempFileNameW(AsWide(folder), AsWide(stem), 0, path) == 0) return {};
  return AsU16(path);
}

// The file is written through one handle and then read through a second one
// opened before the first is closed: a shared lock over every byte that the
// second handle takes keeps writers out in between, and the second handle
// shares neither writing nor deleting. A program start opens the file for
// reading and shares no writing, which the first handle's write access would
// refuse.
struct ExclusiveFile::Impl {
  ScopedHandle file;
};

ExclusiveFile::ExclusiveFile() : impl_(std::make_unique<Impl>()) {}
ExclusiveFile::~ExclusiveFile() = default;

bool ExclusiveFile::CreateNew(const std::u16string& folder, std::u16string_view stem, std::u16string_view extension) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::u16string path = folder;
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
    path += stem;
    path += u'-';
    path += RandomHexName();
    path += extension;
    impl_->file.reset(CreateFileW(AsWide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (impl_->file) {
      path_ = std::move(path);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool ExclusiveFile::Write(const std::uint8_t* data, size_t size) {
  return impl_->file && WriteAll(impl_->file.get(), std::string_view(reinterpret_cast<const char*>(data), size));
}

bool ExclusiveFile::FinishWriting() {
  if (!impl_->file || !FlushFileBuffers(impl_->file.get())) return false;
  ScopedHandle reader(CreateFileW(AsWide(path_), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!reader) return false;
  OVERLAPPED whole{};
  if (!LockFileEx(reader.get(), LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) return false;
  impl_->file.reset();
  // Nobody can hold write access now: the lock refused writes meanwhile and
  // the reader refused deletion, so this handle sees what was written.
  ScopedHandle held(CreateFileW(AsWide(path_), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held) return false;
  UnlockFileEx(reader.get(), 0, MAXDWORD, MAXDWORD, &whole);
  impl_->file = std::move(held);
  return true;
}

bool ExclusiveFile::Remove() {
  impl_->file.reset();
  if (path_.empty()) return true;
  const bool removed = DeleteFileW(AsWide(path_)) || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (removed) path_.clear();
  return removed;
}

void* ExclusiveFile::native_handle() const { return impl_->file.get(); }

bool PathExists(const std::u16string& path) {
  return GetFileAttributesW(AsWide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::u16string& path) { return DeleteFileW(AsWide(path)) != FALSE; }

PathKind KindOfPath(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(AsWide(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

}  // namespace hivemend
