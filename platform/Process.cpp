#include "platform/Process.h"

namespace hivemend {
namespace {

// One argument as the usual command-line splitting reads it back: inside
// quotes, backslashes are literal unless they come before a quote, where each
// one and the quote need a backslash of their own.
void AppendQuoted(std::u16string_view argument, std::u16string& line) {
  if (!argument.empty() && argument.find_first_of(u" \t\n\v\"") == std::u16string_view::npos) {
    line += argument;
    return;
  }
  line += u'"';
  size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, u'\\');  // the closing quote follows
  line += u'"';
}

}  // namespace

std::u16string ArgumentsText(const std::vector<std::u16string>& arguments) {
  std::u16string line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += u' ';
    AppendQuoted(arguments[i], line);
  }
  return line;
}

std::u16string CommandLineOf(std::u16string_view program, std::initializer_list<std::u16string_view> arguments) {
  // The program's own name is read up to the next quote, without escapes;
  // a path never holds a quote.
  std::u16string line = u"\"";
  line += program;
  line += u'"';
  for (std::u16string_view argument : arguments) {
    line += u' ';
    AppendQuoted(argument, line);
  }
  return line;
}

}  // namespace hivemend
