// Text helpers of the portable core. All program text is UTF-16 held as
// char16_t; these helpers never depend on a locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hivemend {

// Folds the letters A to Z to a to z; every other code unit is unchanged.
constexpr char16_t FoldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Folds a character as the registry compares key and value names: without
// regard to case in A to Z and in the common alphabets (Latin-1, Latin
// Extended-A, Greek, Cyrillic).
char16_t FoldRegistryCharSlow(char16_t c);
inline char16_t FoldRegistryChar(char16_t c) { return c < 0x80 ? FoldAscii(c) : FoldRegistryCharSlow(c); }

// The position of the first c in text, or npos: string_view's find, eight
// units at a time (the character traits look at char16_t one by one).
size_t FindUnit(std::u16string_view text, char16_t c);

// Compares code unit by code unit as unsigned 16-bit numbers after folding A-Z;
// a text that is a prefix of the other sorts first. Returns <0, 0 or >0.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool ContainsNoCase(std::u16string_view haystack, std::u16string_view needle);
std::u16string FoldedCopy(std::u16string_view text);

// The white space that the C runtime's wide classification accepts.
bool IsWideSpaceSlow(char16_t c);
inline bool IsWideSpace(char16_t c) {
  if (c > 0x20 && c < 0x85) return false;  // the common case, decided at once
  return IsWideSpaceSlow(c);
}
std::u16string_view TrimSpace(std::u16string_view text);
std::u16string_view TrimTrailingSpace(std::u16string_view text);

// Reads like the "%x" conversion: leading white space, an optional sign, an
// optional "0x", then hexadecimal digits up to the first other character. The
// value wraps at 32 bits. Returns 0 when no digit is found.
std::uint32_t ScanHex32(std::u16string_view text, bool* found_digit = nullptr);

// Formats an unsigned number in decimal, or in hexadecimal with the given case.
std::u16string Decimal(std::uint64_t value);
std::u16string Hex(std::uint64_t value, bool upper_case);

// Replaces "%u" and "%s" markers in order with the given texts. A tiny stand-in
// for the wide printf family, used with the program's fixed message formats.
std::u16string FormatMessageText(std::u16string_view format,
                                 std::initializer_list<std::u16string_view> args);

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD; unpaired surrogates are
// written as U+FFFD when converting to UTF-8.
std::string ToUtf8(std::u16string_view text);
void AppendUtf8(std::u16string_view text, std::string& out);
std::u16string FromUtf8(std::string_view text);

// Converts a plain ASCII literal; for tests and fixed texts.
inline std::u16string U16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace hivemend
