// The steps the hive registry takes with the files it writes: holding a file
// against other writers, and replacing a file whole so that it is at every
// moment either the old file or the new one. POSIX only, as that registry.
#pragma once

#include <functional>
#include <string>

namespace hivemend {

// An exclusive advisory lock on a file, held until the object goes. Writers
// that take it one after the other never work on the same file at once.
class WriterLock {
 public:
  WriterLock() = default;
  ~WriterLock();
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  // Takes the lock of the file that path names now. False, with the reason,
  // when the file cannot be opened or another writer holds its lock.
  [[nodiscard]] bool Take(const std::u16string& path, std::u16string* problem);
  void Release();

 private:
  int fd_ = -1;
};

// Makes a new file in path's folder, lets write fill it (it gets the new
// file's name, as UTF-8), flushes it to the disk, renames it over path and
// flushes the folder. False, with the reason, when a step failed: then path
// is unchanged and the new file is gone.
[[nodiscard]] bool ReplaceFileDurably(const std::u16string& path,
                                      const std::function<bool(const std::string& temporary)>& write,
                                      std::u16string* problem);

// Tests: ReplaceFileDurably stops after the new file is flushed, before the
// rename, as a process that is killed there would: it returns false and
// leaves the new file behind.
void SetStopBeforeRenameForTesting(bool stop);

}  // namespace hivemend
