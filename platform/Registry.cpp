#include "platform/Registry.h"

namespace hivemend {

long Registry::ReadWholeValue(Handle key, std::u16string_view name, std::uint32_t* type,
                              std::vector<std::uint8_t>* data) {
  std::uint32_t value_type = 0;
  std::uint32_t size = 0;
  long status = QueryValue(key, name, &value_type, nullptr, &size);
  if (status != kRegOk) return status;
  std::vector<std::uint8_t> bytes;
  for (int attempt = 0; attempt < 4; ++attempt) {
    bytes.resize(size);
    std::uint32_t got = size;
    // No buffer for an empty value: then a size above 0 says it grew.
    status = QueryValue(key, name, &value_type, bytes.empty() ? nullptr : bytes.data(), &got);
    if (status == kRegOk && got <= bytes.size()) {
      bytes.resize(got);
      if (type) *type = value_type;
      if (data) *data = std::move(bytes);
      return kRegOk;
    }
    if (status != kRegOk && status != kRegMoreData) return status;
    size = got;
    status = kRegMoreData;
  }
  return status;
}

}  // namespace hivemend
