#pragma once
// UTF-8 <-> UTF-16/UTF-32 helpers for back ends whose system speaks UTF-16.

#include <string>
#include <string_view>

namespace orvamy {

// Decodes one code point at `pos` and advances it. Malformed bytes decode as
// U+FFFD and advance by one byte, so a scan always ends.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t code_point);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace orvamy
