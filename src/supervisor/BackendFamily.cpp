#include "supervisor/BackendFamily.h"

#include "platform/Translate.h"
#include "supervisor/KeeperWire.h"
#include "supervisor/UniqueFd.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace tarvo {
namespace {

using namespace std::chrono_literals;

// The keeper answers a launch as soon as its fork and exec are done.
constexpr auto launchAnswerLimit = 10s;
constexpr std::size_t longestLine = 4096;

std::string errorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

} // namespace

struct BackendFamily::State {
  FamilyLaunch spec;
  std::shared_ptr<ChildProcess> keeper;
  UniqueFd channel; // our end; the keeper's end closing means it has exited

  mutable std::mutex mutex; // guards everything below
  std::condition_variable changed;
  bool launched = false;
  pid_t pid = -1;
  std::optional<int> failed; // the errno of a launch the keeper could not make
  std::optional<ChildExit> exit;
  bool boundItself = false;
  bool ended = false; // the channel is closed: the keeper has exited
  TerminationHandler handler;
  std::thread::id listener;
  // Held while the handler runs, so that removing it waits out a call in progress.
  std::mutex callMutex;

  explicit State(FamilyLaunch launch) : spec(std::move(launch)) {}

  void note(const std::string& line) const {
    if (spec.note) {
      spec.note(line);
    }
  }
  void heard(const KeeperWire::Report& report);
  void backendExited(const ChildExit& exit);
  static void listen(const std::shared_ptr<State>& state);
};

void BackendFamily::State::heard(const KeeperWire::Report& report) {
  using Kind = KeeperWire::Report::Kind;
  std::unique_lock lock(mutex);
  switch (report.kind) {
  case Kind::started:
    pid = report.pid;
    launched = true;
    break;
  case Kind::failed:
    failed = report.error;
    break;
  case Kind::exited:
    if (!exit && launched) {
      boundItself = report.boundItself;
      lock.unlock();
      backendExited(report.exit);
      return;
    }
    break;
  case Kind::ended:
    break; // the channel's end follows at once
  }
  changed.notify_all();
}

// Records the exit, then runs the handler if one is still installed.
void BackendFamily::State::backendExited(const ChildExit& status) {
  std::lock_guard call(callMutex);
  TerminationHandler taken;
  {
    std::lock_guard lock(mutex);
    exit = status;
    taken = std::exchange(handler, nullptr);
  }
  changed.notify_all();
  if (taken) {
    try {
      taken(status);
    } catch (...) { // NOLINT(bugprone-empty-catch): nothing may escape this thread
    }
  }
}

