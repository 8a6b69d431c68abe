#include "app/integer_box.h"

#include <gtest/gtest.h>

namespace orvamy {
namespace {

TEST(IntegerBox, FiltersTypedCharacters) {
  for (const char32_t ok : {U'0', U'5', U'9', U'-', U'\b', U'\x16', U'\x7F'}) {
    EXPECT_TRUE(AcceptsTypedCharacter(ok)) << static_cast<int>(ok);
  }
  for (const char32_t dropped : {U'a', U'+', U' ', U'.', U'５', U'－', U'e'}) {
    EXPECT_FALSE(AcceptsTypedCharacter(dropped)) << static_cast<int>(dropped);
  }
}

TEST(IntegerBox, NormalisesOnFocusLoss) {
  const struct {
    const char* text;
    const char* result;  // nullptr: left untouched
  } cases[] = {
      {"0", ""},    {"-", ""},     {"00", ""},   {"", nullptr},
      {"0350", "350"},
      {"99999999999", "2147483647"},
      {"-99999999999", "-2147483648"},
      {"12-3", "12"},
      {"350", nullptr},
      {"-15", nullptr},
      {" 42", "42"},
      {"+8", "8"},
      {"abc", ""},
      {"18446744073709551617", "1"},  // 2^64 + 1 wraps to 1
      {"9223372036854775808", "-2147483648"},  // wraps to the most negative 64-bit value
  };
  for (const auto& c : cases) {
    const auto result = NormaliseIntegerBox(c.text, 0);
    if (c.result == nullptr) {
      EXPECT_FALSE(result) << '"' << c.text << '"';
    } else {
      ASSERT_TRUE(result) << '"' << c.text << '"';
      EXPECT_EQ(result->text, c.result) << '"' << c.text << '"';
    }
  }
}

TEST(IntegerBox, PutsTheCaretAtTheFormerSelectionStart) {
  EXPECT_EQ(NormaliseIntegerBox("0350", 2)->caret, 2);
  EXPECT_EQ(NormaliseIntegerBox("00012", 5)->caret, 2);  // never beyond the new text
  EXPECT_EQ(NormaliseIntegerBox("0", 1)->caret, 0);
}

}  // namespace
}  // namespace orvamy
