#include "app/integer_box.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/text_number.h"

namespace orvamy {

bool AcceptsTypedCharacter(char32_t typed) {
  const bool control = typed < 0x20 || typed == 0x7F;
  return control || typed == U'-' || (typed >= U'0' && typed <= U'9');
}

std::optional<NormalisedBox> NormaliseIntegerBox(std::string_view text, int selection_start) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint64_t magnitude = 0;  // wraps modulo 2^64
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10u + static_cast<std::uint64_t>(text[i] - '0');
  }
  const auto value = static_cast<std::int64_t>(negative ? 0u - magnitude : magnitude);
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::int64_t clamped = value < kMin ? kMin : (value > kMax ? kMax : value);
  std::string result = clamped == 0 ? std::string() : IntToText(clamped);
  if (result == text) return std::nullopt;
  // The new text is ASCII, so characters and bytes agree.
  const int caret = std::min(selection_start, static_cast<int>(result.size()));
  return NormalisedBox{std::move(result), std::max(caret, 0)};
}

}  // namespace orvamy
