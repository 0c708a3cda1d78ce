#include "supervisor/ChildProcess.h"

#include "supervisor/Spawner.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace tarvo {

namespace {

std::string errorText(int error) {
  std::array<char, 256> buffer{};
  // The GNU variant returns a pointer that may or may not be into the buffer.
  return ::strerror_r(error, buffer.data(), buffer.size());
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

ChildExit exitOf(const siginfo_t& info) {
  return {info.si_status, info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED,
          info.si_code == CLD_DUMPED};
}

} // namespace

struct ChildProcess::State {
  LaunchSpec spec;

  mutable std::mutex mutex;         // guards everything below
  std::condition_variable reapedCv; // signalled once reaped
  pid_t pid = -1;
  bool launched = false;
  bool exited = false; // set before the pid is reaped: kill() stays safe
  bool reaped = false;
  std::optional<ChildExit> status;
  TerminationHandler handler;
  std::thread::id waiter;

  // Held while the handler runs, so that removing it waits out a call in progress.
  std::mutex callMutex;

  explicit State(LaunchSpec launchSpec) : spec(std::move(launchSpec)) {}

  void signal(int number) const {
    std::lock_guard guard(mutex);
    if (launched && !exited) {
      ::kill(pid, number);
    }
  }

  static void watch(const std::shared_ptr<State>& state, pid_t pid);
};

// Waits for the child without reaping it, records the exit while the pid is
// still ours, then reaps it and runs the handler if one is still installed.
void ChildProcess::State::watch(const std::shared_ptr<State>& state, pid_t pid) {
  siginfo_t info{};
  ChildExit status{-1};
  for (;;) {
    info = {};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0) {
      status = exitOf(info);
      break;
    }
    if (errno != EINTR) {
      break; // reaped elsewhere (SIGCHLD ignored): the child is gone, its status unknown
    }
  }

  {
    std::lock_guard guard(state->mutex);
    state->status = status;
    state->exited = true;
  }
  int ignored = 0;
  while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
  }

  std::lock_guard call(state->callMutex);
  TerminationHandler handler;
  {
    std::lock_guard guard(state->mutex);
    state->reaped = true;
    handler = std::move(state->handler);
    state->handler = nullptr;
  }
  state->reapedCv.notify_all();
  if (handler) {
    try {
      handler(status);
    } catch (...) { // NOLINT(bugprone-empty-catch): nothing may escape this thread
    }
  }
}

std::shared_ptr<ChildProcess> ChildProcess::create(LaunchSpec spec) {
  return std::shared_ptr<ChildProcess>(new ChildProcess(std::move(spec)));
}

ChildProcess::ChildProcess(LaunchSpec spec) : state_(std::make_shared<State>(std::move(spec))) {}

// The waiter thread keeps the state; dropping the handle leaves the child alone.
ChildProcess::~ChildProcess() = default;

void ChildProcess::setTerminationHandler(TerminationHandler handler) {
  std::lock_guard guard(state_->mutex);
  if (!state_->reaped) {
    state_->handler = std::move(handler);
  }
}

void ChildProcess::removeTerminationHandler() {
  bool onWaiter = false;
  {
    std::lock_guard guard(state_->mutex);
    onWaiter = state_->waiter == std::this_thread::get_id();
  }
  // From inside the handler itself it has already been taken; elsewhere wait
  // for a call in progress so that none can follow our return.
  std::unique_lock<std::mutex> call;
  if (!onWaiter) {
    call = std::unique_lock(state_->callMutex);
  }
  std::lock_guard guard(state_->mutex);
  state_->handler = nullptr;
}

std::optional<std::string> ChildProcess::launch() {
  State& state = *state_;
  {
    std::lock_guard guard(state.mutex);
    if (state.launched) {
      return errorText(EALREADY);
    }
  }

  std::vector<std::string> argumentTexts;
  argumentTexts.reserve(state.spec.arguments.size() + 1);
  argumentTexts.push_back(state.spec.executable);
  argumentTexts.insert(argumentTexts.end(), state.spec.arguments.begin(),
                       state.spec.arguments.end());
  std::vector<char*> argv = pointersTo(argumentTexts);

  std::vector<std::string> environmentTexts;
  std::vector<char*> envp;
  if (state.spec.environment) {
    environmentTexts = *state.spec.environment;
    envp = pointersTo(environmentTexts);
  }

  const SpawnResult spawned = Spawner::spawn(
      {state.spec.executable.c_str(), argv.data(), state.spec.environment ? envp.data() : environ,
       state.spec.workingDirectory ? state.spec.workingDirectory->c_str() : nullptr,
       state.spec.standardOutput, state.spec.standardError, state.spec.handed.data(),
       static_cast<int>(state.spec.handed.size()), state.spec.socketActivation,
       state.spec.dieWithParent});
  if (spawned.pid < 0) {
    return errorText(spawned.error);
  }
  const pid_t pid = spawned.pid;

  std::unique_lock guard(state.mutex);
  state.pid = pid;
  state.launched = true;
  try {
    std::thread waiter(&State::watch, state_, pid);
    state.waiter = waiter.get_id();
    waiter.detach();
  } catch (const std::system_error& failure) {
    // Without a waiter nobody would reap it or report its exit: undo the launch.
    state.exited = true;
    state.reaped = true;
    state.status = ChildExit{SIGKILL, true};
    state.handler = nullptr;
    guard.unlock();
    ::kill(pid, SIGKILL);
    int ignored = 0;
    while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
    }
    return failure.code().message();
  }
  return std::nullopt;
}

bool ChildProcess::isRunning() const {
  std::lock_guard guard(state_->mutex);
  return state_->launched && !state_->exited;
}

pid_t ChildProcess::pid() const {
  std::lock_guard guard(state_->mutex);
  return state_->pid;
}

// A stopped child (SIGSTOP, a debugger's pause) cannot act on SIGTERM until
// it runs again, so it is woken with it, as service managers do.
void ChildProcess::terminate() {
  state_->signal(SIGTERM);
  state_->signal(SIGCONT);
}

void ChildProcess::kill() {
  state_->signal(SIGKILL);
}

bool ChildProcess::waitUntilExit(std::optional<std::chrono::milliseconds> limit) {
  std::unique_lock guard(state_->mutex);
  if (!state_->launched) {
    return false; // never started, so it will never exit
  }
  auto reaped = [this] { return state_->reaped; };
  if (!limit) {
    state_->reapedCv.wait(guard, reaped);
    return true;
  }
  return state_->reapedCv.wait_for(guard, *limit, reaped);
}

bool ChildProcess::stop(std::chrono::milliseconds terminateGrace,
                        std::chrono::milliseconds killGrace) {
  terminate();
  if (waitUntilExit(terminateGrace)) {
    return true;
  }
  kill();
  return waitUntilExit(killGrace);
}

std::optional<std::int32_t> ChildProcess::terminationStatus() const {
  std::lock_guard guard(state_->mutex);
  if (!state_->status) {
    return std::nullopt;
  }
  return state_->status->status;
}

std::optional<ChildExit> ChildProcess::termination() const {
  std::lock_guard guard(state_->mutex);
  return state_->status;
}

} // namespace tarvo
