// Turning a .REG file's bytes into UTF-16 text and that text into lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace hivemend {

// A file that starts with FF FE or FE FF is UTF-16: its bytes are taken as
// little-endian code units from the very first byte (the byte-order mark stays
// as the first character; nothing is swapped). A file that starts with EF BB BF
// is UTF-8 (the mark becomes U+FEFF as in UTF-16 text; ill-formed bytes become
// U+FFFD). Anything else is ANSI text, converted with ansi_to_utf16. The text
// ends at the first NUL. When narrow is given it receives the converter that
// narrow text went through (ansi_to_utf16 or FromUtf8), or null for UTF-16: a
// version 4 file's hex(2) and hex(7) bytes are converted with it.
std::u16string DecodeRegText(std::string_view bytes, AnsiToUtf16Fn ansi_to_utf16,
                             AnsiToUtf16Fn* narrow = nullptr);
// The same for bytes held in 16-bit units as ReadOnlyFile::ReadAll gives them;
// UTF-16 text keeps the storage.
std::u16string DecodeRegText(std::u16string&& raw, size_t byte_count, AnsiToUtf16Fn ansi_to_utf16,
                             AnsiToUtf16Fn* narrow = nullptr);

// Hands out the lines of a text: every CR and LF ends a line, and empty lines
// are skipped, so CR LF, LF and a lone CR all separate lines alike. Lines keep
// their spaces and tabs.
class RegLineSource {
 public:
  explicit RegLineSource(std::u16string_view text) : text_(text) {}
  // False when nothing but CR and LF remains.
  bool Next(std::u16string_view* line);
  // The number of the line Next gave last, as a text editor counts lines:
  // CR LF, LF and a lone CR each end one, empty lines included.
  std::uint32_t line_number() const { return line_number_; }

 private:
  std::u16string_view text_;
  size_t cursor_ = 0;
  size_t line_end_ = 0;  // where the last line given ended
  std::uint32_t line_number_ = 0;
};

}  // namespace hivemend
