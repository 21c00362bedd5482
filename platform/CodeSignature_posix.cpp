#include "platform/CodeSignature.h"

namespace hivemend {

// Programs downloaded elsewhere are never started, so nothing is accepted.
SignatureCheck CheckCodeSignature(const std::u16string&, void*, const std::vector<KeyPin>&, unsigned) {
  return SignatureCheck::CannotCheck;
}

std::optional<std::array<std::uint16_t, 4>> ProgramFileVersion(const std::u16string&) { return std::nullopt; }

}  // namespace hivemend
