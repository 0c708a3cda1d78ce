#pragma once

#include "supervisor/UniqueFd.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tarvo {
class LogWriter;
}

namespace tarvo::keeper {

// Carries the backend's output from a pipe to the log. One thread reads the
// pipe as fast as the backend fills it, into a bounded buffer; another writes
// the buffer through the log's one writer. So the backend never waits long on
// a slow disk: past the bound, output is dropped, counted, and the count said
// in the log once the writer has caught up. The family's workers may hold the
// pipe open after the backend is gone, so the reader ends on a deadline,
// never only at the end of the pipe.
class OutputRelay {
public:
  static constexpr std::size_t bufferBytes = std::size_t{4} << 20U;
  // What the kernel buffers itself before the backend's writes would block.
  static constexpr int pipeBytes = 1 << 20;

  OutputRelay(UniqueFd pipe, LogWriter& log);
  ~OutputRelay();
  OutputRelay(const OutputRelay&) = delete;
  OutputRelay& operator=(const OutputRelay&) = delete;

  // Asks for a larger pipe buffer than the system's default; false when the
  // system does not allow it (the default then stays).
  [[nodiscard]] static bool enlarge(int pipe, int bytes);

  // Nothing on success, else why no thread could be started.
  [[nodiscard]] std::string start();
  // Waits at most `limit` until what the pipe held when called has been read.
  void catchUp(std::chrono::milliseconds limit);
  // The output has said `KeeperWire::addressInUse`.
  [[nodiscard]] bool saidAddressInUse() const;
  // Reads on until the pipe's end or `limit`, writes what is held, and ends
  // both threads.
  void finish(std::chrono::milliseconds limit);

private:
  void read();
  void write();
  void take(std::string_view bytes); // with mutex_ held

  UniqueFd pipe_;
  LogWriter& log_;
  std::thread reader_;
  std::thread writer_;

  mutable std::mutex mutex_; // guards everything below
  std::condition_variable changed_;
  std::string buffer_;
  std::uint64_t dropped_ = 0;
  std::string tail_; // the end of what was read, for a phrase split across reads
  bool addressInUse_ = false;
  std::uint64_t catchUpsAsked_ = 0;
  std::uint64_t catchUpsDone_ = 0;
  bool stopReading_ = false;
  std::chrono::steady_clock::time_point readUntil_{};
  bool readerDone_ = false;
};

} // namespace tarvo::keeper
