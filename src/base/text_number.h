#pragma once
// Conversions between the boxes' texts and numbers, as the program reads and
// writes every parameter box. Texts are UTF-8 throughout the core.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvamy {

// Replaces the full-width forms that a Chinese input method types (the
// full-width ASCII block, the ideographic space, the full-width tilde and the
// two stars) by their ASCII counterparts; everything else is kept byte for byte.
std::string MapFullWidthToAscii(std::string_view utf8);

// The one reading of a box's text that every box shares (the recorder's reads,
// the preview's, the integer boxes' tidying on focus loss): full-width forms
// mapped first, then leading white space skipped, one optional sign, decimal
// digits up to the first other character; no digit gives 0. The value wraps
// modulo 2^64; each caller keeps the width it needs.
std::int64_t ReadBoxInteger(std::string_view utf8);

// Reads a box's text as the program reads every parameter: full-width forms
// mapped first, then leading white space skipped, one optional sign, decimal
// digits up to the first other character; no digit gives 0; the value wraps
// modulo 2^32. "350px" -> 350, "12.7" -> 12, "1e3" -> 1, "" -> 0.
std::int32_t TextToInt(std::string_view utf8);

// "%d".
std::string IntToText(std::int64_t value);

// "%.13g": 365.0 -> "365".
std::string RealToText(double value);

// Truncates toward zero and keeps the low 32 bits, as converting a computed
// real to a 32-bit integer does here. NaN and infinities give 0.
std::int32_t TruncToInt32(double value);

}  // namespace orvamy
