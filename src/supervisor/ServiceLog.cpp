#include "supervisor/ServiceLog.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace tarvo {

std::filesystem::path rotatedLogPath(const std::filesystem::path& logFile) {
  std::filesystem::path rotated = logFile;
  rotated.replace_extension("1.log");
  return rotated;
}

namespace {

// The log holds whatever the backend prints, which may include its secrets:
// only its owner reads it. A log left by an older build with a wider mode is
// narrowed; a file of another user, or not a plain file, is left as it is.
constexpr mode_t privateMode = 0600;

void makePrivate(int fd) {
  struct stat attributes {};
  if (fd >= 0 && ::fstat(fd, &attributes) == 0 && S_ISREG(attributes.st_mode) &&
      attributes.st_uid == ::geteuid() && (attributes.st_mode & 077) != 0) {
    ::fchmod(fd, privateMode);
  }
}

void makePrivate(const std::filesystem::path& file) {
  // Not through a symbolic link, and without waiting on a FIFO.
  const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  makePrivate(fd.get());
}

void rotateIfTooLarge(const std::filesystem::path& logFile, std::uintmax_t maxLog) {
  struct stat attributes {};
  if (::stat(logFile.c_str(), &attributes) != 0 || attributes.st_size < 0 ||
      static_cast<std::uintmax_t>(attributes.st_size) <= maxLog) {
    return;
  }
  std::filesystem::path rotated = rotatedLogPath(logFile);
  std::error_code ignored;
  std::filesystem::remove_all(rotated, ignored);
  // A move never replaces what is there; on failure the old log stays in
  // place and is appended to.
  ::renameat2(AT_FDCWD, logFile.c_str(), AT_FDCWD, rotated.c_str(), RENAME_NOREPLACE);
}

} // namespace

UniqueFd logHandle(const std::filesystem::path& logFile, std::uintmax_t maxLog) {
  std::error_code ignored;
  std::filesystem::create_directories(logFile.parent_path(), ignored);

  rotateIfTooLarge(logFile, maxLog);
  makePrivate(rotatedLogPath(logFile));

  if (::access(logFile.c_str(), F_OK) != 0) {
    UniqueFd created(::open(logFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privateMode));
  }

  UniqueFd log(::open(logFile.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (log) {
    makePrivate(log.get());
    ::lseek(log.get(), 0, SEEK_END);
  }
  return log;
}

} // namespace tarvo
