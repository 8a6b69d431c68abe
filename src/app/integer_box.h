#pragma once
// The width and height boxes take integers only: a filter on typed characters
// and a normalisation when the box loses the keyboard focus.

#include <optional>
#include <string>
#include <string_view>

namespace orvamy {

// Typed characters: control characters (backspace, Ctrl+V, ...) pass, as do
// "-" and the digits 0..9; every other character is dropped. Pasted text is
// not filtered.
bool AcceptsTypedCharacter(char32_t typed);

struct NormalisedBox {
  std::string text;
  int caret;  // in characters: the start of the former selection
};

// On focus loss the text is read as every box is read (ReadBoxInteger: full-
// width forms, white space, one sign, digits; wrapping modulo 2^64), clamped
// to the signed 32-bit range and
// written back; "0" becomes the empty text. nullopt when the text would not
// change: the box is then left untouched.
std::optional<NormalisedBox> NormaliseIntegerBox(std::string_view text, int selection_start);

}  // namespace orvamy
