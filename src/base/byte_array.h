#pragma once
#include <cstdint>
#include <vector>

namespace orvamy {

// A counted sequence of bytes; empty means "none" (a failed capture, no picture).
using ByteArray = std::vector<std::uint8_t>;

}  // namespace orvamy
