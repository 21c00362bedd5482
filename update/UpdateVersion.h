// The update service's decisions, free of any operating system: reading the
// server's version text, comparing it with the program's own version, and the
// names and texts that the download and the prompt use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hivemend {

// A version text of this many characters or more is never offered.
inline constexpr std::size_t kMaxVersionTextLength = 128;
// A downloaded installer must be larger than this many bytes.
inline constexpr std::size_t kMinimumInstallerSize = 16384;

inline constexpr std::u16string_view kVersionInfoPath = u"/versioninfo/hivemend/";
inline constexpr std::u16string_view kInstallerPath = u"/files/alpha/hivemendsetup64.exe";
inline constexpr std::u16string_view kInstallerFileName = u"HivemendSetup64.exe";
// The installer's one argument: install silently.
inline constexpr std::u16string_view kInstallerSwitch = u"/S";
inline constexpr std::u16string_view kUpdateAgentName = u"Hivemend";

inline constexpr std::u16string_view kUpdatePromptCaption = u"Hivemend Update Available";

using VersionFields = std::array<std::uint32_t, 4>;

// Reads a text the way the wide scanf format "%u.%u.%u.%u" does: each number
// may follow white space and a sign, wraps at 32 bits, and reading stops at the
// first number or dot that is not there. Fields not read stay 0.
VersionFields ParseVersionFields(std::u16string_view text);

// Packs four fields into 32 bits, 8 bits a field, most significant first. A
// field above 255 overlaps the fields before it; bits past bit 31 are lost.
std::uint32_t PackVersion(const VersionFields& fields);
std::uint32_t PackedVersion(std::u16string_view text);

// Whether the server's version text (already trimmed) names a version that the
// user should be offered: shorter than kMaxVersionTextLength and packed higher
// than the program's own version.
bool IsUpdateOffered(std::u16string_view latest_text, std::u16string_view program_version);

// "There is an update for Hivemend available. Version <version>. ..."
std::u16string UpdatePromptText(std::u16string_view latest_text);

// "https://" + host + path. The host may carry a port ("host:443").
std::u16string HttpsUrl(std::u16string_view host, std::u16string_view path);

// Where the installer goes: the folder of the running program (its path cut at
// the last backslash at index 1 or later), a backslash, kInstallerFileName. A
// path without such a backslash is kept whole as the folder; an empty one gives
// "\HivemendSetup64.exe".
std::u16string InstallerPathBeside(std::u16string_view program_path);

}  // namespace hivemend
