#pragma once
// The temporary file an animation grows in, and placing it under its final
// name without ever replacing an existing file. Everything about where spool
// files live and how they are put in place is kept in this one class.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "output/gif/gif_builder.h"

namespace orvamy::gif {

// Used by one thread at a time: the writer thread while frames come, then the
// recorder thread in Save once the writer has ended.
class SpoolFile {
 public:
  // Opens a fresh hidden file in `work_directory`, ideally the folder the GIF
  // will be saved in so that saving is a rename; in the system's temporary
  // folder when that is empty or fails. See failed().
  explicit SpoolFile(const std::filesystem::path& work_directory);
  // Removes the file unless it was placed.
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // Called by the spool's current thread only. Appends and flushes. When the
  // disk refuses (full, gone), the bytes written so far move to a new file in
  // the system's temporary folder and the chunk is written there instead;
  // only when that fails too does the spool fail (for good).
  bool Append(const std::vector<std::uint8_t>& bytes);

  // Called by the spool's current thread only. Closes the file; false when
  // the last bytes did not reach the disk.
  bool Close();

  // Called by the spool's current thread only. True once the spool lost bytes.
  bool failed() const { return failed_ || path_.empty(); }

  // Called by the spool's current thread only, after Close(). Moves the file
  // to `path`, or path-2.gif, -3, ... when a file of that name exists; never
  // overwrites. On failure nothing is left at the target and the spool stays,
  // so another folder may be tried.
  SaveResult Place(std::string_view path);

 private:
  bool Open(const std::filesystem::path& directory);
  bool WriteAll(const std::vector<std::uint8_t>& bytes);
  bool MoveToSystemTemp(const std::filesystem::path& system_temp);
  SaveResult Placed(const std::filesystem::path& target);

  std::ofstream file_;
  std::filesystem::path path_;
  std::uint64_t good_bytes_ = 0;
  bool failed_ = false;
};

}  // namespace orvamy::gif
