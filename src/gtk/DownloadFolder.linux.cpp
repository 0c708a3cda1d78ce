#include "gtk/DownloadFolder.h"

#include "gtk/GlibLog.h"
#include "gtk/Leftovers.h"

#include <glib.h>

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace tarvo::gtk {
namespace {

// What the web engine writes beside a download's destination until it is
// complete, then moves over it.
constexpr const char* engineSuffix = ".wkdownload";
constexpr int attempts = 100;
constexpr int randomDigits = 6;

// The system's words for an error number.
std::string describe(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::string randomHex() {
  constexpr const char* digits = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < randomDigits; ++i) {
    out += digits[g_random_int_range(0, 16)];
  }
  return out;
}

} // namespace

DownloadFolder::DownloadFolder(const std::filesystem::path& fallback) {
  const char* desktop = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  folder_ = desktop != nullptr && desktop[0] != '\0' ? std::filesystem::path(desktop) : fallback;
}

std::string DownloadFolder::createTemporary(std::string& error) {
  if (g_mkdir_with_parents(folder_.c_str(), 0755) != 0) {
    error = describe(errno);
    return {};
  }
  const std::string start = runName(prefix);
  for (int i = 0; i < attempts; ++i) {
    const std::filesystem::path candidate = folder_ / (start + randomHex());
    const int fd =
        ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      ::close(fd);
      return candidate.string();
    }
    if (errno != EEXIST) {
      error = describe(errno);
      return {};
    }
  }
  error = describe(EEXIST);
  return {};
}

platform::DownloadFolder::Move DownloadFolder::moveTo(const std::string& temporary,
                                                      const std::string& name, std::string& error) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    error = describe(EINVAL);
    return Move::failed;
  }
  const std::filesystem::path target = folder_ / name;
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return Move::moved;
  }
  if (errno == EEXIST) {
    return Move::exists;
  }
  // A file system without the flag: a hard link is made only where no name
  // is, which keeps the promise; the temporary's name then goes.
  if (errno == EINVAL || errno == ENOSYS) {
    if (::link(temporary.c_str(), target.c_str()) == 0) {
      ::unlink(temporary.c_str());
      return Move::moved;
    }
    if (errno == EEXIST) {
      return Move::exists;
    }
  }
  error = describe(errno);
  return Move::failed;
}

void DownloadFolder::remove(const std::string& temporary) {
  for (const std::string& file : {temporary, temporary + engineSuffix}) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
      g_log(GlibLog::domain, G_LOG_LEVEL_WARNING, "could not remove %s: %s", file.c_str(),
            describe(errno).c_str());
    }
  }
}

int DownloadFolder::clearLeftovers() {
  return gtk::clearLeftovers(folder_, prefix);
}

} // namespace tarvo::gtk
