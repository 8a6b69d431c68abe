#pragma once
// Commands that another process sends to the running program, for desktops
// where global keys cannot be grabbed (Wayland): the user binds F7/F8 (or any
// key) in the desktop's own settings to `orvamy-gif --start` / `--stop`, or
// one key to `--toggle`.
//
// On the wire a command is one line ("start\n"); the answer is one line too,
// the recorder's state once the command has been acted on ("recording\n" or
// "idle\n"), "unavailable\n" for a start the program can no longer carry out
// (the desktop ended the screen sharing), or "unknown\n" for a line that is
// no command.

#include <optional>
#include <string_view>

namespace orvamy {

enum class RemoteCommand { kStart, kStop, kToggle };

// "--start", "--stop", "--toggle" as given on the command line; nullopt for
// anything else.
std::optional<RemoteCommand> RemoteCommandFromOption(std::string_view option);

// One received line, with or without its line end (and a CR before it).
std::optional<RemoteCommand> ParseRemoteCommandLine(std::string_view line);

// The word sent for a command, without the line end.
std::string_view RemoteCommandWord(RemoteCommand command);

inline constexpr std::string_view kRemoteAnswerRecording = "recording";
inline constexpr std::string_view kRemoteAnswerIdle = "idle";
inline constexpr std::string_view kRemoteAnswerUnavailable = "unavailable";
inline constexpr std::string_view kRemoteAnswerUnknown = "unknown";

// A line that did not end within this many bytes is no command.
inline constexpr std::size_t kRemoteLineLimit = 64;

}  // namespace orvamy
