#include "output/clipboard_payloads.h"

#include <cstdint>

#include "output/output_name.h"

namespace orvamy {
namespace {

constexpr std::string_view kHtmlTemplate =
    "<!DOCTYPE html>\r\n"
    "<html>\r\n"
    "<head>\r\n"
    "<title>Copy Gif Image</title>\r\n"
    "</head>\r\n"
    "\r\n"
    "<body>\r\n"
    "<img src=\"[&GifFileName]\"  alt=\"\" id=\"img\" />\r\n"
    "</body>\r\n"
    "\r\n"
    "</html>\r\n";
static_assert(kHtmlTemplate.size() == 150);

constexpr std::string_view kQQHead =
    "<QQRichEditFormat><Info version=\"1001\"></Info><EditElement type=\"1\" filepath=\"";
constexpr std::string_view kQQTail = "\" shortcut=\"\"></EditElement></QQRichEditFormat>";
static_assert(kQQHead.size() == 78 && kQQTail.size() == 47);

}  // namespace

std::string MakeCopyHtml(std::string_view image_source) {
  return ReplaceAll(kHtmlTemplate, kGifFileNamePlaceholder, image_source);
}

std::string MakeQQPayload(std::string_view path) {
  std::string payload;
  payload.reserve(kQQHead.size() + path.size() + kQQTail.size());
  payload.append(kQQHead).append(path).append(kQQTail);
  return payload;
}

ByteArray MakeQQClipboardBlock(std::string_view path) {
  const std::string payload = MakeQQPayload(path);
  ByteArray block(payload.begin(), payload.end());
  block.push_back(0);
  return block;
}

std::string FileUrlFromPath(std::string_view absolute_path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char ch : absolute_path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      url.push_back(ch);
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 0xF]);
    }
  }
  return url;
}

std::string GifDataUrl(std::string_view gif_bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  constexpr std::string_view kPrefix = "data:image/gif;base64,";
  std::string url;
  url.reserve(kPrefix.size() + (gif_bytes.size() + 2) / 3 * 4);
  url.append(kPrefix);
  std::size_t i = 0;
  const auto byte = [&gif_bytes](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(gif_bytes[at]));
  };
  for (; i + 3 <= gif_bytes.size(); i += 3) {
    const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (const int shift : {18, 12, 6, 0}) url.push_back(kAlphabet[(group >> shift) & 63]);
  }
  const std::size_t rest = gif_bytes.size() - i;
  if (rest > 0) {
    const std::uint32_t group = byte(i) << 16 | (rest == 2 ? byte(i + 1) << 8 : 0);
    url.push_back(kAlphabet[(group >> 18) & 63]);
    url.push_back(kAlphabet[(group >> 12) & 63]);
    url.push_back(rest == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    url.push_back('=');
  }
  return url;
}

}  // namespace orvamy
