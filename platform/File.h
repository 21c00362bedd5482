// Reading a whole file while keeping it open, and writing the program's UTF-16
// text files. Paths are UTF-16.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace hivemend {

enum class FileReadStatus { Ok, CannotOpen, TooLarge, ReadError };

// A file opened for reading only, shared with other readers but no writers.
// It stays open until the object goes, so nobody changes it during a load.
class ReadOnlyFile {
 public:
  ReadOnlyFile();
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // CannotOpen when the file does not exist or cannot be opened (also for a folder).
  [[nodiscard]] FileReadStatus Open(const std::u16string& path);
  // Reads the whole file in one request into 16-bit units holding its bytes as
  // they are (an odd last byte fills half a unit), so that UTF-16 text needs no
  // copy. TooLarge for 4 GiB and more.
  [[nodiscard]] FileReadStatus ReadAll(std::u16string& raw, size_t* byte_count);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Converts ANSI text to UTF-16; injected into decoding.
using AnsiToUtf16Fn = std::u16string (*)(std::string_view bytes);

// The thread's ANSI code page on Windows; Windows-1252 elsewhere.
std::u16string ThreadAnsiToUtf16(std::string_view bytes);
// Windows-1252, as Windows converts it (the five unassigned bytes map to the
// control characters of the same value).
std::u16string Windows1252ToUtf16(std::string_view bytes);

// Creates a new file (fails if it exists) holding FF FE and the text as UTF-16
// little-endian. Returns false on any failure.
[[nodiscard]] bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text);

}  // namespace hivemend
