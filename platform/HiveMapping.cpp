#include "platform/HiveMapping.h"

#include <algorithm>
#include <filesystem>

#include "platform/RegistryName.h"
#include "platform/Text.h"

namespace hivemend {

namespace {

// Whether the folded path lies at or below the folded top ("" is a root: everything).
bool AtOrBelow(std::u16string_view path, std::u16string_view top) {
  if (top.empty()) return true;
  return path.starts_with(top) && (path.size() == top.size() || path[top.size()] == u'\\');
}

std::u16string_view FirstName(std::u16string_view path) { return path.substr(0, path.find(u'\\')); }

// One file, however it is spelled.
std::filesystem::path FileIdentity(std::u16string_view file) {
  std::error_code ec;
  std::filesystem::path path(file);
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
  return ec ? path.lexically_normal() : canonical;
}

}  // namespace

std::u16string HiveMapping::Add(RegRoot root, std::u16string_view path, std::u16string_view file) {
  HiveMount mount;
  mount.root = root;
  KeyPathIdentity(path, mount.folded, &mount.path);
  mount.file.assign(file);
  for (const HiveMount& other : mounts_) {
    if (other.root == root && (AtOrBelow(mount.folded, other.folded) || AtOrBelow(other.folded, mount.folded))) {
      return u"it lies inside or around the mapping of " + other.file;
    }
    if (FileIdentity(other.file) == FileIdentity(file)) return u"the file is mapped already";
  }
  mounts_.push_back(std::move(mount));
  return {};
}

bool HiveMapping::HasControlSets(size_t mount) const {
  return mounts_[mount].root == RegRoot::LocalMachine && mounts_[mount].folded == u"system";
}

void HiveMapping::SetCurrentControlSet(size_t mount, std::uint32_t number) {
  std::u16string digits = Decimal(number);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), u'0');
  mounts_[mount].control_set = u"ControlSet" + digits;
}

HiveMapping::Place HiveMapping::Locate(RegRoot root, std::u16string_view path) const {
  std::u16string folded, kept;
  KeyPathIdentity(path, folded, &kept);
  Place place;
  for (size_t i = 0; i < mounts_.size(); ++i) {
    const HiveMount& mount = mounts_[i];
    if (mount.root != root) continue;
    if (AtOrBelow(folded, mount.folded)) {
      const size_t skip = mount.folded.empty() ? 0 : std::min(kept.size(), mount.folded.size() + 1);
      place.where = Where::Inside;
      place.mount = i;
      place.inner = kept.substr(skip);
      if (HasControlSets(i) && FirstName(std::u16string_view(folded).substr(skip)) == u"currentcontrolset") {
        if (mount.control_set.empty()) return Place{};
        place.inner.replace(0, FirstName(place.inner).size(), mount.control_set);
      }
      return place;
    }
    if (AtOrBelow(mount.folded, folded)) place.where = Where::Above;
  }
  return place;
}

std::vector<std::u16string> HiveMapping::NamesBelow(RegRoot root, std::u16string_view path) const {
  std::u16string folded;
  KeyPathIdentity(path, folded);
  std::vector<std::pair<std::u16string, std::u16string>> names;  // folded, as given
  for (const HiveMount& mount : mounts_) {
    if (mount.root != root || mount.folded == folded || !AtOrBelow(mount.folded, folded)) continue;
    const size_t skip = folded.empty() ? 0 : folded.size() + 1;
    const std::u16string_view name = FirstName(std::u16string_view(mount.path).substr(skip));
    const std::u16string name_folded = FoldedRegistryName(name);
    if (std::none_of(names.begin(), names.end(), [&](const auto& n) { return n.first == name_folded; })) {
      names.emplace_back(name_folded, std::u16string(name));
    }
  }
  std::sort(names.begin(), names.end());
  std::vector<std::u16string> out;
  for (auto& [f, name] : names) out.push_back(std::move(name));
  return out;
}

}  // namespace hivemend
