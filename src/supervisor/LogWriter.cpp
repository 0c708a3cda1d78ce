#include "supervisor/LogWriter.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <system_error>
#include <utility>

namespace tarvo {
namespace {

// The log holds whatever the backend prints, which may include its secrets:
// only its owner reads it. A log left by an older build with a wider mode is
// narrowed; a file of another user is left as it is.
constexpr mode_t privateMode = 0600;

bool sameFile(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// A regular file, opened without waiting on whatever else may stand there.
UniqueFd openRegular(const std::filesystem::path& file, int flags) {
  UniqueFd fd(::open(file.c_str(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, privateMode));
  struct stat attributes {};
  if (!fd || ::fstat(fd.get(), &attributes) != 0 || !S_ISREG(attributes.st_mode)) {
    return {};
  }
  if (attributes.st_uid == ::geteuid() && (attributes.st_mode & 077) != 0) {
    ::fchmod(fd.get(), privateMode);
  }
  return fd;
}

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

} // namespace

LogWriter::LogWriter(std::filesystem::path file, std::uintmax_t maxBytes, Clock clock)
    : file_(std::move(file)), maxBytes_(maxBytes), clock_(std::move(clock)) {
  if (!clock_) {
    clock_ = [] { return std::chrono::system_clock::now(); };
  }
}

LogWriter::~LogWriter() = default;

std::filesystem::path LogWriter::rotatedPath(const std::filesystem::path& file) {
  std::filesystem::path rotated = file;
  rotated.replace_extension("1.log");
  return rotated;
}

std::string LogWriter::noteText(std::string_view text) {
  constexpr std::string_view fragment = "#t=";
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t at = text.find(fragment);
    out += text.substr(0, at);
    if (at == std::string_view::npos) {
      break;
    }
    out += fragment;
    out += "\u2026";
    text.remove_prefix(at + fragment.size());
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '"' && text[end] != '\'' &&
           text[end] != '\n') {
      ++end;
    }
    text.remove_prefix(end);
  }
  for (char& c : out) {
    if (c == '\n' || c == '\r') {
      c = ' '; // one note, one line
    }
  }
  if (out.size() > maxNoteBytes) {
    // Cut on a character boundary, and say so.
    std::size_t cut = maxNoteBytes - 3;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0U) == 0x80U) {
      --cut;
    }
    out.resize(cut);
    out += "\u2026";
  }
  return out;
}

void LogWriter::append(std::string_view bytes) {
  std::lock_guard guard(mutex_);
  write(bytes);
}

void LogWriter::note(std::string_view text) {
  std::lock_guard guard(mutex_);
  std::string dropped;
  if (!withinBudget(dropped)) {
    return;
  }
  if (!dropped.empty()) {
    write(stamp() + " tarvo-studio: " + dropped + "\n");
  }
  write(stamp() + " tarvo-studio: " + noteText(text) + "\n");
}

// The budget renews each minute; what was dropped in the last one is said
// before the first line of the next.
bool LogWriter::withinBudget(std::string& dropped) {
  const auto now = clock_();
  if (now - minuteStart_ >= std::chrono::minutes(1) || now < minuteStart_) {
    minuteStart_ = now;
    notesThisMinute_ = 0;
    if (droppedNotes_ > 0) {
      dropped = std::to_string(droppedNotes_) + " line(s) of this application dropped: more than " +
                std::to_string(notesPerMinute) + " in a minute";
      droppedNotes_ = 0;
    }
  }
  if (notesThisMinute_ >= notesPerMinute) {
    ++droppedNotes_;
    return false;
  }
  ++notesThisMinute_;
  return true;
}

std::string LogWriter::stamp() const {
  const auto now = clock_();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch() %
                                                                            std::chrono::seconds(1))
                          .count();
  std::tm local{};
  ::localtime_r(&seconds, &local);
  std::array<char, 32> text{};
  const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &local);
  std::array<char, 8> fraction{};
  (void)std::snprintf(fraction.data(), fraction.size(), ".%03d", static_cast<int>(millis));
  return std::string(text.data(), length) + fraction.data();
}

void LogWriter::write(std::string_view bytes) {
  if (!openIfNeeded()) {
    // Said once each time the log becomes unusable, so that whoever reads
    // standard error knows why the log itself stays empty.
    if (!onStandardError_) {
      onStandardError_ = true;
      writeAll(STDERR_FILENO, stamp() + " tarvo-studio: the log " + file_.string() +
                                  " is not a plain file that can be written; its lines go to "
                                  "standard error\n");
    }
    writeAll(STDERR_FILENO, bytes);
    return;
  }
  onStandardError_ = false;
  rotateIfNeeded();
  writeAll(fd_.get(), bytes);
}

// Opens the log on first use, and again when another writer has rotated it
// away from under this one.
bool LogWriter::openIfNeeded() {
  struct stat current {};
  struct stat ours {};
  if (fd_ && ::stat(file_.c_str(), &current) == 0 && ::fstat(fd_.get(), &ours) == 0 &&
      sameFile(current, ours)) {
    return true;
  }
  std::error_code ignored;
  std::filesystem::create_directories(file_.parent_path(), ignored);
  fd_ = openRegular(file_, O_WRONLY | O_APPEND | O_CREAT);
  // An older generation left by an older build may be wider open.
  [[maybe_unused]] const UniqueFd rotated = openRegular(rotatedPath(file_), O_RDONLY);
  return fd_.valid();
}

// Before each write: so the log is never more than one write past the limit,
// and a log found past it at a start is moved aside before the start writes.
// The file is locked while it is moved aside, so that of two writers that
// both see it grown only one moves it; the other finds it moved and follows.
void LogWriter::rotateIfNeeded() {
  struct stat ours {};
  if (::fstat(fd_.get(), &ours) != 0 || ours.st_size < 0 ||
      static_cast<std::uintmax_t>(ours.st_size) <= maxBytes_) {
    return;
  }
  if (::flock(fd_.get(), LOCK_EX) != 0) {
    return;
  }
  struct stat current {};
  if (::stat(file_.c_str(), &current) == 0 && sameFile(current, ours)) {
    const std::filesystem::path rotated = rotatedPath(file_);
    if (::rename(file_.c_str(), rotated.c_str()) != 0) {
      // Something that a rename cannot replace (a folder) stands there.
      std::error_code ignored;
      std::filesystem::remove_all(rotated, ignored);
      (void)::rename(file_.c_str(), rotated.c_str()); // else the log is appended to past its limit
    }
  }
  ::flock(fd_.get(), LOCK_UN);
  fd_.reset();
  openIfNeeded();
}

} // namespace tarvo
