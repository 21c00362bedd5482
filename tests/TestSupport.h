// Helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/Text.h"

namespace hivemend::test {

// Readable failure messages for UTF-16 texts.
inline std::string Show(std::u16string_view text) { return ToUtf8(text); }

// A folder of its own under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    for (int i = 0;; ++i) {
      path_ = base / ("hivemend-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                      "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xFFFFFF) + "-" +
                      std::to_string(i));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::u16string u16() const { return path_.u16string(); }
  std::u16string File(const std::string& name) const { return (path_ / name).u16string(); }
  // The files in the folder, sorted.
  std::vector<std::filesystem::path> Files() const {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(path_)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A text as the registry stores a string: UTF-16 little-endian, with its NUL
// unless told otherwise.
inline std::vector<std::uint8_t> StringBytes(std::u16string_view text, bool with_nul = true) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (with_nul) bytes.resize(bytes.size() + 2, 0);
  return bytes;
}
inline std::vector<std::uint8_t> DwordBytes(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

// UTF-16 little-endian bytes with the FF FE mark.
inline std::string Utf16File(std::u16string_view text) { return Utf16FileBytes(text); }

// The folder of real .REG files written by others; empty when this checkout
// has none (as on a user's clone).
inline std::filesystem::path CorpusFolder() {
#ifdef HIVEMEND_CORPUS_DIR
  std::error_code ec;
  if (std::filesystem::is_directory(HIVEMEND_CORPUS_DIR, ec)) return HIVEMEND_CORPUS_DIR;
#endif
  return {};
}

}  // namespace hivemend::test
