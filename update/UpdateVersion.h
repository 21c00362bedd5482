// The update service's decisions, free of any operating system: reading the
// server's version text, comparing it with the program's own version, and the
// names and texts that the download and the prompt use.
#pragma once

#include <array>
#include <optional>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hivemend {

// A version text of this many characters or more is never offered.
inline constexpr std::size_t kMaxVersionTextLength = 128;
// A downloaded installer must be larger than this many bytes.
inline constexpr std::size_t kMinimumInstallerSize = 16384;
// The largest bodies taken from the server: the version text and the installer.
inline constexpr std::uint64_t kMaxVersionBodyBytes = 4096;
inline constexpr std::uint64_t kMaxInstallerBytes = 512ull * 1024 * 1024;

inline constexpr std::u16string_view kVersionInfoPath = u"/versioninfo/hivemend/";
inline constexpr std::u16string_view kInstallerPath = u"/files/alpha/hivemendsetup64.exe";
// A download is saved as "<stem>-<random hexadecimal>.exe" beside the program.
inline constexpr std::u16string_view kInstallerFileStem = u"HivemendSetup64";
inline constexpr std::u16string_view kInstallerFileExtension = u".exe";
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

// Where the installer goes: the folder of the running program, its path cut
// at the last backslash at index 1 or later. Empty (no download at all) when
// the path is empty or has no such backslash.
std::u16string InstallerFolderOf(std::u16string_view program_path);

// The SHA-256 of the publisher's signing certificate from its 64 hexadecimal
// digits (either letter case); nothing for any other text.
std::optional<std::array<std::uint8_t, 32>> ParseCertificateHash(std::u16string_view hex);

// How one installer download ended.
enum class InstallOutcome {
  Started,         // verified and started
  NoFolder,        // the program's own path is unknown: nothing was downloaded
  NoPublisher,     // the build names no publisher: nothing was downloaded
  DownloadFailed,  // no connection, no 200, a broken, oversized or cut-short body
  TooSmall,        // kMinimumInstallerSize bytes or fewer
  CannotWrite,     // the file beside the program could not be made or written
  Stopped,         // cancelled, or the window closed
  NotVerified,     // not signed by the publisher: deleted, not started
  StartFailed,     // verified, but the process could not be started
};

// What the user is told about the outcome; empty for the outcomes that pass
// silently. Reported: a file that fails the signature check, and an install
// that the account's rights stopped (no writing beside the program, no start).
std::u16string InstallOutcomeMessage(InstallOutcome outcome);

}  // namespace hivemend
