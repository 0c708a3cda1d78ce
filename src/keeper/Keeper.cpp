#include "keeper/Keeper.h"

#include "keeper/Family.h"
#include "keeper/OutputRelay.h"
#include "supervisor/Spawner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>
#include <vector>

namespace tarvo::keeper {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long the reader of the output may go on once the family is gone (a
// descriptor of the pipe that left the family would keep it open for ever),
// and how long the backend's last words may take to be read at its exit.
constexpr auto drainLimit = 1000ms;
constexpr auto lastWordsLimit = 200ms;
// While SIGKILL is due, it is sent again this often, to a process forked
// since the last time.
constexpr auto killRepeat = 100ms;
constexpr std::size_t longestLine = 4096;

// Written by the signal handler, read by the loop: the self-pipe wakes the
// loop's poll, the flag says whether an end was asked for.
int wakeRead = -1;
int wakeWrite = -1;
volatile sig_atomic_t askedToEnd = 0;

extern "C" void onSignal(int number) {
  const int saved = errno;
  if (number != SIGCHLD) {
    askedToEnd = 1;
  }
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &byte, 1);
  errno = saved;
}

std::string errorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

bool catchSignals() {
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    return false;
  }
  wakeRead = ends[0];
  wakeWrite = ends[1];
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  for (const int number : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) {
    if (::sigaction(number, &action, nullptr) != 0) {
      return false;
    }
  }
  (void)::signal(SIGPIPE, SIG_IGN); // a gone application is seen on the channel itself
  return true;
}

void drainWake() {
  char bytes[64];
  while (::read(wakeRead, bytes, sizeof bytes) > 0) {
  }
}

