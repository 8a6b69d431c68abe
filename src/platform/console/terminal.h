#pragma once
// Whether a standard stream is shown to a person: command-line tools draw a
// live progress line there, and keep logs and pipes free of it.

namespace orvamy {

// True when the process's standard error is a terminal (a console window on
// Windows). Thread-safe.
bool StandardErrorIsTerminal();

}  // namespace orvamy
