#include "base/text_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/utf.h"

#if ORVAMY_HAVE_ICONV
#include <iconv.h>
#endif

namespace orvamy {
namespace {

struct TextCase {
  const char* text;
  std::int32_t value;
};

class TextToIntTest : public testing::TestWithParam<TextCase> {};

TEST_P(TextToIntTest, ReadsLikeAtolAfterFullWidthMapping) {
  EXPECT_EQ(TextToInt(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToIntTest,
    testing::Values(TextCase{"350px", 350}, TextCase{"12.7", 12}, TextCase{"1e3", 1},
                    TextCase{"", 0}, TextCase{"abc", 0}, TextCase{"  \t\n42", 42},
                    TextCase{"+7", 7}, TextCase{"-15", -15}, TextCase{"- 5", 0},
                    TextCase{"--5", 0}, TextCase{"2147483647", 2147483647},
                    TextCase{"2147483648", std::numeric_limits<std::int32_t>::min()},
                    TextCase{"4294967296", 0}, TextCase{"4294967297", 1},
                    TextCase{"2147483662", -2147483634}, TextCase{"-2147483649", 2147483647},
                    // full-width digits, sign and space as a Chinese input method types them
                    TextCase{"３５０", 350}, TextCase{"－１５", -15}, TextCase{"　２０", 20},
                    TextCase{"＋８", 8}, TextCase{"1２3", 123}, TextCase{"5，", 5},
                    TextCase{"帧5", 0}));

TEST(TextToInt, LeavesOtherCharactersAlone) {
  EXPECT_EQ(MapFullWidthToAscii("宽：３５０ｐｘ"), "宽:350px");
  EXPECT_EQ(MapFullWidthToAscii("￥￣～☆★＊"), "$~~***");
  // U+FF04 is not what GBK's full-width dollar sign stands for.
  EXPECT_EQ(MapFullWidthToAscii("＄"), "＄");
  EXPECT_EQ(MapFullWidthToAscii("\xff\xfe"), "\xff\xfe");  // malformed bytes pass through
}

#if ORVAMY_HAVE_ICONV
// The full-width table must be exactly what GBK's codes stand for: derive it
// from the system's GBK converter rather than trusting the table.
TEST(TextToInt, FullWidthMappingMatchesGbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  auto gbk_to_utf8 = [&](unsigned char hi, unsigned char lo) {
    char in[2] = {static_cast<char>(hi), static_cast<char>(lo)};
    char out[8] = {};
    char* in_ptr = in;
    char* out_ptr = out;
    std::size_t in_left = 2, out_left = sizeof out;
    EXPECT_NE(iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left), static_cast<std::size_t>(-1));
    return std::string(out, sizeof out - out_left);
  };
  for (unsigned lo = 0xA1; lo <= 0xFE; ++lo) {
    const std::string full_width = gbk_to_utf8(0xA3, static_cast<unsigned char>(lo));
    EXPECT_EQ(MapFullWidthToAscii(full_width), std::string(1, static_cast<char>(lo - 0x80)))
        << "GBK A3" << std::hex << lo;
  }
  EXPECT_EQ(MapFullWidthToAscii(gbk_to_utf8(0xA1, 0xA1)), " ");
  EXPECT_EQ(MapFullWidthToAscii(gbk_to_utf8(0xA1, 0xAB)), "~");
  EXPECT_EQ(MapFullWidthToAscii(gbk_to_utf8(0xA1, 0xEE)), "*");
  EXPECT_EQ(MapFullWidthToAscii(gbk_to_utf8(0xA1, 0xEF)), "*");
  iconv_close(cd);
}
#endif

TEST(NumberToText, FormatsLikePrintf) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(-2147483648LL), "-2147483648");
  EXPECT_EQ(RealToText(365.0), "365");
  EXPECT_EQ(RealToText(-15.0), "-15");
  EXPECT_EQ(RealToText(2147483662.0), "2147483662");
  EXPECT_EQ(RealToText(0.5), "0.5");
}

TEST(TruncToInt32, TruncatesTowardZeroAndWraps) {
  EXPECT_EQ(TruncToInt32(-75.5), -75);
  EXPECT_EQ(TruncToInt32(175.9), 175);
  EXPECT_EQ(TruncToInt32(-0.9), 0);
  EXPECT_EQ(TruncToInt32(4294967296.0 + 5), 5);
  EXPECT_EQ(TruncToInt32(std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(TruncToInt32(std::nan("")), 0);
}

}  // namespace
}  // namespace orvamy
