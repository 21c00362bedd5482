#include "engine/RegText.h"

#include <bit>
#include <cstring>

#include "platform/Text.h"

namespace hivemend {

namespace {

bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

bool IsUtf8(std::string_view bytes) { return bytes.starts_with("\xEF\xBB\xBF"); }

}  // namespace

std::u16string DecodeRegText(std::string_view bytes, AnsiToUtf16Fn ansi_to_utf16, AnsiToUtf16Fn* narrow) {
  if (narrow) *narrow = nullptr;
  if (IsUtf16(bytes)) {
    const size_t units = bytes.size() / 2;  // an odd last byte is no code unit
    std::u16string text(units, u'\0');
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(text.data(), bytes.data(), units * 2);
    } else {
      for (size_t i = 0; i < units; ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
      }
    }
    const size_t nul = FindUnit(text, u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    return text;
  }
  const size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  const AnsiToUtf16Fn convert = IsUtf8(bytes) ? FromUtf8 : ansi_to_utf16;
  if (narrow) *narrow = convert;
  return convert(bytes);
}

std::u16string DecodeRegText(std::u16string&& raw, size_t byte_count, AnsiToUtf16Fn ansi_to_utf16,
                             AnsiToUtf16Fn* narrow) {
  const std::string_view bytes(reinterpret_cast<const char*>(raw.data()), byte_count);
  if (!IsUtf16(bytes) || std::endian::native != std::endian::little) {
    return DecodeRegText(bytes, ansi_to_utf16, narrow);
  }
  if (narrow) *narrow = nullptr;
  std::u16string text = std::move(raw);
  text.resize(byte_count / 2);  // an odd last byte is no code unit
  const size_t nul = FindUnit(text, u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return text;
}

bool RegLineSource::Next(std::u16string_view* line) {
  const size_t n = text_.size();
  size_t i = cursor_;
  while (i < n && (text_[i] == u'\r' || text_[i] == u'\n')) ++i;
  if (i >= n) {
    cursor_ = n;
    return false;
  }
  std::uint32_t line_ends = 0;
  for (size_t k = line_end_; k < i; ++k) {
    line_ends += text_[k] == u'\n' || (text_[k] == u'\r' && (k + 1 >= n || text_[k + 1] != u'\n'));
  }
  line_number_ = (line_number_ == 0 ? 1 : line_number_) + line_ends;
  size_t end = i;
  // Four code units at a time while none of them is below 0x0E (so none is CR
  // or LF); otherwise one by one.
  while (end < n) {
    if (end + 4 <= n) {
      std::uint64_t block;
      std::memcpy(&block, text_.data() + end, 8);
      if (((block - 0x000E000E000E000Eull) & ~block & 0x8000800080008000ull) == 0) {
        end += 4;
        continue;
      }
    }
    if (text_[end] == u'\r' || text_[end] == u'\n') break;
    ++end;
  }
  *line = text_.substr(i, end - i);
  line_end_ = end;
  cursor_ = end < n ? end + 1 : n;
  return true;
}

}  // namespace hivemend
