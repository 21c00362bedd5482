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
#include <vector>

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
// The installer's switch to install silently.
inline constexpr std::u16string_view kInstallerSwitch = u"/S";
// How long the download may wait for the server, and the check for
// revocation data, each at most.
inline constexpr unsigned kUpdateTimeoutMs = 30000;
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

// The installer's arguments: silent, into the folder (last and unquoted, as
// the installer reads it; a drive's root keeps its backslash).
std::u16string InstallerArguments(std::u16string_view folder);

// A pin (the SHA-256 of a signer's public key) from its 64 hexadecimal digits
// (either letter case); nothing for any other text.
std::optional<std::array<std::uint8_t, 32>> ParsePin(std::u16string_view hex);
// A list of pins separated by commas, semicolons or white space; empty when
// the text is empty or any entry is not a pin.
std::vector<std::array<std::uint8_t, 32>> ParsePins(std::u16string_view text);

// How one installer download ended.
enum class InstallOutcome {
  Started,            // verified and started
  NoFolder,           // the program's own path is unknown: nothing was downloaded
  NoPublisher,        // the build names no publisher's key: nothing was downloaded
  NoConnection,       // the server could not be reached
  TimedOut,           // the server took longer than kUpdateTimeoutMs to answer or to send
  Certificate,        // the server's certificate was refused
  NotHttps,           // a redirect to an address that is not https
  ServerStatus,       // an answer other than 200 (InstallResult::status)
  Interrupted,        // the connection broke, or the body ended before its announced length
  NoLength,           // the server did not announce the installer's length
  TooLarge,           // more than kMaxInstallerBytes
  TooSmall,           // kMinimumInstallerSize bytes or fewer
  CannotWrite,        // the file beside the program could not be made or written
  Stopped,            // cancelled, or the window closed
  NotVerified,        // no valid signature: unsigned, changed, untrusted or expired
  OtherPublisher,     // signed with a key that is not the publisher's
  Revoked,            // signed with a revoked certificate
  RevocationUnknown,  // whether the certificate was revoked could not be found out
  WrongVersion,       // the installer's own version is not the one offered, or not newer
  Declined,           // the user said no to the installer's request for administrator rights
  StartFailed,        // verified, but the process could not be started
};

// One download's outcome with what its message names.
struct InstallResult {
  // Implicit: an outcome alone is a whole result.
  InstallResult(InstallOutcome o = InstallOutcome::Started) : outcome(o) {}
  InstallOutcome outcome;
  std::uint32_t status = 0;          // ServerStatus: the HTTP status
  std::u16string offered_version;    // the version the user was offered
  std::u16string installer_version;  // WrongVersion: the installer's own ("" when it names none)
};

// Whether an installer whose file version is installer_version may replace the
// program: it names exactly the offered version, and that is newer than the
// program's own.
bool IsInstallerVersionAccepted(const std::optional<std::array<std::uint16_t, 4>>& installer_version,
                                std::u16string_view offered_version, std::u16string_view program_version);
std::u16string VersionText(const std::array<std::uint16_t, 4>& version);

// The one message the user is shown when a download ends: what was done, or
// why nothing was installed. Empty only for Stopped (the user's own Cancel).
std::u16string InstallOutcomeMessage(const InstallResult& result);

}  // namespace hivemend
