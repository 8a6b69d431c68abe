#include "base/text_number.h"

#include <cmath>
#include <cstdio>

#include "base/utf.h"

namespace orvamy {
namespace {

// The code points that the GBK codes A3A1..A3FE stand for map to 0x21..0x7E.
// Two of them are not in Unicode's full-width block: A3A4 is U+FFE5 (the
// full-width yen sign) and A3FE is U+FFE3 (the full-width macron). U+FF04 and
// U+FF5E therefore do not come from A3xx; U+FF5E is A1AB and maps to '~' too.
char FullWidthToAscii(char32_t cp) {
  if (cp >= 0xFF01 && cp <= 0xFF5D && cp != 0xFF04) return static_cast<char>(cp - 0xFF01 + 0x21);
  switch (cp) {
    case 0xFFE5: return '$';  // GBK A3A4
    case 0xFFE3: return '~';  // GBK A3FE
    case 0x3000: return ' ';  // GBK A1A1, ideographic space
    case 0xFF5E: return '~';  // GBK A1AB
    case 0x2606:              // GBK A1EE, white star
    case 0x2605: return '*';  // GBK A1EF, black star
    default: return 0;
  }
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string MapFullWidthToAscii(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const std::size_t start = pos;
    const char32_t cp = DecodeUtf8(utf8, pos);
    if (const char ascii = FullWidthToAscii(cp)) {
      out.push_back(ascii);
    } else {
      out.append(utf8.substr(start, pos - start));
    }
  }
  return out;
}

std::int64_t ReadBoxInteger(std::string_view utf8) {
  const std::string text = MapFullWidthToAscii(utf8);
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint64_t value = 0;  // unsigned: the wrap-around is defined
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int64_t>(value);
}

std::int32_t TextToInt(std::string_view utf8) {
  // Modulo 2^64 then the low 32 bits: the same as wrapping modulo 2^32.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadBoxInteger(utf8)));
}

std::string IntToText(std::int64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  return buffer;
}

std::string RealToText(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.13g", value);
  return buffer;
}

std::int32_t TruncToInt32(double value) {
  if (!std::isfinite(value)) return 0;
  const double truncated = std::trunc(value);
  // Reduce modulo 2^32 in floating point first so the cast below is defined.
  const double modulus = 4294967296.0;
  double reduced = std::fmod(truncated, modulus);
  if (reduced < 0) reduced += modulus;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(reduced));
}

}  // namespace orvamy