// The application was killed while it started the keeper.
bool channelClosed(int channel) {
  pollfd ready{channel, POLLIN, 0};
  if (::poll(&ready, 1, 0) <= 0) {
    return false;
  }
  char byte = 0;
  return (ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ||
         ::recv(channel, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

ChildExit exitOf(int status) {
  if (WIFSIGNALED(status)) {
    return {WTERMSIG(status), true, WCOREDUMP(status) != 0};
  }
  return {WEXITSTATUS(status), false, false};
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (auto& text : strings) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

std::string millisSince(Clock::time_point then) {
  return std::to_string(
             std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - then).count()) +
         " ms";
}

} // namespace

Keeper::Keeper(KeeperWire::Options options)
    : options_(std::move(options)), log_(options_.log, options_.maxLog),
      channel_(KeeperWire::channel) {
  // Neither reaches the backend but as the Spawner hands them on.
  ::fcntl(KeeperWire::channel, F_SETFD, FD_CLOEXEC);
  ::fcntl(KeeperWire::listener, F_SETFD, FD_CLOEXEC);
}

int Keeper::run() {
  if (!catchSignals()) {
    const int error = errno;
    note("cannot watch for signals (" + errorText(error) + "); the service is not started");
    tell(KeeperWire::failed(error));
    return 1;
  }
  if (!Family::adoptOrphans()) {
    note("cannot adopt the orphans of the service's family (" + errorText(errno) +
         "): a process that leaves the family may outlive it");
  }
  if (channelClosed(channel_.get())) {
    note("the application was gone before the service could be started; nothing is started");
    return 0;
  }

  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    const int error = errno;
    note("no pipe for the service's output (" + errorText(error) + "); the service is not started");
    tell(KeeperWire::failed(error));
    return 1;
  }
  UniqueFd writeEnd(ends[1]);
  if (!OutputRelay::enlarge(writeEnd.get(), OutputRelay::pipeBytes)) {
    note("the pipe of the service's output keeps the system's default size (" + errorText(errno) +
         ")");
  }
  OutputRelay relay{UniqueFd(ends[0]), log_};
  if (const std::string failure = relay.start(); !failure.empty()) {
    note("cannot read the service's output (" + failure + "); the service is not started");
    tell(KeeperWire::failed(EAGAIN));
    return 1;
  }

  std::vector<std::string> command = options_.command;
  std::vector<char*> argv = pointersTo(command);
  const int handed[] = {KeeperWire::listener};
  const SpawnResult spawned =
      Spawner::spawn({command.front().c_str(), argv.data(), environ, nullptr, writeEnd.get(),
                      writeEnd.get(), handed, 1, true, true});
  writeEnd.reset();
  ::close(KeeperWire::listener); // the backend and the application hold it now
  if (spawned.pid < 0) {
    tell(KeeperWire::failed(spawned.error));
    relay.finish(0ms);
    return 1;
  }
  backend_ = spawned.pid;
  tell(KeeperWire::started(backend_));

  while (!familyGone_) {
    reap(relay);
    if (familyGone_) {
      break;
    }
    pollfd ready[2] = {{wakeRead, POLLIN, 0}, {channel_ ? channel_.get() : -1, POLLIN, 0}};
    ::poll(ready, 2, pollTimeout());
    drainWake();
    if (askedToEnd != 0) {
      beginEnding("the keeper was asked to end");
    }
    if ((ready[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      readChannel();
    }
    keepEnding();
  }
  relay.finish(drainLimit);
  tell(KeeperWire::ended());
  return 0;
}

void Keeper::reap(OutputRelay& relay) {
  for (;;) {
    int status = 0;
    const pid_t pid = ::waitpid(-1, &status, WNOHANG);
    if (pid > 0) {
      if (pid == backend_) {
        const ChildExit exit = exitOf(status);
        // Until the application has heard of the death, nothing the backend
        // left may answer on the port in its name: the family is held still
        // until its ending begins (SIGCONT follows SIGTERM there).
        if (phase_ == Phase::running) {
          Family::signalAll({SIGSTOP});
        }
        // What it printed before it went tells why, when it could not listen.
        relay.catchUp(lastWordsLimit);
        tell(KeeperWire::exited(exit, relay.saidAddressInUse()));
        backendExited_ = true;
        beginEnding("the service exited (" + exit.describe() + ")");
      }
      continue;
    }
    if (pid < 0 && errno == EINTR) {
      continue;
    }
    if (pid < 0 && errno == ECHILD && backendExited_) {
      if (signalled_ > 0 || killed_) {
        note("the service's family ended " + millisSince(endingBegan_) + " after " + why_ +
             (killed_ ? ", with SIGKILL" : ""));
      }
      familyGone_ = true;
    }
    return;
  }
}

void Keeper::readChannel() {
  char bytes[256];
  const ssize_t got = ::recv(channel_.get(), bytes, sizeof bytes, MSG_DONTWAIT);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
    return;
  }
  if (got <= 0) {
    channel_.reset();
    beginEnding("the application was gone");
    return;
  }
  heard_.append(bytes, static_cast<std::size_t>(got));
  for (std::size_t end = heard_.find('\n'); end != std::string::npos; end = heard_.find('\n')) {
    if (heard_.compare(0, end + 1, KeeperWire::stop()) == 0) {
      beginEnding("the application asked for a stop");
    }
    heard_.erase(0, end + 1);
  }
  if (heard_.size() > longestLine) {
    heard_.clear();
  }
}

void Keeper::beginEnding(std::string_view why) {
  if (phase_ != Phase::running) {
    return;
  }
  phase_ = Phase::terminating;
  why_ = why;
  endingBegan_ = Clock::now();
  deadline_ = endingBegan_ + options_.terminateGrace;
  // A stopped process could not act on SIGTERM until it runs again.
  signalled_ = Family::signalAll({SIGTERM, SIGCONT});
}

void Keeper::keepEnding() {
  const auto now = Clock::now();
  if (phase_ == Phase::terminating && now >= deadline_) {
    phase_ = Phase::killing;
    killed_ = true;
    deadline_ = now + options_.killGrace;
    const int left = Family::signalAll({SIGKILL});
    note(std::to_string(left) + " process(es) of the service's family still ran " +
         millisSince(endingBegan_) + " after " + why_ + "; sent SIGKILL");
    return;
  }
  if (phase_ != Phase::killing) {
    return;
  }
  const int left = Family::signalAll({SIGKILL});
  if (now >= deadline_) {
    note(std::to_string(left) + " process(es) of the service's family did not end even " +
         millisSince(endingBegan_) + " after " + why_ +
         "; they are left, and end as soon as the system lets them run");
    familyGone_ = true;
  }
}

int Keeper::pollTimeout() const {
  if (phase_ == Phase::running) {
    return -1;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline_ - Clock::now() + std::chrono::milliseconds(1));
  const auto wait = phase_ == Phase::killing ? std::min(left, killRepeat) : left;
  return static_cast<int>(std::max<std::int64_t>(0, wait.count()));
}

void Keeper::tell(std::string_view line) {
  while (channel_ && !line.empty()) {
    const ssize_t sent = ::send(channel_.get(), line.data(), line.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    if (sent <= 0) {
      return; // the application is gone; what it would have heard no longer matters
    }
    line.remove_prefix(static_cast<std::size_t>(sent));
  }
}

} // namespace tarvo::keeper
