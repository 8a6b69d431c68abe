#include "output/gif/gif_spool.h"

#include <algorithm>
#include <random>
#include <string>
#include <system_error>

#include "base/path_text.h"

namespace orvamy::gif {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kSpoolPrefix = ".orvamy-";
constexpr std::string_view kSpoolSuffix = ".gif.part";
constexpr std::string_view kProbeSuffix = ".probe.part";  // see OnSameVolume
constexpr std::size_t kRandomDigits = 12;

std::string RandomName(std::uint64_t owner, std::string_view suffix = kSpoolSuffix) {
  std::random_device rd;
  const std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = std::string(kSpoolPrefix) + std::to_string(owner) + "-";
  for (std::size_t i = 0; i < kRandomDigits; ++i) name += kDigits[(v >> (4 * i)) & 15];
  return name + std::string(suffix);
}

fs::path SystemTemp() {
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) return {};
  // Windows answers with a trailing separator: the same folder as a spool's parent_path().
  if (!temp.has_filename()) temp = temp.parent_path();
  return temp;
}

bool CopyBytes(std::istream& in, std::ostream& out, std::uint64_t count) {
  std::vector<char> chunk(1 << 16);
  while (count > 0 && in) {
    const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(count, chunk.size()));
    in.read(chunk.data(), n);
    if (in.gcount() != n) return false;
    out.write(chunk.data(), n);
    count -= static_cast<std::uint64_t>(n);
  }
  out.flush();
  return count == 0 && static_cast<bool>(out);
}

}  // namespace

SpoolFile::SpoolFile(const fs::path& target_directory, std::uint64_t owner) : owner_(owner) {
  const fs::path system_temp = SystemTemp();
  if (!system_temp.empty() && Open(system_temp)) {
    // Hidden in the temporary folder when saving can link it from there;
    // otherwise saving would copy it across volumes: then it grows beside the target.
    if (target_directory.empty() || OnSameVolume(target_directory)) return;
    const fs::path in_temp = path_;
    file_.close();
    std::error_code ec;
    fs::remove(in_temp, ec);
    path_.clear();
    if (Open(target_directory)) return;
    if (Open(system_temp)) return;  // the target cannot be written: saving will copy
  } else if (!target_directory.empty() && Open(target_directory)) {
    return;
  }
  failed_ = true;
}

SpoolFile::~SpoolFile() {
  file_.close();
  if (!path_.empty()) {
    std::error_code ec;
    fs::remove(path_, ec);
  }
}

bool SpoolFile::Open(const fs::path& directory) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const fs::path path = directory / RandomName(owner_);
    std::error_code ec;
    if (fs::exists(path, ec) || fs::is_symlink(path, ec)) continue;
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!f) return false;
    file_ = std::move(f);
    path_ = path;
    good_bytes_ = 0;
    return true;
  }
  return false;
}

// A hard link from the temporary folder into `directory` works exactly when
// saving there can be a link: same volume, and a file system that has links.
// Tried with a small file of its own: Windows refuses to remove a link to a
// file that is open, as the spool is.
bool SpoolFile::OnSameVolume(const fs::path& directory) const {
  const fs::path probe = path_.parent_path() / RandomName(owner_, kProbeSuffix);
  const fs::path link = directory / RandomName(owner_, kProbeSuffix);
  std::error_code ec;
  if (!std::ofstream(probe, std::ios::binary)) return false;
  fs::create_hard_link(probe, link, ec);
  const bool linked = !ec;
  if (linked) fs::remove(link, ec);
  fs::remove(probe, ec);
  return linked;
}

bool SpoolFile::Append(const std::vector<std::uint8_t>& bytes) {
  if (failed_) return false;
  if (WriteAll(bytes)) return true;
  const fs::path system_temp = SystemTemp();
  if (!system_temp.empty() && path_.parent_path() != system_temp && MoveTo(system_temp) &&
      WriteAll(bytes)) {
    return true;
  }
  failed_ = true;
  return false;
}

bool SpoolFile::WriteAll(const std::vector<std::uint8_t>& bytes) {
  file_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file_.flush();
  if (!file_) return false;
  good_bytes_ += bytes.size();
  return true;
}

// Copies the bytes written so far from the open file (which works even when
// its name or folder is gone) to a new spool file in `directory`.
bool SpoolFile::MoveTo(const fs::path& directory) {
  std::fstream old = std::move(file_);
  const fs::path old_path = path_;
  const std::uint64_t keep = good_bytes_;
  if (!Open(directory)) {
    file_ = std::move(old);
    path_ = old_path;
    return false;
  }
  old.clear();
  old.seekg(0);
  const bool copied = CopyBytes(old, file_, keep);
  old.close();
  std::error_code ec;
  fs::remove(old_path, ec);
  good_bytes_ = keep;
  return copied;
}

bool SpoolFile::Finish() {
  file_.flush();
  if (!file_) failed_ = true;
  return !failed_;
}

