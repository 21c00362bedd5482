// The running program's own path, and starting another program.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace hivemend {

// The running program's full path. Empty when it cannot be had whole: a path
// cut at a buffer's end would name some other file.
std::u16string ProgramPath();

// Starts program with the arguments and does not wait for it; the new process
// outlives this one. True when it was started.
[[nodiscard]] bool StartProcess(const std::u16string& program, std::initializer_list<std::u16string_view> arguments);

// Starts program with the arguments and the highest rights the user can have,
// through the system's consent prompt when it asks for one (owned by the
// native window owner, which may be null); does not wait. 0 when started,
// else the system's error code: 1223 (ERROR_CANCELLED) when the user said no.
[[nodiscard]] long StartProcessElevated(const std::u16string& program, const std::vector<std::u16string>& arguments,
                                        void* owner);

// The same two with the arguments as one text, put after the program's quoted
// path exactly as it stands, for programs that read their command line in a
// way of their own (an installer's "/D=<folder>" must come last, unquoted).
// Windows only: elsewhere nothing is started (false, and 50).
[[nodiscard]] bool StartProcessVerbatim(const std::u16string& program, std::u16string_view arguments_text);
[[nodiscard]] long StartProcessElevatedVerbatim(const std::u16string& program, std::u16string_view arguments_text,
                                                void* owner);

// Whether this process runs with a full administrator's rights.
bool ProcessIsElevated();

// The arguments as a command line holds them after the program's path: each
// after a space but the first, quoted as CommandLineOf quotes them.
std::u16string ArgumentsText(const std::vector<std::u16string>& arguments);

// The command line that Windows hands to a program started with the
// arguments: the program's path in quotes, then each argument after a space,
// quoted where it holds white space or quotes or is empty, so that the usual
// splitting of a command line gives the arguments back unchanged.
std::u16string CommandLineOf(std::u16string_view program, std::initializer_list<std::u16string_view> arguments);

// The rule of the system calls that fill a caller's buffer and cut what does
// not fit (the program's path): read(buffer, capacity) returns how many units
// it wrote, 0 on failure, and capacity or more when the text did not fit. The
// buffer starts at first_capacity (at least 1) and doubles while the text does
// not fit, up to max_capacity. Empty on failure or when it never fits.
template <typename Char, typename Read>
std::basic_string<Char> ReadUntilFits(std::size_t first_capacity, std::size_t max_capacity, Read read) {
  for (std::size_t capacity = first_capacity; capacity != 0 && capacity <= max_capacity; capacity *= 2) {
    std::basic_string<Char> buffer(capacity, Char{});
    const std::size_t length = read(buffer.data(), capacity);
    if (length == 0) break;
    if (length < capacity) {
      buffer.resize(length);
      return buffer;
    }
  }
  return {};
}

}  // namespace hivemend
