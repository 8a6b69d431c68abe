#include "output/gif/gif_spool.h"

#include <algorithm>
#include <random>
#include <string>
#include <system_error>

#include "base/path_text.h"

namespace orvamy::gif {
namespace fs = std::filesystem;
namespace {

std::string RandomName() {
  std::random_device rd;
  const std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = ".orvamy-";
  for (int i = 0; i < 12; ++i) name += kDigits[(v >> (4 * i)) & 15];
  return name + ".gif.part";
}

}  // namespace

SpoolFile::SpoolFile(const fs::path& work_directory) {
  const bool beside_target = !work_directory.empty() && Open(work_directory);
  if (!beside_target) {
    // Saving will then copy instead of rename.
    std::error_code ec;
    const fs::path system_temp = fs::temp_directory_path(ec);
    if (ec || !Open(system_temp)) failed_ = true;
  }
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
    const fs::path path = directory / RandomName();
    std::error_code ec;
    if (fs::exists(path, ec)) continue;
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    file_ = std::move(f);
    path_ = path;
    good_bytes_ = 0;
    return true;
  }
  return false;
}

bool SpoolFile::Append(const std::vector<std::uint8_t>& bytes) {
  if (failed_) return false;
  if (WriteAll(bytes)) return true;
  std::error_code ec;
  const fs::path system_temp = fs::temp_directory_path(ec);
  if (!ec && path_.parent_path() != system_temp && MoveToSystemTemp(system_temp) &&
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

bool SpoolFile::MoveToSystemTemp(const fs::path& system_temp) {
  file_.close();
  const fs::path old_path = path_;
  const std::uint64_t keep = good_bytes_;
  if (!Open(system_temp)) {
    path_ = old_path;
    return false;
  }
  std::ifstream in(old_path, std::ios::binary);
  std::vector<char> chunk(1 << 16);
  std::uint64_t left = keep;
  while (left > 0 && in) {
    const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(left, chunk.size()));
    in.read(chunk.data(), n);
    if (in.gcount() != n) break;
    file_.write(chunk.data(), n);
    left -= static_cast<std::uint64_t>(n);
  }
  in.close();
  std::error_code ec;
  fs::remove(old_path, ec);
  file_.flush();
  if (left != 0 || !file_) return false;
  good_bytes_ = keep;
  return true;
}

bool SpoolFile::Close() {
  file_.close();
  if (!file_) failed_ = true;
  return !failed_;
}

SaveResult SpoolFile::Place(std::string_view path) {
  SaveResult result;
  const fs::path requested = PathFromUtf8(path);
  const fs::path stem = requested.stem();
  const fs::path extension = requested.extension();
  for (int n = 1; n < 10000; ++n) {
    fs::path target = requested;
    if (n > 1) {
      target = requested.parent_path() /
               PathFromUtf8(PathToUtf8(stem) + "-" + std::to_string(n) + PathToUtf8(extension));
    }
    std::error_code ec;
    if (fs::exists(target, ec) || fs::is_symlink(target, ec)) continue;
    // A hard link never replaces an existing file; then the temporary name goes.
    fs::create_hard_link(path_, target, ec);
    if (!ec) {
      fs::remove(path_, ec);
      return Placed(target);
    }
    if (ec == std::errc::file_exists) continue;
    ec.clear();
    fs::rename(path_, target, ec);
    if (!ec) return Placed(target);
    // Another disk: copy, and on any failure take the partial copy away.
    ec.clear();
    if (fs::copy_file(path_, target, fs::copy_options::none, ec) && !ec) {
      fs::remove(path_, ec);
      return Placed(target);
    }
    if (ec == std::errc::file_exists) continue;
    std::error_code ignored;
    fs::remove(target, ignored);
    result.error = ec.message();
    return result;
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

}  // namespace orvamy::gif