// The spool's name went with its folder (deleted during the recording) while
// the file is still open: its bytes go to a new spool file.
bool SpoolFile::RecoverVanished() {
  const fs::path system_temp = SystemTemp();
  return file_.is_open() && !system_temp.empty() && MoveTo(system_temp);
}

SaveResult SpoolFile::Place(std::string_view path) {
  SaveResult result;
  std::error_code ec;
  if (!fs::exists(path_, ec) && !RecoverVanished()) {
    result.error = "the temporary file was removed";
    return result;
  }
  // Linking, copying and removing want the file closed (on Windows in particular).
  file_.close();
  const fs::path requested = PathFromUtf8(path);
  const fs::path stem = requested.stem();
  const fs::path extension = requested.extension();
  for (int n = 1; n < 10000; ++n) {
    fs::path target = requested;
    if (n > 1) {
      target = requested.parent_path() /
               PathFromUtf8(PathToUtf8(stem) + "-" + std::to_string(n) + PathToUtf8(extension));
    }
    if (fs::exists(target, ec) || fs::is_symlink(target, ec)) continue;
    switch (PlaceWithoutReplacing(path_, target, true, ec)) {
      case PlaceOutcome::kPlaced:
        fs::remove(path_, ec);
        return Placed(target);
      case PlaceOutcome::kExists:
        continue;  // created since the check above: the next name
      case PlaceOutcome::kFailed:
        result.error = ec.message();
        return result;
    }
  }
  result.error = "no free file name";
  return result;
}

SaveResult SpoolFile::Placed(const fs::path& target) {
  path_.clear();
  SaveResult result;
  result.saved = true;
  result.written_path = PathToUtf8(target);
  return result;
}

PlaceOutcome PlaceWithoutReplacing(const fs::path& from, const fs::path& to, bool allow_link,
                                   std::error_code& error) {
  error.clear();
  if (allow_link) {
    // A hard link never replaces an existing file.
    fs::create_hard_link(from, to, error);
    if (!error) return PlaceOutcome::kPlaced;
    if (error == std::errc::file_exists) return PlaceOutcome::kExists;
    error.clear();
  }
  // No rename here: it replaces an existing target (on Windows too, with the
  // standard library's replace-existing). copy_file without options creates
  // the target exclusively (O_EXCL / CREATE_NEW) and fails when it exists.
  if (fs::copy_file(from, to, fs::copy_options::none, error) && !error) {
    return PlaceOutcome::kPlaced;
  }
  if (error == std::errc::file_exists) return PlaceOutcome::kExists;
  std::error_code ignored;
  const fs::file_status there = fs::symlink_status(to, ignored);
  // A folder or a link is never what a copy makes: it was there before.
  if (fs::is_directory(there) || fs::is_symlink(there)) return PlaceOutcome::kExists;
  // The exclusive create succeeded and the copy then failed (a full disk):
  // the file there is our partial copy.
  if (fs::is_regular_file(there)) fs::remove(to, ignored);
  if (!error) error = std::make_error_code(std::errc::io_error);
  return PlaceOutcome::kFailed;
}

std::optional<std::uint64_t> SpoolOwner(std::string_view name) {
  if (!name.starts_with(kSpoolPrefix)) return std::nullopt;
  if (name.ends_with(kSpoolSuffix)) {
    name.remove_suffix(kSpoolSuffix.size());
  } else if (name.ends_with(kProbeSuffix)) {
    name.remove_suffix(kProbeSuffix.size());
  } else {
    return std::nullopt;
  }
  name.remove_prefix(kSpoolPrefix.size());
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 20) return std::nullopt;
  const std::string_view owner = name.substr(0, dash);
  const std::string_view random = name.substr(dash + 1);
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto is_hex = [&](char c) { return is_digit(c) || (c >= 'a' && c <= 'f'); };
  if (random.size() != kRandomDigits || !std::all_of(random.begin(), random.end(), is_hex) ||
      !std::all_of(owner.begin(), owner.end(), is_digit)) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (const char c : owner) {
    const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (next / 10 != value) return std::nullopt;  // beyond 64 bits: not ours
    value = next;
  }
  return value;
}

std::vector<fs::path> SpoolFolders(const std::vector<std::string>& save_directories) {
  std::vector<fs::path> folders;
  if (const fs::path temp = SystemTemp(); !temp.empty()) folders.push_back(temp);
  for (const std::string& d : save_directories) folders.push_back(PathFromUtf8(d));
  return folders;
}

std::size_t RemoveStaleSpoolFiles(const std::vector<fs::path>& folders,
                                  const std::function<bool(std::uint64_t owner)>& owner_running) {
  std::size_t removed = 0;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      const std::optional<std::uint64_t> owner = SpoolOwner(PathToUtf8(it->path().filename()));
      if (!owner || *owner == 0 || owner_running(*owner)) continue;
      std::error_code ignored;
      if (it->is_regular_file(ignored) && fs::remove(it->path(), ignored)) ++removed;
    }
  }
  return removed;
}

}  // namespace orvamy::gif
