#include "base/utf.h"

#include <gtest/gtest.h>

namespace orvamy {
namespace {

TEST(Utf, RoundTripsThroughUtf16) {
  for (const std::string text : {"", "abc", "Orvamy GIF录制", "帧数：12", "emoji \xF0\x9F\x98\x80"}) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  }
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);  // a surrogate pair
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");          // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace orvamy
