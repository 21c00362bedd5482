// Writes large, realistic .REG texts for benchmarks: nested keys, every value
// form, long hex values wrapped over continuation lines as the registry
// editor wraps them.
#pragma once

#include <cstdint>
#include <string>

namespace hivemend::bench {

// A UTF-16 .REG text (without byte-order mark) of about `values` value lines,
// reproducible for a seed, with CR LF line ends.
std::u16string GenerateRegText(std::uint32_t values, std::uint32_t seed);

}  // namespace hivemend::bench