// Reads the keeper's lines until it has exited.
void BackendFamily::State::listen(const std::shared_ptr<State>& state) {
  std::string heard;
  std::array<char, 512> bytes{};
  for (;;) {
    const ssize_t got = ::read(state->channel.get(), bytes.data(), bytes.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    heard.append(bytes.data(), static_cast<std::size_t>(got));
    for (std::size_t end = heard.find('\n'); end != std::string::npos; end = heard.find('\n')) {
      if (auto report = KeeperWire::read(std::string_view(heard).substr(0, end))) {
        state->heard(*report);
      } else {
        state->note("the keeper of the service said something unknown: " + heard.substr(0, end));
      }
      heard.erase(0, end + 1);
    }
    if (heard.size() > longestLine) {
      heard.clear();
    }
  }

  bool lost = false;
  {
    std::lock_guard lock(state->mutex);
    lost = state->launched && !state->exit;
  }
  if (lost) {
    // The keeper's end took the backend with it (its parent-death signal).
    state->keeper->waitUntilExit(1s);
    const auto keeperExit = state->keeper->termination();
    state->note("the keeper of the service ended unexpectedly (" +
                (keeperExit ? keeperExit->describe() : std::string("how, unknown")) +
                "); the service was killed with it, and a process it started may be left");
    state->backendExited(ChildExit{SIGKILL, true});
  }
  {
    std::lock_guard lock(state->mutex);
    state->ended = true;
  }
  state->changed.notify_all();
}

std::shared_ptr<BackendFamily> BackendFamily::create(FamilyLaunch launch) {
  return std::shared_ptr<BackendFamily>(new BackendFamily(std::move(launch)));
}

BackendFamily::BackendFamily(FamilyLaunch launch)
    : state_(std::make_shared<State>(std::move(launch))) {}

// The listening thread keeps the state, and with it the channel: the keeper
// goes on until the family ends or the application is gone.
BackendFamily::~BackendFamily() = default;

void BackendFamily::setTerminationHandler(TerminationHandler handler) {
  std::lock_guard lock(state_->mutex);
  if (!state_->exit) {
    state_->handler = std::move(handler);
  }
}

void BackendFamily::removeTerminationHandler() {
  bool onListener = false;
  {
    std::lock_guard lock(state_->mutex);
    onListener = state_->listener == std::this_thread::get_id();
  }
  std::unique_lock<std::mutex> call;
  if (!onListener) {
    call = std::unique_lock(state_->callMutex);
  }
  std::lock_guard lock(state_->mutex);
  state_->handler = nullptr;
}

std::optional<std::string> BackendFamily::launch() {
  State& state = *state_;
  int ends[2] = {-1, -1};
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    return errorText(errno);
  }
  state.channel.reset(ends[0]);
  UniqueFd keeperEnd(ends[1]);

  KeeperWire::Options options{state.spec.log.string(), state.spec.maxLog, state.spec.terminateGrace,
                              state.spec.killGrace, state.spec.backend.arguments};
  options.command.insert(options.command.begin(), state.spec.backend.executable);
  // The keeper outlives a killed application, to end the family gracefully.
  auto keeper = ChildProcess::create({state.spec.keeper.string(),
                                      options.arguments(),
                                      state.spec.backend.workingDirectory,
                                      state.spec.backend.environment,
                                      -1,
                                      -1,
                                      {state.spec.listener, keeperEnd.get()},
                                      false,
                                      false});
  if (auto failure = keeper->launch()) {
    return failure;
  }
  {
    std::lock_guard lock(state.mutex);
    state.keeper = std::move(keeper);
  }
  keeperEnd.reset();
  try {
    std::thread listening(&State::listen, state_);
    std::lock_guard lock(state.mutex);
    state.listener = listening.get_id();
    listening.detach();
  } catch (const std::system_error& failure) {
    state.keeper->kill(); // its backend goes with it
    return failure.code().message();
  }

  std::unique_lock lock(state.mutex);
  const bool answered = state.changed.wait_for(
      lock, launchAnswerLimit, [&] { return state.launched || state.failed || state.ended; });
  if (state.launched) {
    return std::nullopt;
  }
  if (state.failed) {
    return errorText(*state.failed);
  }
  lock.unlock();
  if (!answered) {
    state.keeper->kill();
    return platform::tr("its keeper did not answer");
  }
  return platform::tr("its keeper ended before it could start it");
}

bool BackendFamily::isRunning() const {
  std::lock_guard lock(state_->mutex);
  return state_->launched && !state_->exit;
}

pid_t BackendFamily::pid() const {
  std::lock_guard lock(state_->mutex);
  return state_->pid;
}

std::optional<ChildExit> BackendFamily::termination() const {
  std::lock_guard lock(state_->mutex);
  return state_->exit;
}

bool BackendFamily::boundItself() const {
  std::lock_guard lock(state_->mutex);
  return state_->boundItself;
}

bool BackendFamily::hasEnded() const {
  std::lock_guard lock(state_->mutex);
  return state_->ended || !state_->keeper;
}

bool BackendFamily::stop() {
  if (hasEnded()) {
    return true;
  }
  const std::string line = KeeperWire::stop();
  // A failed send means the keeper is ending already.
  [[maybe_unused]] const ssize_t sent =
      ::send(state_->channel.get(), line.data(), line.size(), MSG_NOSIGNAL);
  if (waitUntilEnded(state_->spec.terminateGrace + state_->spec.killGrace + slack)) {
    return true;
  }
  state_->keeper->kill();
  state_->keeper->waitUntilExit(state_->spec.killGrace);
  return false;
}

bool BackendFamily::waitUntilEnded(std::chrono::milliseconds limit) {
  std::unique_lock lock(state_->mutex);
  if (!state_->keeper) {
    return true;
  }
  return state_->changed.wait_for(lock, limit, [this] { return state_->ended; });
}

} // namespace tarvo
