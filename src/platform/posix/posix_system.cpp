#include "platform/posix/posix_system.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace orvamy::posix {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// XDG_PICTURES_DIR from user-dirs.dirs ("$HOME/Pictures" style), or "".
std::string XdgPicturesDir(const std::string& home) {
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = home + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_PICTURES_DIR=";
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value;
  }
  return {};
}

}  // namespace

Clock::TimePoint SteadyClock::Now() { return std::chrono::steady_clock::now(); }

void SteadyClock::SleepUntil(TimePoint deadline, const StopSignal& wake) {
  if (deadline <= Now()) {
    std::this_thread::yield();
    return;
  }
  // The wait ends at the deadline or when `wake` is stopped, never on anything else.
  wake.WaitUntil(deadline);
}

LocalTime SystemLocalTime::NowLocal() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

SaveLocations LinuxSaveLocations() {
  namespace fs = std::filesystem;
  SaveLocations locations;
  locations.separator = '/';
  locations.process_id = static_cast<std::uint64_t>(getpid());
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.has_parent_path()) locations.directories.push_back(exe.parent_path().string());
  const std::string home = Env("HOME");
  if (!home.empty()) {
    const std::string pictures = XdgPicturesDir(home);
    const std::string fallback_pictures = home + "/Pictures";
    for (const std::string& dir : {pictures, fallback_pictures}) {
      if (!dir.empty() && fs::is_directory(dir, ec)) {
        locations.directories.push_back(dir);
        break;
      }
    }
    locations.directories.push_back(home);
  }
  return locations;
}

bool ProcessRunning(std::uint64_t process_id) {
  const auto pid = static_cast<pid_t>(process_id);
  if (pid <= 0 || static_cast<std::uint64_t>(pid) != process_id) return false;
  // Signal 0 only asks: EPERM means it runs under another user.
  return kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace orvamy::posix
