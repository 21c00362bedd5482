// Files: reading a whole file while keeping it open, writing whole files,
// naming new files, and the ANSI text that files may hold. Paths are UTF-16.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hivemend {

enum class FileReadStatus { Ok, CannotOpen, TooLarge, ReadError };

// What a path names: nothing (or nothing this account may see), a file, or a
// folder.
enum class PathKind { Missing, File, Folder };
PathKind KindOfPath(const std::u16string& path);

// Why a file could not be opened, as the system reported it.
struct FileOpenError {
  enum class Kind { None, NotFound, Folder, AccessDenied, InUse, Other };
  Kind kind = Kind::None;
  std::uint32_t system_code = 0;  // GetLastError() on Windows, errno elsewhere
};

// One sentence for the user: "The file does not exist.", ...; for Other the
// system's own message for the code.
std::u16string FileOpenErrorText(const FileOpenError& error);
// The system's message for an error code, as one sentence.
std::u16string SystemErrorMessage(std::uint32_t code);

// A file opened for reading only, shared with other readers but no writers.
// It stays open until the object goes, so nobody changes it during a load.
class ReadOnlyFile {
 public:
  ReadOnlyFile();
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // CannotOpen when the file does not exist or cannot be opened (also for a
  // folder); open_error() then says why.
  [[nodiscard]] FileReadStatus Open(const std::u16string& path);
  const FileOpenError& open_error() const { return open_error_; }
  // Reads the whole file in one request into 16-bit units holding its bytes as
  // they are (an odd last byte fills half a unit), so that UTF-16 text needs no
  // copy. TooLarge for 4 GiB and more.
  [[nodiscard]] FileReadStatus ReadAll(std::u16string& raw, size_t* byte_count);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  FileOpenError open_error_;
};

// Converts ANSI text to UTF-16; injected into decoding.
using AnsiToUtf16Fn = std::u16string (*)(std::string_view bytes);

// The thread's ANSI code page on Windows; Windows-1252 elsewhere.
std::u16string ThreadAnsiToUtf16(std::string_view bytes);
// Windows-1252, as Windows converts it (the five unassigned bytes map to the
// control characters of the same value).
std::u16string Windows1252ToUtf16(std::string_view bytes);

enum class WriteMode {
  CreateNew,  // fails when a file of that name exists
  Replace,    // replaces a file of that name, or creates one
};

// Writes bytes as the whole content of the file at path. All or nothing: when
// it fails, no file of that name holds part of the bytes. With CreateNew
// nothing is left behind; with Replace a file that was there stays as it was
// (the bytes go to a new file in the same folder first, which then takes the
// name).
[[nodiscard]] bool WriteWholeFile(const std::u16string& path, std::string_view bytes, WriteMode mode);

// A new file holding FF FE and the text as UTF-16 little-endian; CreateNew.
[[nodiscard]] bool WriteUnicodeTextFile(const std::u16string& path, std::u16string_view text);

// Creates a new empty file in folder whose name is the first three characters
// of prefix, a hexadecimal number that no file there bears yet, and ".tmp"
// (any letter case); returns its full path, or empty on failure (for example
// when the folder does not exist or cannot be written).
std::u16string CreateUniqueFile(const std::u16string& folder, std::u16string_view prefix);

// A new file that nobody else can change while this object holds it: created
// under a name that did not exist (an existing file or link of that name is
// never followed), and held without sharing for writing or deleting, so that
// no one else writes, renames or removes it until the object goes. The file
// stays on disk unless Remove is called.
class ExclusiveFile {
 public:
  ExclusiveFile();
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;

  // Creates "<folder><separator><stem>-<16 random hexadecimal digits><extension>";
  // false when no such file could be made.
  [[nodiscard]] bool CreateNew(const std::u16string& folder, std::u16string_view stem,
                               std::u16string_view extension);
  [[nodiscard]] bool Write(const std::uint8_t* data, size_t size);
  // Flushes the bytes to the disk and gives up this object's own write access,
  // still without sharing writing or deleting: afterwards the file may be read
  // and run, by this process and others, but changed by no one.
  [[nodiscard]] bool FinishWriting();
  // Closes the file and deletes it; true when it is gone.
  bool Remove();

  const std::u16string& path() const { return path_; }
  // The open handle (a HANDLE on Windows, a descriptor elsewhere).
  void* native_handle() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::u16string path_;
};

// Sixteen random hexadecimal digits, for names that nobody can guess.
std::u16string RandomHexName();

// How many names WriteNewFileDurably tries: more than a folder holds in
// practice, so that a taken name never makes it fail.
inline constexpr int kMaxNameAttempts = 1 << 20;

// Writes bytes under a temporary name in folder, flushes them to the disk,
// then gives the file the first name of name(1), name(2), ... (at most
// kMaxNameAttempts tries) that nothing in folder bears yet. All or nothing: no file with one of
// those names ever holds part of the bytes, and on failure nothing is left
// behind. Returns the file's full path, or empty on failure.
std::u16string WriteNewFileDurably(const std::u16string& folder, std::string_view bytes,
                                   const std::function<std::u16string(int attempt)>& name);

// FF FE and the text as UTF-16 little-endian.
std::string Utf16FileBytes(std::u16string_view text);

// Tests: the whole-file writes of this process fail once this many more bytes
// have been written, as on a full disk; nullopt: writes never fail so.
void SetWriteFailureForTesting(std::optional<std::uint64_t> bytes);
// How many of size bytes a write may put down before the failure set above
// (size when none is set); for the platform halves.
size_t AllowedWriteBytes(size_t size);

// Whether anything (a file, a folder) bears the name.
bool PathExists(const std::u16string& path);
// Removes a file; false when it could not be removed.
bool RemoveFile(const std::u16string& path);

}  // namespace hivemend
