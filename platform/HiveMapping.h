// Which hive file holds which key: the mount points of offline hive files
// ("HKLM\SOFTWARE" is the file SOFTWARE of an image), and where a key of the
// registry lies among them. Portable: the hive registry (HiveRegistry.h) asks
// it, and the console front end uses it to tell the rows it cannot write.
//
// Rules:
//  - A key at or below a mount point lies inside that hive; the mount point
//    itself is the hive's root key.
//  - Keys above mount points (a root, "HKLM" for "HKLM\SOFTWARE") exist but
//    hold nothing: they list the names of the mount points below them.
//  - Every other key lies outside every hive: nothing may be read or written
//    there.
//  - Below the mount point HKLM\SYSTEM, the first name "CurrentControlSet"
//    stands for the control set that the hive's Select\Current names
//    ("ControlSet001" for 1), as Windows resolves it at boot; when the hive
//    names none, keys below CurrentControlSet lie outside.
//  - Mount points never lie one inside another, and no two name one file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace hivemend {

struct HiveMount {
  RegRoot root = RegRoot::LocalMachine;
  std::u16string path;     // below the root, runs of backslashes as one
  std::u16string folded;   // the path's identity (KeyPathIdentity)
  std::u16string file;     // the hive file
  std::u16string control_set;  // for HKLM\SYSTEM: the current control set's key name, once known
};

class HiveMapping {
 public:
  // Adds a mount point. Returns an empty text, or why it cannot be added
  // (it lies inside or around another one, or names a file already mapped).
  std::u16string Add(RegRoot root, std::u16string_view path, std::u16string_view file);
  const std::vector<HiveMount>& mounts() const { return mounts_; }
  bool empty() const { return mounts_.empty(); }

  // Whether the mount resolves CurrentControlSet (it is HKLM\SYSTEM).
  bool HasControlSets(size_t mount) const;
  // The control set that Select\Current names: its number.
  void SetCurrentControlSet(size_t mount, std::uint32_t number);

  enum class Where : std::uint8_t {
    Inside,  // in the hive of `mount`, at `inner` below its root key
    Above,   // a key above mount points, holding only them
    Outside, // in no hive
  };
  struct Place {
    Where where = Where::Outside;
    size_t mount = 0;
    std::u16string inner;  // the path inside the hive, names as given
  };
  // Where the key at path (below root; runs of backslashes as one) lies.
  Place Locate(RegRoot root, std::u16string_view path) const;
  // The names directly below a key above mount points (Locate gave Above), in
  // the order of their folded names, each once.
  std::vector<std::u16string> NamesBelow(RegRoot root, std::u16string_view path) const;

 private:
  std::vector<HiveMount> mounts_;
};

}  // namespace hivemend
