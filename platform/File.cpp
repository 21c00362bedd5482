#include "platform/File.h"

#include <algorithm>
#include <atomic>
#include <random>

#include "platform/Text.h"

namespace hivemend {

namespace {
std::atomic<std::int64_t> g_write_budget{-1};  // -1: no failure set
}  // namespace

void SetWriteFailureForTesting(std::optional<std::uint64_t> bytes) {
  g_write_budget = bytes ? static_cast<std::int64_t>(*bytes) : -1;
}

size_t AllowedWriteBytes(size_t size) {
  std::int64_t budget = g_write_budget.load();
  while (budget >= 0) {
    const auto allowed = static_cast<std::int64_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(budget), size));
    if (g_write_budget.compare_exchange_weak(budget, budget - allowed)) return static_cast<size_t>(allowed);
  }
  return size;
}

std::string Utf16FileBytes(std::u16string_view text) {
  std::string bytes("\xFF\xFE", 2);
  bytes.reserve(2 + text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::u16string FileOpenErrorText(const FileOpenError& error) {
  switch (error.kind) {
    case FileOpenError::Kind::None: return {};
    case FileOpenError::Kind::NotFound: return u"The file does not exist.";
    case FileOpenError::Kind::Folder: return u"This is a folder, not a file.";
    case FileOpenError::Kind::AccessDenied: return u"Access is denied.";
    case FileOpenError::Kind::InUse: return u"Another program is using the file.";
    case FileOpenError::Kind::Other: break;
  }
  return SystemErrorMessage(error.system_code);
}

std::u16string Windows1252ToUtf16(std::string_view bytes) {
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

std::u16string RandomHexName() {
  std::random_device random;
  const std::uint64_t number = (static_cast<std::uint64_t>(random()) << 32) ^ random();
  std::u16string name = Hex(number, false);
  return std::u16string(16 - std::min<size_t>(16, name.size()), u'0') + name;
}

bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text) {
  return WriteWholeFile(path, Utf16FileBytes(text), WriteMode::CreateNew);
}

}  // namespace hivemend
