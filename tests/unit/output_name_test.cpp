#include "output/output_name.h"

#include <gtest/gtest.h>

namespace orvamy {
namespace {

struct StampCase {
  LocalTime time;
  const char* stamp;
};

class TimeStampTest : public testing::TestWithParam<StampCase> {};

TEST_P(TimeStampTest, DropsUnitsLeadingZerosAndTrailingZeroTimeParts) {
  EXPECT_EQ(MakeTimeStamp(GetParam().time), GetParam().stamp);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeStampTest,
    testing::Values(StampCase{{2024, 3, 5, 14, 7, 9}, "2024351479"},
                    StampCase{{2024, 3, 5, 14, 7, 0}, "202435147"},
                    StampCase{{2024, 3, 5, 14, 0, 0}, "20243514"},
                    StampCase{{2024, 3, 5, 0, 0, 0}, "202435"},
                    StampCase{{2024, 3, 5, 0, 7, 0}, "20243507"},
                    StampCase{{2024, 3, 5, 0, 0, 9}, "202435009"},
                    StampCase{{2024, 12, 25, 23, 59, 59}, "20241225235959"},
                    // different moments can share a name
                    StampCase{{2024, 1, 12, 10, 0, 0}, "202411210"},
                    StampCase{{2024, 11, 2, 10, 0, 0}, "202411210"}));

TEST(OutputPath, JoinsDirectoryAndStampWithOneSeparator) {
  EXPECT_EQ(MakeOutputPath("C:\\Tools\\Recorder", '\\', "2024351479"),
            "C:\\Tools\\Recorder\\GIF2024351479.gif");
  EXPECT_EQ(MakeOutputPath("D:", '\\', "2024351479"), "D:\\GIF2024351479.gif");
  EXPECT_EQ(MakeOutputPath("/opt/orvamy", '/', "202435"), "/opt/orvamy/GIF202435.gif");
  EXPECT_EQ(MakeOutputPath("/", '/', "202435"), "/GIF202435.gif");
  EXPECT_EQ(MakeOutputPath("/home/u/", '/', "202435", "-2"), "/home/u/GIF202435-2.gif");
}

TEST(ReplaceAll, OnePassWithoutRescanningInsertedText) {
  EXPECT_EQ(ReplaceAll("a[x]b[x]", "[x]", "<[x]>"), "a<[x]>b<[x]>");
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
  EXPECT_EQ(ReplaceAll("", "a", "b"), "");
  EXPECT_EQ(ReplaceAll("Aa", "a", "b"), "Ab");  // case-sensitive
}

}  // namespace
}  // namespace orvamy
