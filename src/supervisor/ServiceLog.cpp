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

  if (::access(logFile.c_str(), F_OK) != 0) {
    UniqueFd created(::open(logFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  }

  UniqueFd log(::open(logFile.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (log) {
    ::lseek(log.get(), 0, SEEK_END);
  }
  return log;
}

} // namespace tarvo
