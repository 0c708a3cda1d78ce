#include "gtk/Leftovers.h"

#include "gtk/GlibLog.h"

#include <glib.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <system_error>
#include <unistd.h>

namespace tarvo::gtk {
namespace {

// A process id that names no running process, or this one.
bool ended(std::string_view rest) {
  long pid = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
  if (error != std::errc() || end == rest.data() || end == rest.data() + rest.size() ||
      *end != '-' || pid <= 0) {
    return false; // not a name of ours
  }
  if (pid == ::getpid()) {
    return true;
  }
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

std::string runName(std::string_view prefix) {
  return std::string(prefix) + std::to_string(::getpid()) + "-";
}

int clearLeftovers(const std::filesystem::path& folder, std::string_view prefix) {
  int removed = 0;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    if (name.rfind(prefix, 0) != 0 || !ended(std::string_view(name).substr(prefix.size()))) {
      continue;
    }
    std::error_code failed;
    if (std::filesystem::remove_all(entries->path(), failed) > 0 && !failed) {
      ++removed;
    } else if (failed) {
      g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "could not remove %s: %s",
            entries->path().c_str(), failed.message().c_str());
    }
  }
  return removed;
}

} // namespace tarvo::gtk
