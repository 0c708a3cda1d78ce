#pragma once

#include "supervisor/UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tarvo {

// The one writer of the service log, the file "Open the Log" shows. It opens
// the log, appends to it and rotates it as soon as it has grown past
// `maxBytes` (before the next write), keeping one older generation; both are readable by their
// owner alone. Writers in several threads, or in another process, may share the file: a rotation is
// made by one of them at a time, and a writer that finds the file rotated under it follows to the
// new one. The file is opened without waiting (a FIFO in its place never hangs anything) and used
// only when it is a regular file; with no usable log, what would have been written goes to standard
// error.
class LogWriter {
public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  // The application's own lines are cut at this length, and only so many a
  // minute are written: a fault that repeats must not fill the log.
  static constexpr std::size_t maxNoteBytes = 1024;
  static constexpr int notesPerMinute = 120;

  LogWriter(std::filesystem::path file, std::uintmax_t maxBytes, Clock clock = {});
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Output of the backend, as it came.
  void append(std::string_view bytes);
  // One of the application's own lines: the local time, "tarvo-studio: " and
  // `text` on one line. Anything that follows "#t=" (the install token in a
  // window address) is masked.
  void note(std::string_view text);

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }
  // "Tarvo Studio.log" rotates to "Tarvo Studio.1.log".
  [[nodiscard]] static std::filesystem::path rotatedPath(const std::filesystem::path& file);
  // How `text` is written as a note, without the time; for tests and for
  // messages that are shown elsewhere too.
  [[nodiscard]] static std::string noteText(std::string_view text);

private:
  void write(std::string_view bytes);
  bool openIfNeeded();
  void rotateIfNeeded();
  [[nodiscard]] std::string stamp() const;
  [[nodiscard]] bool withinBudget(std::string& dropped);

  std::filesystem::path file_;
  std::uintmax_t maxBytes_;
  Clock clock_;
  std::mutex mutex_; // guards everything below
  UniqueFd fd_;
  std::chrono::system_clock::time_point minuteStart_{};
  int notesThisMinute_ = 0;
  std::uint64_t droppedNotes_ = 0;
  bool onStandardError_ = false; // the log could not be used at the last write
};

} // namespace tarvo
