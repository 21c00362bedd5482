#include "update/UpdateVersion.h"

#include <algorithm>

#include "platform/Text.h"

namespace hivemend {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// One "%u" conversion at text[*pos]: white space, an optional sign, decimal
// digits. False when no digit follows (a matching failure ends the scan).
bool ScanUnsigned(std::u16string_view text, std::size_t* pos, std::uint32_t* value) {
  std::size_t i = *pos;
  while (i < text.size() && IsWideSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i >= text.size() || !IsDigit(text[i])) return false;
  std::uint32_t v = 0;
  while (i < text.size() && IsDigit(text[i])) {
    v = v * 10u + static_cast<std::uint32_t>(text[i] - u'0');
    ++i;
  }
  *value = negative ? 0u - v : v;
  *pos = i;
  return true;
}

}  // namespace

VersionFields ParseVersionFields(std::u16string_view text) {
  VersionFields fields{};
  std::size_t pos = 0;
  for (std::size_t n = 0; n < fields.size(); ++n) {
    if (n > 0) {
      if (pos >= text.size() || text[pos] != u'.') break;
      ++pos;
    }
    if (!ScanUnsigned(text, &pos, &fields[n])) break;
  }
  return fields;
}

std::uint32_t PackVersion(const VersionFields& fields) {
  std::uint32_t packed = fields[0];
  for (std::size_t n = 1; n < fields.size(); ++n) packed = (packed << 8) | fields[n];
  return packed;
}

std::uint32_t PackedVersion(std::u16string_view text) { return PackVersion(ParseVersionFields(text)); }

bool IsUpdateOffered(std::u16string_view latest_text, std::u16string_view program_version) {
  if (latest_text.size() >= kMaxVersionTextLength) return false;
  return PackedVersion(latest_text) > PackedVersion(program_version);
}

std::u16string UpdatePromptText(std::u16string_view latest_text) {
  return FormatMessageText(
      u"There is an update for Hivemend available. Version %s. Would you like to auto-install it now?",
      {latest_text});
}

std::u16string HttpsUrl(std::u16string_view host, std::u16string_view path) {
  std::u16string url = u"https://";
  url += host;
  url += path;
  return url;
}

std::u16string InstallerFolderOf(std::u16string_view program_path) {
  const std::size_t slash = program_path.rfind(u'\\');
  if (slash == std::u16string_view::npos || slash < 1) return {};
  return std::u16string(program_path.substr(0, slash));
}

std::u16string InstallerArguments(std::u16string_view folder) {
  std::u16string arguments(kInstallerSwitch);
  arguments += u" /D=";
  arguments += folder;
  if (folder.size() == 2 && folder[1] == u':') arguments += u'\\';
  return arguments;
}

std::optional<std::array<std::uint8_t, 32>> ParsePin(std::u16string_view hex) {
  std::array<std::uint8_t, 32> hash{};
  if (hex.size() != hash.size() * 2) return std::nullopt;
  const auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < hash.size(); ++i) {
    const int high = digit(hex[2 * i]);
    const int low = digit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    hash[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return hash;
}

std::vector<std::array<std::uint8_t, 32>> ParsePins(std::u16string_view text) {
  std::vector<std::array<std::uint8_t, 32>> pins;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find_first_of(u",; \t\r\n", pos), text.size());
    if (end > pos) {
      const auto pin = ParsePin(text.substr(pos, end - pos));
      if (!pin) return {};
      pins.push_back(*pin);
    }
    pos = end + 1;
  }
  return pins;
}

std::u16string VersionText(const std::array<std::uint16_t, 4>& version) {
  return FormatMessageText(u"%s.%s.%s.%s", {Decimal(version[0]), Decimal(version[1]), Decimal(version[2]),
                                            Decimal(version[3])});
}

