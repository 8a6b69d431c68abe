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
  // The same reading as every other box (full-width digits included), so the
  // box never tidies into something other than what the recorder reads.
  const std::int64_t value = ReadBoxInteger(text);
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
