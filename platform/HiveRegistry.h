// A registry over offline hive files (the files of a Windows image that is not
// running), each mounted where a HiveMapping says. Built on hivex on systems
// other than Windows; on Windows OpenHiveRegistry always fails.
//
// It keeps the contract of Registry.h, with these exceptions of the format and
// of the library that writes it:
//  - A value over 16,344 bytes is refused with kRegNotSupported in hives of
//    format 1.4 and later: Windows reads such a value as a list of big-data
//    blocks, which the library does not write. (Reading one works.)
//  - A key whose name holds a character outside ASCII, or whose place among
//    its siblings the library would choose otherwise than Windows (names with
//    [ ] ^ _ ` next to letters), is refused with kRegNotSupported: Windows
//    would not find it by its name.
//  - Names holding NUL or an unpaired surrogate are refused with
//    kRegNotSupported: the library takes names as UTF-8.
//  - The keys above mount points hold nothing and cannot be changed (as the
//    roots of the Windows registry: kRegAccessDenied); keys outside every hive
//    do not exist and cannot be created (kRegAccessDenied).
//
// Changes are kept in memory until Commit writes them. Opened for writing,
// each hive file is locked against other writers until the registry goes.
// Not thread-safe: one thread uses it (the console front end).
#pragma once

#include <memory>
#include <string>

#include "platform/HiveMapping.h"
#include "platform/Registry.h"

namespace hivemend {

inline constexpr long kRegNotSupported = 50;  // ERROR_NOT_SUPPORTED

class HiveRegistry : public Registry {
 public:
  // Writes every hive that changed: into a new file in the same folder,
  // flushed to the disk, which then takes the hive's name, so that the file is
  // at every moment either the old hive or the new one. Returns false with the
  // reason (naming the file) when a hive could not be written; a hive not
  // written is unchanged on disk.
  [[nodiscard]] virtual bool Commit(std::u16string* problem) = 0;
  // Whether anything was changed since opening or the last Commit.
  virtual bool Changed() const = 0;
  // The mapping, with the current control set of a SYSTEM hive as read.
  virtual const HiveMapping& mapping() const = 0;
};

// Opens every file of the mapping, for writing when `write` (then each is
// locked, and a file locked by another writer is refused). Null, with the
// reason naming the file, when a file cannot be opened or is not a hive that
// the library can read (not a hive, damaged). The mapping learns the current
// control set of a SYSTEM hive.
std::unique_ptr<HiveRegistry> OpenHiveRegistry(HiveMapping mapping, bool write, std::u16string* problem);

}  // namespace hivemend
