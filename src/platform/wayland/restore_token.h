#pragma once
// Where the screen-cast portal's restore token is kept between runs, so the
// user approves the monitors once and later runs start without a dialog.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvamy::wayland {

// $XDG_CONFIG_HOME/orvamy-gif/portal-restore-token, else
// $HOME/.config/orvamy-gif/portal-restore-token. A relative or empty
// XDG_CONFIG_HOME is ignored, as the XDG base directory rules say; nullopt
// when neither gives an absolute folder. Takes the variables' values (null
// when unset) so callers and tests decide where they come from. Thread-safe.
std::optional<std::filesystem::path> RestoreTokenPath(const char* xdg_config_home,
                                                      const char* home);

// The token kept at `path`, or empty when there is none or it is unusable
// (unreadable, too long, or holding anything but printable ASCII): the portal
// then simply asks the user again. Called on the UI thread only.
std::string ReadRestoreToken(const std::filesystem::path& path);

// Keeps `token` at `path`, creating its folder. The file is written beside and
// renamed over the old one, so a crash never leaves half a token. False with
// `error` set (in words for the log) when it cannot be written; the caller
// goes on without it. Called on the UI thread only.
bool WriteRestoreToken(const std::filesystem::path& path, std::string_view token,
                       std::string& error);

}  // namespace orvamy::wayland
