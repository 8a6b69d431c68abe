#include "app/remote_command.h"

#include <array>
#include <utility>

namespace orvamy {
namespace {

constexpr std::array<std::pair<std::string_view, RemoteCommand>, 3> kWords{{
    {"start", RemoteCommand::kStart},
    {"stop", RemoteCommand::kStop},
    {"toggle", RemoteCommand::kToggle},
}};

std::optional<RemoteCommand> FromWord(std::string_view word) {
  for (const auto& [text, command] : kWords) {
    if (word == text) return command;
  }
  return std::nullopt;
}

}  // namespace

std::optional<RemoteCommand> RemoteCommandFromOption(std::string_view option) {
  if (!option.starts_with("--")) return std::nullopt;
  option.remove_prefix(2);
  return FromWord(option);
}

std::optional<RemoteCommand> ParseRemoteCommandLine(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  return FromWord(line);
}

std::string_view RemoteCommandWord(RemoteCommand command) {
  for (const auto& [text, known] : kWords) {
    if (known == command) return text;
  }
  return {};
}

}  // namespace orvamy
