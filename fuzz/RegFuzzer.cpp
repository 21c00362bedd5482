// Fuzzes decoding, parsing, comparison and row texts: any bytes are taken as a
// .REG file, loaded once into an in-memory registry as a baseline and then
// compared against it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/Baseline.h"
#include "engine/LoadPipeline.h"
#include "engine/RegText.h"
#include "platform/MemoryRegistry.h"

namespace {

class NullReport final : public hivemend::LoadReport {
 public:
  void AddEntry(hivemend::ChangeEntry&& entry) override {
    for (int c = 0; c < hivemend::kColumnCount; ++c) total += entry.ColumnText(c).size();
  }
  void SetStatusText(int, const std::u16string& text) override { total += text.size(); }
  void ShowError(const std::u16string& text) override { total += text.size(); }
  bool CancelRequested() override { return false; }
  void LoadEnded() override {}
  size_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  hivemend::AnsiToUtf16Fn narrow = nullptr;
  const std::u16string text = hivemend::DecodeRegText(bytes, hivemend::Windows1252ToUtf16, &narrow);
  hivemend::MemoryRegistry registry;
  // With the file's narrow converter: version 4 strings in hex become UTF-16.
  hivemend::LoadBaselineText(text, registry, nullptr, narrow);
  NullReport report;
  hivemend::RunLoadText(text, u"fuzz.reg", &registry, report);
  return 0;
}
