#include "output/clipboard_payloads.h"

#include <gtest/gtest.h>

namespace orvamy {
namespace {

constexpr std::string_view kExamplePath = "C:\\Tools\\Recorder\\GIF2024351479.gif";  // 35 bytes

TEST(CopyHtml, FillsTheOneImageDocument) {
  ASSERT_EQ(kExamplePath.size(), 35u);
  const std::string html = MakeCopyHtml(kExamplePath);
  EXPECT_EQ(html.size(), 171u);
  const std::string line8 =
      "<img src=\"C:\\Tools\\Recorder\\GIF2024351479.gif\"  alt=\"\" id=\"img\" />\r\n";
  EXPECT_EQ(line8.size(), 66u + 2);
  EXPECT_NE(html.find("\r\n\r\n<body>\r\n" + line8 + "</body>\r\n\r\n</html>\r\n"),
            std::string::npos);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>Copy Gif Image</title>", 0),
            0u);
}

TEST(CopyHtml, InsertsThePathRawAndOnce) {
  EXPECT_EQ(MakeCopyHtml("").size(), 136u);
  const std::string odd = "C:\\a&b\"<c>\\[&GifFileName]\\图.gif";
  const std::string html = MakeCopyHtml(odd);
  EXPECT_EQ(html.size(), 136u + odd.size());
  EXPECT_NE(html.find("src=\"" + odd + "\""), std::string::npos);
}

TEST(QQPayload, WrapsThePathInTheRichEditXml) {
  const std::string payload = MakeQQPayload(kExamplePath);
  EXPECT_EQ(payload.size(), 160u);
  EXPECT_EQ(payload,
            "<QQRichEditFormat><Info version=\"1001\"></Info><EditElement type=\"1\" filepath=\"" +
                std::string(kExamplePath) + "\" shortcut=\"\"></EditElement></QQRichEditFormat>");
  const ByteArray block = MakeQQClipboardBlock(kExamplePath);
  ASSERT_EQ(block.size(), 161u);
  EXPECT_EQ(block.back(), 0);
  EXPECT_EQ(std::string(block.begin(), block.end() - 1), payload);
  EXPECT_EQ(MakeQQPayload("").size(), 125u);
  EXPECT_EQ(MakeQQPayload("[&GifFileName]").size(), 139u);
}

TEST(FileUrl, EscapesEverythingButPlainPathCharacters) {
  EXPECT_EQ(FileUrlFromPath("/home/u/GIF2024351479.gif"), "file:///home/u/GIF2024351479.gif");
  EXPECT_EQ(FileUrlFromPath("/tmp/a b&\"<#%?.gif"), "file:///tmp/a%20b%26%22%3C%23%25%3F.gif");
  EXPECT_EQ(FileUrlFromPath("/图"), "file:///%E5%9B%BE");
}

TEST(GifDataUrl, EncodesEveryLengthOfTheLastGroup) {
  struct Case {
    std::string_view bytes;
    std::string_view base64;
  };
  const Case cases[] = {
      {"", ""},          {"G", "Rw=="},         {"GI", "R0k="},
      {"GIF", "R0lG"},   {"GIF8", "R0lGOA=="},  {std::string_view("\xff\xfe\x00", 3), "//4A"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GifDataUrl(c.bytes), "data:image/gif;base64," + std::string(c.base64))
        << c.bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace orvamy
