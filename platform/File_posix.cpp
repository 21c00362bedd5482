#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/File.h"
#include "platform/Text.h"

namespace hivemend {

struct ReadOnlyFile::Impl {
  int fd = -1;
  ~Impl() {
    if (fd >= 0) close(fd);
  }
};

ReadOnlyFile::ReadOnlyFile() : impl_(std::make_unique<Impl>()) {}
ReadOnlyFile::~ReadOnlyFile() = default;

namespace {

FileOpenError OpenErrorFromErrno(int code) {
  using Kind = FileOpenError::Kind;
  Kind kind = Kind::Other;
  switch (code) {
    case ENOENT: case ENOTDIR: kind = Kind::NotFound; break;
    case EISDIR: kind = Kind::Folder; break;
    case EACCES: case EPERM: kind = Kind::AccessDenied; break;
    case EBUSY: case ETXTBSY: kind = Kind::InUse; break;
    default: break;
  }
  return {kind, static_cast<std::uint32_t>(code)};
}

}  // namespace

FileReadStatus ReadOnlyFile::Open(const std::u16string& path) {
  open_error_ = {};
  const std::string p = ToUtf8(path);
  const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    open_error_ = OpenErrorFromErrno(errno);
    return FileReadStatus::CannotOpen;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    open_error_ = OpenErrorFromErrno(S_ISDIR(st.st_mode) ? EISDIR : errno);
    close(fd);
    return FileReadStatus::CannotOpen;
  }
  impl_->fd = fd;
  return FileReadStatus::Ok;
}

std::u16string SystemErrorMessage(std::uint32_t code) {
  return FromUtf8(std::strerror(static_cast<int>(code))) + u".";
}

FileReadStatus ReadOnlyFile::ReadAll(std::u16string& raw, size_t* byte_count) {
  struct stat st {};
  if (impl_->fd < 0 || fstat(impl_->fd, &st) != 0) return FileReadStatus::ReadError;
  if (static_cast<unsigned long long>(st.st_size) >= (1ull << 32)) return FileReadStatus::TooLarge;
  const auto size = static_cast<size_t>(st.st_size);
  raw.assign((size + 1) / 2, u'\0');
  char* bytes = reinterpret_cast<char*>(raw.data());
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(impl_->fd, bytes + done, size - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      raw.clear();
      raw.shrink_to_fit();
      return FileReadStatus::ReadError;
    }
    done += static_cast<size_t>(n);
  }
  *byte_count = size;
  return FileReadStatus::Ok;
}

std::u16string ThreadAnsiToUtf16(std::string_view bytes) { return Windows1252ToUtf16(bytes); }

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  const size_t allowed = AllowedWriteBytes(bytes.size());
  const bool cut = allowed < bytes.size();
  bytes = bytes.substr(0, allowed);
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return !cut;
}

// Writes bytes into the file at path, opened with flags; *opened tells whether
// it could be opened. The file is closed before this returns.
bool WriteInto(const std::u16string& path, std::string_view bytes, int flags, bool* opened) {
  const int fd = open(ToUtf8(path).c_str(), O_WRONLY | O_CLOEXEC | flags, 0644);
  *opened = fd >= 0;
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  return close(fd) == 0 && written;
}

std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u'/');
  if (slash == std::u16string::npos) return u".";
  return slash == 0 ? std::u16string(u"/") : path.substr(0, slash);
}

}  // namespace

bool WriteWholeFile(const std::u16string& path, std::string_view bytes, WriteMode mode) {
  bool opened = false;
  if (mode == WriteMode::CreateNew) {
    if (WriteInto(path, bytes, O_CREAT | O_EXCL, &opened)) return true;
    if (opened) unlink(ToUtf8(path).c_str());  // only a file that this call created
    return false;
  }
  const std::u16string temporary = CreateUniqueFile(FolderOf(path), u"hmw");
  if (temporary.empty()) return false;
  const std::string from = ToUtf8(temporary);
  if (WriteInto(temporary, bytes, O_TRUNC, &opened) && rename(from.c_str(), ToUtf8(path).c_str()) == 0) {
    return true;
  }
  unlink(from.c_str());
  return false;
}

std::u16string WriteNewFileDurably(const std::u16string& folder, std::string_view bytes,
                                   const std::function<std::u16string(int attempt)>& name) {
  const std::u16string temporary = CreateUniqueFile(folder, u"hmw");
  if (temporary.empty()) return {};
  const std::string from = ToUtf8(temporary);
  const int fd = open(from.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  bool written = fd >= 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  if (fd >= 0 && close(fd) != 0) written = false;
  std::u16string final_path;
  for (int attempt = 1; written && attempt <= kMaxNameAttempts && final_path.empty(); ++attempt) {
    const std::u16string candidate = folder + u"/" + name(attempt);
    // A second name for the file, made only if it is free; then the
    // temporary name goes.
    if (link(from.c_str(), ToUtf8(candidate).c_str()) == 0) {
      final_path = candidate;
    } else if (errno != EEXIST) {
      break;
    }
  }
  unlink(from.c_str());
  if (!final_path.empty()) {
    const int dir = open(ToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
  }
  return final_path;
}

// As on Windows: a number from the clock, counted up past names that exist, at
// most 65535 of them.
std::u16string CreateUniqueFile(const std::u16string& folder, std::u16string_view prefix) {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch();
  unsigned number = static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(ticks).count());
  const std::u16string stem = folder + u"/" + std::u16string(prefix.substr(0, 3));
  for (int i = 0; i < 0xFFFF; ++i, ++number) {
    if ((number & 0xFFFF) == 0) ++number;
    const std::u16string path = stem + Hex(number & 0xFFFF, false) + u".tmp";
    const int fd = open(ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      return path;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

// Elsewhere files are not locked against other writers; the class keeps the
// same interface for the portable code and tests.
struct ExclusiveFile::Impl {
  int fd = -1;
  ~Impl() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

ExclusiveFile::ExclusiveFile() : impl_(std::make_unique<Impl>()) {}
ExclusiveFile::~ExclusiveFile() = default;

bool ExclusiveFile::CreateNew(const std::u16string& folder, std::u16string_view stem, std::u16string_view extension) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::u16string path = folder;
    if (!path.empty() && path.back() != u'/') path += u'/';
    path += stem;
    path += u'-';
    path += RandomHexName();
    path += extension;
    impl_->fd = open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (impl_->fd >= 0) {
      path_ = std::move(path);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool ExclusiveFile::Write(const std::uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(impl_->fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool ExclusiveFile::FinishWriting() { return impl_->fd >= 0 && fsync(impl_->fd) == 0; }

bool ExclusiveFile::Remove() {
  impl_->Close();
  if (path_.empty()) return true;
  const bool removed = unlink(ToUtf8(path_).c_str()) == 0 || errno == ENOENT;
  if (removed) path_.clear();
  return removed;
}

void* ExclusiveFile::native_handle() const {
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(impl_->fd));
}

bool PathExists(const std::u16string& path) {
  struct stat st {};
  return lstat(ToUtf8(path).c_str(), &st) == 0;
}

bool RemoveFile(const std::u16string& path) { return unlink(ToUtf8(path).c_str()) == 0; }

PathKind KindOfPath(const std::u16string& path) {
  struct stat status{};
  if (stat(ToUtf8(path).c_str(), &status) != 0) return PathKind::Missing;
  return S_ISDIR(status.st_mode) ? PathKind::Folder : PathKind::File;
}

}  // namespace hivemend
