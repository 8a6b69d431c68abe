#pragma once
// Where recordings are saved, as a back end tells the recorder.

#include <string>
#include <vector>

namespace orvamy {

// The program's directory first, then fallbacks (the user's pictures folder,
// the home folder) for when it is not writable.
struct SaveLocations {
  std::vector<std::string> directories;
  char separator = '/';
};

}  // namespace orvamy
