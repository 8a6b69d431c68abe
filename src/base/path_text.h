#pragma once
// Paths travel through the core as UTF-8 text. Build std::filesystem paths
// from it only through these helpers: a plain narrow string would be read in
// the ANSI code page on Windows and garble any non-ASCII folder name.

#include <filesystem>
#include <string>
#include <string_view>

namespace orvamy {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace orvamy
