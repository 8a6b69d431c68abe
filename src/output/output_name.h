#pragma once
// The name a recording is saved under: "GIF" + a stamp of the local date and
// time + ".gif", in the program's own directory.

#include <string>
#include <string_view>

#include "ports/ports.h"

namespace orvamy {

// The digits of the date and time without leading zeros; trailing zero parts
// of the time are left out: 2024-03-05 14:07:09 -> "2024351479",
// 14:07:00 -> "202435147", 14:00:00 -> "20243514", 00:00:00 -> "202435",
// 00:00:09 -> "202435009".
std::string MakeTimeStamp(const LocalTime& time);

// directory + separator + "GIF" + stamp + suffix + ".gif", never with a
// doubled separator (a root directory may already end with one). `suffix` is
// "" or "-2", "-3", ... when a name is taken.
std::string MakeOutputPath(std::string_view directory, char separator, std::string_view stamp,
                           std::string_view suffix = {});

// One pass over the text from start to end: every occurrence of `from`
// replaced by `to`, without overlap, the inserted text never scanned again.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace orvamy
