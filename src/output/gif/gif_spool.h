#pragma once
// The temporary file an animation grows in, and placing it under its final
// name without ever replacing an existing file. Everything about where spool
// files live and how they are put in place is kept here.
//
// Spool files are hidden and named ".orvamy-<owner>-<12 hex digits>.gif.part",
// the owner being the id of the process that writes them (0: unknown), so that
// a later start of the program can remove those of a process that has ended.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "output/gif/gif_builder.h"

namespace orvamy::gif {

// Used by one thread at a time: the writer thread while frames come, then the
// recorder thread in Save once the writer has ended.
class SpoolFile {
 public:
  // Opens a fresh spool file for a GIF to be saved in `target_directory`: in
  // the system's temporary folder, out of the user's sight, when that folder
  // is on the same volume (saving is then a link); else beside the target;
  // in the system's temporary folder when `target_directory` is empty or
  // cannot be written. See failed().
  SpoolFile(const std::filesystem::path& target_directory, std::uint64_t owner);
  // Removes the file unless it was placed.
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // Called by the spool's current thread only. Appends and flushes. When the
  // disk refuses (full, gone), the bytes written so far move to a new file in
  // the system's temporary folder and the chunk is written there instead;
  // only when that fails too does the spool fail (for good).
  bool Append(const std::vector<std::uint8_t>& bytes);

  // Called by the spool's current thread only. Ends the writing; false when
  // the last bytes did not reach the disk. The file stays open until it is
  // placed, so that its bytes can still be read if its name vanishes with
  // its folder.
  bool Finish();

  // Called by the spool's current thread only. True once the spool lost bytes.
  bool failed() const { return failed_ || path_.empty(); }

  // Called by the spool's current thread only. Where the file is now (empty
  // once placed).
  const std::filesystem::path& path() const { return path_; }

  // Called by the spool's current thread only, after Finish(). Moves the file
  // to `path`, or path-2.gif, -3, ... when a file of that name exists; never
  // replaces a file, not even one created a moment before. On failure nothing
  // is left at the target and the spool stays, so another folder may be tried.
  SaveResult Place(std::string_view path);

 private:
  bool Open(const std::filesystem::path& directory);
  bool OnSameVolume(const std::filesystem::path& directory) const;
  bool WriteAll(const std::vector<std::uint8_t>& bytes);
  bool MoveTo(const std::filesystem::path& directory);
  bool RecoverVanished();
  SaveResult Placed(const std::filesystem::path& target);

  std::fstream file_;
  std::filesystem::path path_;
  std::uint64_t owner_ = 0;
  std::uint64_t good_bytes_ = 0;
  bool failed_ = false;
};

enum class PlaceOutcome { kPlaced, kExists, kFailed };

// Puts a copy of `from` at `to` unless something (a file, a folder, a link)
// is there already, which is never replaced: a hard link, or where links do
// not work (FAT/exFAT, another volume) or `allow_link` is false, a copy into
// a file created exclusively. `from` stays. kFailed sets `error`.
PlaceOutcome PlaceWithoutReplacing(const std::filesystem::path& from,
                                   const std::filesystem::path& to, bool allow_link,
                                   std::error_code& error);

// The owner in a spool file's name (or in the name of the short-lived probe
// that tells whether two folders share a volume, ".probe.part"); nullopt for
// any other name.
std::optional<std::uint64_t> SpoolOwner(std::string_view file_name);

// Where spool files may be: the system's temporary folder and the folders
// recordings are saved in (UTF-8).
std::vector<std::filesystem::path> SpoolFolders(const std::vector<std::string>& save_directories);

// Removes from `folders` the spool files whose owners are no longer running.
// Files of owner 0 (unknown) are kept. Returns how many went.
std::size_t RemoveStaleSpoolFiles(const std::vector<std::filesystem::path>& folders,
                                  const std::function<bool(std::uint64_t owner)>& owner_running);

}  // namespace orvamy::gif
