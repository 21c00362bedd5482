// The one-line texts of a value, as the list's two data columns show them and
// Copy puts them on the clipboard: every type readable on one line.
//
//  - REG_SZ and REG_EXPAND_SZ: the text as written (the NUL that ends it left
//    out), control characters made visible ("<TAB>", "<CR>", "<LF>", "<NUL>",
//    "<U+001B>");
//  - REG_MULTI_SZ: the items joined by " | ";
//  - REG_DWORD and REG_QWORD of their own size: "0x" and hexadecimal digits;
//  - REG_BINARY and every other type (and numbers of another size): the bytes
//    in hexadecimal, "0A 1B FF", the first kOneLineBytesShown of them, then
//    "... (N bytes)"; no bytes at all: "(0 bytes)".
//
// The console front end's tab-separated rows keep their own texts (scripts
// read them): see DataTextStyle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hivemend {

inline constexpr size_t kOneLineBytesShown = 32;
inline constexpr std::u16string_view kMultiStringSeparator = u" | ";
// A row that deletes a value or a key.
inline constexpr std::u16string_view kDeletionText = u"(delete)";
// A row that creates an empty key.
inline constexpr std::u16string_view kCreateKeyText = u"(create key)";

// Which texts the data columns hold.
enum class DataTextStyle {
  Console,  // strings and dwords as text, "[not presentable value]" for the rest
  OneLine,  // every type on one line (this header)
};

// Appends text with its control characters made visible, on one line.
void AppendOneLineText(std::u16string_view text, std::u16string& out);
// Appends the one-line text of a value of this type. upper_case: the letter
// case of hexadecimal digits in numbers (bytes are always upper case).
void AppendOneLineValue(std::uint32_t type, std::span<const std::uint8_t> bytes, bool upper_case,
                        std::u16string& out);

}  // namespace hivemend
