#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

FileReadStatus ReadOnlyFile::Open(const std::u16string& path) {
  const std::string p = ToUtf8(path);
  const int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileReadStatus::CannotOpen;
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return FileReadStatus::CannotOpen;
  }
  impl_->fd = fd;
  return FileReadStatus::Ok;
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

bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text) {
  const std::string p = ToUtf8(path);
  const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string out("\xFF\xFE", 2);
  out.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  size_t done = 0;
  bool ok = true;
  while (done < out.size()) {
    const ssize_t n = write(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace hivemend
