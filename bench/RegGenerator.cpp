#include "bench/RegGenerator.h"

#include <random>

#include "platform/Text.h"

namespace hivemend::bench {
namespace {

constexpr const char16_t* kRoots[] = {u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER", u"HKEY_CLASSES_ROOT"};
constexpr const char16_t* kWords[] = {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Explorer",
                                      u"Policies", u"Settings", u"Profiles", u"Shell", u"Components",
                                      u"Vendor", u"Product", u"Options", u"Cache", u"Plugins", u"Advanced"};

// "name"=hex(t):xx,xx,... wrapped at 80 columns with "\" and two spaces of
// indentation, as the registry editor exports.
void AppendHex(std::u16string& out, size_t prefix_length, std::u16string_view form, const std::vector<int>& bytes) {
  out += form;
  size_t column = prefix_length + form.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += Hex(static_cast<unsigned>(bytes[i]) >> 4, false);
    out += Hex(static_cast<unsigned>(bytes[i]) & 15, false);
    column += 2;
    if (i + 1 < bytes.size()) {
      out += u',';
      ++column;
      if (column > 76) {
        out += u"\\\r\n  ";
        column = 2;
      }
    }
  }
  out += u"\r\n";
}

}  // namespace

std::u16string GenerateRegText(std::uint32_t values, std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::u16string out = u"Windows Registry Editor Version 5.00\r\n\r\n";
  out.reserve(static_cast<size_t>(values) * 90);
  std::uint32_t written = 0;
  std::uint32_t key_number = 0;
  while (written < values) {
    std::u16string key = kRoots[pick(3)];
    const int depth = 2 + pick(5);
    for (int d = 0; d < depth; ++d) {
      key += u'\\';
      key += kWords[pick(16)];
      if (d == depth - 1) key += Decimal(key_number++);
    }
    out += u"[" + key + u"]\r\n";
    const int count = 3 + pick(12);
    bool has_default = false;
    for (int v = 0; v < count && written < values; ++v, ++written) {
      const int form = pick(100);
      const bool is_default = form < 2 && !has_default;
      has_default = has_default || is_default;
      std::u16string name = is_default ? u"@" : u"\"Value" + Decimal(v) + (pick(10) == 0 ? u" \\\\name\"" : u"\"");
      const size_t prefix = name.size() + 1;
      out += name + u"=";
      if (form < 42) {
        out += u"\"C:\\\\Program Files\\\\" + std::u16string(kWords[pick(16)]) + u"\\\\" + Decimal(rng() % 100000) +
               (pick(8) == 0 ? u" \\\"quoted\\\"" : u"") + u"\"\r\n";
      } else if (form < 67) {
        const std::u16string digits = Hex(pick(4) == 0 ? rng() : rng() % 4096, false);
        out += u"dword:" + std::u16string(8 - digits.size(), u'0') + digits + u"\r\n";
      } else {
        std::vector<int> bytes;
        std::u16string_view type = u"hex:";
        size_t n = 1 + static_cast<size_t>(pick(24));
        if (form < 77) {
          if (pick(10) == 0) n = 200 + static_cast<size_t>(pick(800));  // long binary blobs
        } else if (form < 92) {
          // Strings as UTF-16 code units with their terminators: one for an
          // expandable string, one per string and one more for a list.
          type = form < 85 ? u"hex(2):" : u"hex(7):";
          const int strings = form < 85 ? 1 : 1 + pick(4);
          for (int k = 0; k < strings; ++k) {
            const std::u16string text = form < 85 ? u"%SystemRoot%\\" + Decimal(rng() % 1000) : kWords[pick(16)];
            for (char16_t c : text) {
              bytes.push_back(c & 0xFF);
              bytes.push_back(c >> 8);
            }
            bytes.push_back(0);
            bytes.push_back(0);
          }
          if (form >= 85) {
            bytes.push_back(0);
            bytes.push_back(0);
          }
          n = 0;
        } else if (form < 97) {
          type = u"hex(b):";
          n = 8;
        } else {
          out.pop_back();  // deletion: "name"=-
          out += u"=-\r\n";
          continue;
        }
        for (size_t i = 0; i < n; ++i) bytes.push_back(pick(256));  // n is 0 for the string forms
        out.pop_back();
        out += u'=';
        AppendHex(out, prefix, type, bytes);
      }
    }
    out += u"\r\n";
  }
  return out;
}

}  // namespace hivemend::bench
