// One whole load of a .REG file: read, decode, parse, compare and list. The
// body of the window's load worker and of the console front end's commands.
#pragma once

#include <string>

#include "engine/Compare.h"
#include "engine/LoadReport.h"
#include "platform/File.h"
#include "platform/Registry.h"

namespace hivemend {

enum class LoadOutcome {
  Normal,  // the completion texts were shown
  Error,   // a message box or status text said why; no completion texts
};

struct LoadSummary {
  LoadOutcome outcome = LoadOutcome::Normal;
  std::uint32_t line_number = 0;
  CompareCounts counts;
};

// The first line of the message; the path and the system's reason follow.
inline constexpr std::u16string_view kCannotLoadText = u"This file could not be loaded!";
inline constexpr std::u16string_view kTooLargeText =
    u"File so large it is in untested waters and may really slow the system if its tries to load, "
    u"perhaps even crashing the PC. Are you sure you want to load this huge .REG file?";
inline constexpr std::u16string_view kReadErrorText = u"Error reading file!";
// Progress: the line number, of the file's lines (those that hold more than
// line breaks, as the completion text counts them).
inline constexpr std::u16string_view kProgressFormat = u"Reading line %u of %u";
inline constexpr std::u16string_view kCompletionFormat = u"Read %u lines from %s";
// The completion text of a load the user cancelled: lines read, of the file's.
inline constexpr std::u16string_view kLoadCancelledFormat = u"Loading cancelled: read %u of %u lines";

// registry may be null (nothing exists). The file stays open until the load ends.
// Keys are opened with key_access where the account may (for reading where it
// may not): a merge that follows through a KeyKeepingRegistry finds them open.
LoadSummary RunLoad(const std::u16string& path, Registry* registry, LoadReport& report,
                    AnsiToUtf16Fn ansi_to_utf16 = ThreadAnsiToUtf16, std::uint32_t key_access = kKeyRead);

// The same for bytes read from elsewhere (standard input): read says how the
// reading ended (Ok, TooLarge or ReadError), raw holds the bytes as
// ReadOnlyFile::ReadAll gives them, and path names the source in the texts.
// The bytes are decoded exactly as a file's are.
LoadSummary RunLoadBytes(FileReadStatus read, std::u16string&& raw, size_t byte_count, const std::u16string& path,
                         Registry* registry, LoadReport& report, AnsiToUtf16Fn ansi_to_utf16 = ThreadAnsiToUtf16,
                         std::uint32_t key_access = kKeyRead);

// The same for a text already decoded (tests, fuzzing, benchmarks).
LoadSummary RunLoadText(std::u16string_view text, const std::u16string& path, Registry* registry,
                        LoadReport& report, std::uint32_t key_access = kKeyRead);

}  // namespace hivemend
