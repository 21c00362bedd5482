// The boundary between the core's char16_t text and the Windows wide APIs.
// On Windows wchar_t and char16_t are both UTF-16 code units of 16 bits.
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows only: wchar_t is UTF-16");

namespace hivemend {

// A NUL-terminated u16string viewed as a wide C string.
inline const wchar_t* AsWide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
// A wide text (pointer and length, or NUL-terminated) as a u16string.
inline std::u16string AsU16(const wchar_t* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string AsU16(const wchar_t* text) {
  return text ? AsU16(text, std::char_traits<wchar_t>::length(text)) : std::u16string();
}

}  // namespace hivemend
