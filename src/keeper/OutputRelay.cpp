#include "keeper/OutputRelay.h"

#include "supervisor/KeeperWire.h"
#include "supervisor/LogWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace tarvo::keeper {
namespace {

using namespace std::chrono_literals;

// A line still being written gets this long to end, so that a line of the
// application's own lands between the backend's lines rather than inside one.
constexpr auto lineWait = 100ms;
constexpr std::size_t longLine = 4096;
// Written at a time: the log grows past its limit by at most this much
// before it is rotated.
constexpr std::size_t writeBytes = 65536;
// How often the reader looks at the clock while the pipe is quiet.
constexpr int pollMillis = 50;

// Signals are the keeper's main thread's to handle.
void blockSignals() {
  sigset_t all;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

} // namespace

OutputRelay::OutputRelay(UniqueFd pipe, LogWriter& log) : pipe_(std::move(pipe)), log_(log) {}

OutputRelay::~OutputRelay() {
  finish(0ms);
}

std::string OutputRelay::start() {
  const int flags = ::fcntl(pipe_.get(), F_GETFL);
  if (flags < 0 || ::fcntl(pipe_.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    return std::error_code(errno, std::generic_category()).message();
  }
  try {
    reader_ = std::thread(&OutputRelay::read, this);
    writer_ = std::thread(&OutputRelay::write, this);
  } catch (const std::system_error& failure) {
    finish(0ms);
    return failure.what();
  }
  return {};
}

void OutputRelay::catchUp(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  if (!reader_.joinable() || readerDone_) {
    return;
  }
  const std::uint64_t wanted = ++catchUpsAsked_;
  changed_.wait_for(lock, limit, [&] { return catchUpsDone_ >= wanted || readerDone_; });
}

bool OutputRelay::saidAddressInUse() const {
  std::lock_guard lock(mutex_);
  return addressInUse_;
}

void OutputRelay::finish(std::chrono::milliseconds limit) {
  {
    std::lock_guard lock(mutex_);
    stopReading_ = true;
    readUntil_ = std::chrono::steady_clock::now() + limit;
  }
  if (reader_.joinable()) {
    reader_.join();
  }
  {
    std::lock_guard lock(mutex_);
    readerDone_ = true;
  }
  changed_.notify_all();
  if (writer_.joinable()) {
    writer_.join();
  }
}

void OutputRelay::read() {
  blockSignals();
  std::array<char, 65536> chunk{};
  for (bool open = true; open;) {
    std::uint64_t asked = 0;
    {
      std::lock_guard lock(mutex_);
      if (stopReading_ && std::chrono::steady_clock::now() >= readUntil_) {
        break;
      }
      asked = catchUpsAsked_;
    }
    pollfd ready{pipe_.get(), POLLIN, 0};
    ::poll(&ready, 1, pollMillis);
    for (;;) {
      const ssize_t got = ::read(pipe_.get(), chunk.data(), chunk.size());
      if (got > 0) {
        std::lock_guard lock(mutex_);
        take({chunk.data(), static_cast<std::size_t>(got)});
        changed_.notify_all();
        continue;
      }
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got < 0 && errno == EAGAIN) {
        std::lock_guard lock(mutex_);
        catchUpsDone_ = std::max(catchUpsDone_, asked); // empty now: all asked for is read
        changed_.notify_all();
        break;
      }
      open = false; // the end of the pipe: no writer is left
      break;
    }
  }
  std::lock_guard lock(mutex_);
  readerDone_ = true;
  changed_.notify_all();
}

void OutputRelay::take(std::string_view bytes) {
  constexpr std::string_view phrase = KeeperWire::addressInUse;
  if (!addressInUse_) {
    std::string edge = tail_;
    edge.append(bytes.substr(0, phrase.size() - 1));
    addressInUse_ =
        edge.find(phrase) != std::string::npos || bytes.find(phrase) != std::string_view::npos;
    tail_ += bytes.substr(bytes.size() > phrase.size() ? bytes.size() - phrase.size() : 0);
    tail_.erase(0, tail_.size() > phrase.size() ? tail_.size() - phrase.size() : 0);
  }
  const std::size_t kept = std::min(bytes.size(), bufferBytes - buffer_.size());
  buffer_.append(bytes.substr(0, kept));
  dropped_ += bytes.size() - kept;
}

void OutputRelay::write() {
  blockSignals();
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !buffer_.empty() || dropped_ > 0 || readerDone_; });
    if (buffer_.empty() && dropped_ == 0 && readerDone_) {
      break;
    }
    auto partial = [&] { return !buffer_.empty() && buffer_.back() != '\n'; };
    if (!readerDone_ && partial() && buffer_.size() < longLine) {
      changed_.wait_for(lock, lineWait,
                        [&] { return readerDone_ || !partial() || buffer_.size() >= longLine; });
    }
    std::size_t cut = std::min(buffer_.size(), writeBytes);
    if (cut < buffer_.size() || (!readerDone_ && partial())) {
      const std::size_t lineEnd = buffer_.rfind('\n', cut - 1);
      cut = lineEnd == std::string::npos ? cut : lineEnd + 1;
    }
    std::string bytes = buffer_.substr(0, cut);
    buffer_.erase(0, cut);
    const std::uint64_t dropped = std::exchange(dropped_, 0);
    lock.unlock();
    if (!bytes.empty()) {
      log_.append(bytes);
    }
    if (dropped > 0) {
      log_.note("keeper: " + std::to_string(dropped) +
                " bytes of the service's output were dropped: the log could not keep up");
    }
    lock.lock();
  }
}

} // namespace tarvo::keeper