bool IsInstallerVersionAccepted(const std::optional<std::array<std::uint16_t, 4>>& installer_version,
                                std::u16string_view offered_version, std::u16string_view program_version) {
  if (!installer_version) return false;
  const VersionFields offered = ParseVersionFields(offered_version);
  VersionFields installer{};
  for (std::size_t n = 0; n < installer.size(); ++n) installer[n] = (*installer_version)[n];
  return installer == offered && PackVersion(installer) > PackedVersion(program_version);
}

std::u16string InstallOutcomeMessage(const InstallResult& result) {
  constexpr std::u16string_view kNothing = u" Nothing was installed.";
  constexpr std::u16string_view kDeleted = u" It was deleted and not started. Nothing was installed.";
  const auto failed = [&](std::u16string_view reason) { return std::u16string(reason) + std::u16string(kNothing); };
  const auto refused = [&](std::u16string_view reason) { return std::u16string(reason) + std::u16string(kDeleted); };
  switch (result.outcome) {
    case InstallOutcome::Started:
      return FormatMessageText(u"The update to version %s was downloaded and verified, and its installer has started. "
                               u"Start Hivemend again once the installer has finished.",
                               {result.offered_version});
    case InstallOutcome::Stopped: return {};
    case InstallOutcome::NoFolder:
      return failed(u"The update could not be downloaded: Hivemend could not find its own folder.");
    case InstallOutcome::NoPublisher:
      return failed(u"This copy of Hivemend was built without its publisher's key, so it cannot check an update.");
    case InstallOutcome::NoConnection:
      return failed(u"The update could not be downloaded: the update server could not be reached.");
    case InstallOutcome::TimedOut:
      return failed(u"The update could not be downloaded: the update server did not answer within 30 seconds.");
    case InstallOutcome::Certificate:
      return failed(u"The update could not be downloaded: the update server's certificate was refused.");
    case InstallOutcome::NotHttps:
      return failed(u"The update could not be downloaded: the server redirected it to an address that is not secure "
                    u"(not https).");
    case InstallOutcome::ServerStatus:
      return failed(FormatMessageText(u"The update could not be downloaded: the update server answered with status %s.",
                                      {Decimal(result.status)}));
    case InstallOutcome::Interrupted:
      return failed(u"The update could not be downloaded: the connection broke before the whole file had arrived.");
    case InstallOutcome::NoLength:
      return failed(u"The update could not be downloaded: the update server did not say how large the file is, so "
                    u"a download cut short could not be told from a whole one.");
    case InstallOutcome::TooLarge:
      return failed(u"The update was refused: the file is larger than 512 MB.");
    case InstallOutcome::TooSmall:
      return failed(u"The update was refused: the file is too small to be an installer.");
    case InstallOutcome::CannotWrite:
      return failed(u"The update could not be saved in Hivemend's folder: this account may not write there, or the "
                    u"disk is full. Start Hivemend as administrator to install the update.");
    case InstallOutcome::NotVerified:
      return refused(u"The downloaded update does not carry a valid signature.");
    case InstallOutcome::OtherPublisher:
      return refused(u"The downloaded update was not signed by the publisher of Hivemend.");
    case InstallOutcome::Revoked:
      return refused(u"The certificate that signed the downloaded update has been revoked.");
    case InstallOutcome::RevocationUnknown:
      return refused(u"Whether the certificate that signed the downloaded update has been revoked could not be "
                     u"checked.");
    case InstallOutcome::WrongVersion:
      if (result.installer_version.empty()) return refused(u"The downloaded installer does not name its version.");
      if (result.installer_version == result.offered_version) {
        return refused(FormatMessageText(u"The downloaded installer is version %s, which is not newer than this "
                                         u"copy of Hivemend.",
                                         {result.installer_version}));
      }
      return refused(FormatMessageText(u"The downloaded installer is version %s, but version %s was offered.",
                                       {result.installer_version, result.offered_version}));
    case InstallOutcome::Declined:
      return failed(u"The installer was not started: the request for administrator rights was declined.");
    case InstallOutcome::StartFailed:
      return failed(u"The update was downloaded and verified, but its installer could not be started.");
  }
  return {};
}

}  // namespace hivemend
