#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/File.h"
#include "platform/Text.h"

namespace hivemend {

namespace {

std::atomic<bool> g_stop_before_rename{false};

std::u16string Reason(const std::u16string& path, std::u16string_view what, int code) {
  return path + u": " + std::u16string(what) + u" (" + SystemErrorMessage(static_cast<std::uint32_t>(code)) + u")";
}

}  // namespace

void SetStopBeforeRenameForTesting(bool stop) { g_stop_before_rename = stop; }

WriterLock::~WriterLock() { Release(); }

void WriterLock::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool WriterLock::Take(const std::u16string& path, std::u16string* problem) {
  Release();
  const std::string name = ToUtf8(path);
  // A writer replaces the file by renaming a new one over it: the lock taken
  // must be the lock of the file the name holds once the lock is held.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *problem = Reason(path, u"cannot be opened", errno);
      return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int code = errno;
      close(fd);
      *problem = code == EWOULDBLOCK
                     ? path + u": another merge is writing this hive file (it is locked); try again when it has ended"
                     : Reason(path, u"cannot be locked", code);
      return false;
    }
    struct stat held {}, named {};
    if (fstat(fd, &held) == 0 && stat(name.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fd_ = fd;
      return true;
    }
    close(fd);  // replaced in between: lock the new file
  }
  *problem = path + u": the file keeps being replaced by another program";
  return false;
}

bool ReplaceFileDurably(const std::u16string& path, const std::function<bool(const std::string& temporary)>& write,
                        std::u16string* problem) {
  const size_t slash = path.find_last_of(u'/');
  const std::u16string folder = slash == std::u16string::npos ? u"." : slash == 0 ? u"/" : path.substr(0, slash);
  const std::u16string temporary = CreateUniqueFile(folder, u"hmh");
  if (temporary.empty()) {
    *problem = Reason(path, u"no new file can be made beside it", errno);
    return false;
  }
  const std::string from = ToUtf8(temporary);
  bool ok = write(from);
  int code = errno;
  if (ok) {
    const int fd = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    ok = fd >= 0 && fsync(fd) == 0;
    code = errno;
    if (fd >= 0) close(fd);
  }
  if (ok && g_stop_before_rename) {  // as if the process ended here
    *problem = path + u": stopped before the new file took its name";
    return false;
  }
  if (ok && rename(from.c_str(), ToUtf8(path).c_str()) != 0) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    unlink(from.c_str());
    *problem = Reason(path, u"the new hive could not be written; the file is unchanged", code);
    return false;
  }
  const int dir = open(ToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

}  // namespace hivemend
