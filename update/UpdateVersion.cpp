#include "update/UpdateVersion.h"

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

std::optional<std::array<std::uint8_t, 32>> ParseCertificateHash(std::u16string_view hex) {
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

std::u16string InstallOutcomeMessage(InstallOutcome outcome) {
  switch (outcome) {
    case InstallOutcome::NotVerified:
      return u"The downloaded update does not carry a valid signature of the publisher of Hivemend. "
             u"It was deleted and not started.";
    case InstallOutcome::CannotWrite:
      return u"The update could not be saved in Hivemend's folder: this account may not write there, or the disk "
             u"is full. Start Hivemend as administrator to install the update.";
    case InstallOutcome::StartFailed:
      return u"The update was downloaded and verified, but it could not be started (an installer needs "
             u"administrator rights). It was deleted.";
    default: return {};
  }
}

}  // namespace hivemend
