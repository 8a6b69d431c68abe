#include "app/integer_box.h"

#include <gtest/gtest.h>

#include "base/text_number.h"

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
      // Full-width forms, as a Chinese input method types or pastes them.
      {"９９", "99"}, {"－５", "-5"}, {"　４２", "42"}, {"３５０ｐｘ", "350"}, {"０", ""},
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

// The height box tidied on focus loss, the rate box read as it stands, the
// recorder's and the preview's reads: one number for one text, whichever box
// holds it.
TEST(IntegerBox, EveryBoxReadsATextAsTheSameNumber) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {{"９９", 99},   {"99", 99},        {"－１２", -12}, {"＋７", 7},
               {"　３", 3},    {"２.５", 2},      {"１ｅ３", 1},   {"", 0},
               {"-", 0},       {"abc", 0},        {"0350", 350},   {"2147483647", 2147483647}};
  for (const auto& c : cases) {
    EXPECT_EQ(TextToInt(c.text), c.value) << '"' << c.text << '"';
    const auto tidied = NormaliseIntegerBox(c.text, 0);
    const std::string shown = tidied ? tidied->text : std::string(c.text);
    EXPECT_EQ(TextToInt(shown), c.value) << '"' << c.text << "\" -> \"" << shown << '"';
  }
}

TEST(IntegerBox, PutsTheCaretAtTheFormerSelectionStart) {
  EXPECT_EQ(NormaliseIntegerBox("0350", 2)->caret, 2);
  EXPECT_EQ(NormaliseIntegerBox("00012", 5)->caret, 2);  // never beyond the new text
  EXPECT_EQ(NormaliseIntegerBox("0", 1)->caret, 0);
}

}  // namespace
}  // namespace orvamy
