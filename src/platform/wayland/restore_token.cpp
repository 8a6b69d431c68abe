#include "platform/wayland/restore_token.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace orvamy::wayland {
namespace {

constexpr std::string_view kFolderName = "orvamy-gif";
constexpr std::string_view kFileName = "portal-restore-token";
// Portals hand out UUIDs; anything far longer is not a token of theirs.
constexpr std::size_t kLongestToken = 512;

bool IsUsableToken(std::string_view token) {
  if (token.empty() || token.size() > kLongestToken) return false;
  return std::all_of(token.begin(), token.end(), [](char ch) { return ch > ' ' && ch < 0x7f; });
}

std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<std::filesystem::path> RestoreTokenPath(const char* xdg_config_home,
                                                      const char* home) {
  std::filesystem::path base;
  if (xdg_config_home != nullptr && std::filesystem::path(xdg_config_home).is_absolute()) {
    base = xdg_config_home;
  } else if (home != nullptr && std::filesystem::path(home).is_absolute()) {
    base = std::filesystem::path(home) / ".config";
  } else {
    return std::nullopt;
  }
  return base / kFolderName / kFileName;
}

std::string ReadRestoreToken(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text;
  // One more than the longest token, so a longer file is seen as too long.
  text.resize(kLongestToken + 3);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  const std::string_view token = TrimLineEnd(text);
  return IsUsableToken(token) ? std::string(token) : std::string();
}

bool WriteRestoreToken(const std::filesystem::path& path, std::string_view token,
                       std::string& error) {
  if (!IsUsableToken(token)) {
    error = "the portal gave an unusable restore token";
    return false;
  }
  std::error_code code;
  std::filesystem::create_directories(path.parent_path(), code);
  if (code) {
    error = "cannot create " + path.parent_path().string() + ": " + code.message();
    return false;
  }
  std::filesystem::path partial = path;
  partial += ".new";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << token << '\n';
    out.close();
    if (!out) {
      error = "cannot write " + partial.string();
      std::filesystem::remove(partial, code);
      return false;
    }
  }
  std::filesystem::rename(partial, path, code);
  if (code) {
    error = "cannot rename " + partial.string() + ": " + code.message();
    std::filesystem::remove(partial, code);
    return false;
  }
  return true;
}

}  // namespace orvamy::wayland
