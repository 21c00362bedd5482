// An empty but valid registry hive file, made from the format's published
// description: a 4 KiB base block ("regf"), then one 4 KiB bin ("hbin")
// holding the root key ("nk"), its security record ("sk") and one free cell.
// Tests and benchmarks build their hives from it through the hive registry;
// no hive taken from a Windows installation is ever used.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hivemend::test {

namespace empty_hive {

inline void Put16(std::string& b, size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
inline void Put32(std::string& b, size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline std::uint32_t Get32(const std::string& b, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// A SID: revision 1, the authority (big-endian, 48 bits) and its sub-authorities.
inline std::string Sid(std::uint8_t authority, std::initializer_list<std::uint32_t> subs) {
  std::string sid(8 + 4 * subs.size(), '\0');
  sid[0] = 1;
  sid[1] = static_cast<char>(subs.size());
  sid[7] = static_cast<char>(authority);
  size_t at = 8;
  for (std::uint32_t s : subs) Put32(sid, (at += 4) - 4, s);
  return sid;
}

// A self-relative security descriptor: owner Administrators, group SYSTEM, and
// a DACL inherited by subkeys that gives SYSTEM and Administrators full control
// and everyone reading.
inline std::string SecurityDescriptor() {
  const std::string system = Sid(5, {18}), admins = Sid(5, {32, 544}), everyone = Sid(1, {0});
  auto ace = [](std::uint32_t mask, const std::string& sid) {
    std::string a(8, '\0');
    a[0] = 0;     // ACCESS_ALLOWED_ACE_TYPE
    a[1] = 0x02;  // CONTAINER_INHERIT_ACE
    Put16(a, 2, static_cast<std::uint16_t>(8 + sid.size()));
    Put32(a, 4, mask);
    return a + sid;
  };
  const std::string aces = ace(0xF003F, system) + ace(0xF003F, admins) + ace(0x20019, everyone);
  std::string acl(8, '\0');
  acl[0] = 2;  // ACL_REVISION
  Put16(acl, 2, static_cast<std::uint16_t>(8 + aces.size()));
  Put16(acl, 4, 3);
  acl += aces;
  std::string sd(20, '\0');
  sd[0] = 1;
  Put16(sd, 2, 0x8004);  // SE_SELF_RELATIVE | SE_DACL_PRESENT
  const std::uint32_t dacl_at = 20, owner_at = dacl_at + static_cast<std::uint32_t>(acl.size()),
                      group_at = owner_at + static_cast<std::uint32_t>(admins.size());
  Put32(sd, 4, owner_at);
  Put32(sd, 8, group_at);
  Put32(sd, 16, dacl_at);
  return sd + acl + admins + system;
}

}  // namespace empty_hive

// The bytes of an empty hive whose root key is named root_name (ASCII), in
// format version 1.minor (Windows XP writes 1.3, later versions 1.5).
inline std::string EmptyHiveBytes(std::string_view root_name = "ROOT", std::uint32_t minor = 5) {
  using namespace empty_hive;
  constexpr size_t kBase = 0x1000, kBin = 0x1000;
  std::string b(kBase + kBin, '\0');
  // Cells are 8-byte aligned; a used cell's size is negative.
  auto cell_size = [](size_t bytes) { return (bytes + 7) & ~size_t{7}; };
  const size_t nk_at = 0x20;  // after the bin's header, relative to the first bin
  const size_t nk_size = cell_size(4 + 0x4C + root_name.size());
  const size_t sk_at = nk_at + nk_size;
  const std::string sd = SecurityDescriptor();
  const size_t sk_size = cell_size(4 + 0x14 + sd.size());
  const size_t free_at = sk_at + sk_size;
  constexpr std::uint64_t kTime = 0x01D9000000000000ull;  // a fixed FILETIME in 2022

  // Base block.
  b.replace(0, 4, "regf");
  Put32(b, 0x04, 1);  // primary sequence number
  Put32(b, 0x08, 1);  // secondary sequence number: equal, the hive is consistent
  Put32(b, 0x0C, static_cast<std::uint32_t>(kTime));
  Put32(b, 0x10, static_cast<std::uint32_t>(kTime >> 32));
  Put32(b, 0x14, 1);      // major version
  Put32(b, 0x18, minor);  // minor version
  Put32(b, 0x1C, 0);      // primary file
  Put32(b, 0x20, 1);      // direct memory load
  Put32(b, 0x24, static_cast<std::uint32_t>(nk_at));
  Put32(b, 0x28, kBin);  // hive bins data size
  Put32(b, 0x2C, 1);     // clustering factor
  std::uint32_t checksum = 0;
  for (size_t at = 0; at < 0x1FC; at += 4) checksum ^= Get32(b, at);
  if (checksum == 0xFFFFFFFFu) checksum = 0xFFFFFFFEu;
  if (checksum == 0) checksum = 1;
  Put32(b, 0x1FC, checksum);

  // The bin.
  const size_t bin = kBase;
  b.replace(bin, 4, "hbin");
  Put32(b, bin + 0x04, 0);    // its offset from the first bin
  Put32(b, bin + 0x08, kBin); // its size

  // The root key.
  const size_t nk = bin + nk_at;
  Put32(b, nk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nk_size)));
  b.replace(nk + 4, 2, "nk");
  Put16(b, nk + 4 + 0x02, 0x2C);  // KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME
  Put32(b, nk + 4 + 0x04, static_cast<std::uint32_t>(kTime));
  Put32(b, nk + 4 + 0x08, static_cast<std::uint32_t>(kTime >> 32));
  Put32(b, nk + 4 + 0x1C, 0xFFFFFFFFu);  // no subkey list
  Put32(b, nk + 4 + 0x20, 0xFFFFFFFFu);  // no volatile subkey list
  Put32(b, nk + 4 + 0x28, 0xFFFFFFFFu);  // no value list
  Put32(b, nk + 4 + 0x2C, static_cast<std::uint32_t>(sk_at));
  Put32(b, nk + 4 + 0x30, 0xFFFFFFFFu);  // no class name
  Put16(b, nk + 4 + 0x48, static_cast<std::uint16_t>(root_name.size()));
  b.replace(nk + 4 + 0x4C, root_name.size(), root_name);

  // Its security record, a ring of one.
  const size_t sk = bin + sk_at;
  Put32(b, sk, static_cast<std::uint32_t>(-static_cast<std::int32_t>(sk_size)));
  b.replace(sk + 4, 2, "sk");
  Put32(b, sk + 4 + 0x04, static_cast<std::uint32_t>(sk_at));
  Put32(b, sk + 4 + 0x08, static_cast<std::uint32_t>(sk_at));
  Put32(b, sk + 4 + 0x0C, 1);  // referenced by the root key
  Put32(b, sk + 4 + 0x10, static_cast<std::uint32_t>(sd.size()));
  b.replace(sk + 4 + 0x14, sd.size(), sd);

  // The rest of the bin is one free cell (positive size).
  Put32(b, bin + free_at, static_cast<std::uint32_t>(kBin - free_at));
  return b;
}

}  // namespace hivemend::test
