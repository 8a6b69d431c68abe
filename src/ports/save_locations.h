#pragma once
// Where recordings are saved, as a back end tells the recorder.

#include <cstdint>
#include <string>
#include <vector>

namespace orvamy {

// The program's directory first, then fallbacks (the user's pictures folder,
// the home folder) for when it is not writable.
struct SaveLocations {
  std::vector<std::string> directories;
  char separator = '/';
  // This process's id, carried in the names of its temporary files so that a
  // later start can tell the files of a process that has ended. 0: unknown.
  std::uint64_t process_id = 0;
};

}  // namespace orvamy
