// Starting the backend, waiting until it answers, stopping and restarting it,
// and telling the shell when it exits.
#include "supervisor/BackendEnvironment.h"
#include "supervisor/BytecodeSweep.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/Interpreter.h"
#include "supervisor/Service.h"
#include "supervisor/ServiceLog.h"

#include <unistd.h>

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

namespace tarvo {

namespace {

using namespace std::chrono_literals;

constexpr double portCheckTimeout = 1.2;
constexpr double attemptTimeout = 0.6;
constexpr auto attemptPause = 250ms;
constexpr int attempts = 80;

// A child that ignores SIGTERM is killed after this long, so stop() always returns.
constexpr auto terminateGrace = 5s;
// SIGKILL cannot be ignored; this only bounds a child stuck in the kernel.
constexpr auto killGrace = 2s;

std::string alreadyServing() {
  return std::string("Something is already serving on 127.0.0.1:") + std::to_string(Service::port) +
         " and this app did not start it. " +
         "Tarvo Studio will not attach to a service it did not start, because that service would "
         "be " +
         "handed this install's token. Quit the other copy (or the leftover `python3 -m app "
         "serve`), " +
         "then try again.";
}

std::string portHeld(const std::string& reported) {
  return "Port " + std::to_string(Service::port) + " is held by \u201C" + reported +
         "\u201D, which is not Tarvo Studio. Free the port and try again.";
}

const std::string incomplete =
    "This copy of Tarvo Studio is incomplete (its service is missing). Reinstall it with "
    "app/macos/install.sh: a bundle whose Resources were replaced in place can be left without "
    "its service, or with files added that invalidate its signature.";

// A folder path as text, without a trailing slash.
std::string plain(const std::filesystem::path& path) {
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') {
    text.pop_back();
  }
  return text;
}

} // namespace

std::optional<std::string> Service::start() {
  std::promise<std::optional<std::string>> outcome;
  std::shared_future<std::optional<std::string>> pending;
  {
    std::lock_guard guard(startLock_);
    if (startInFlight_.valid()) {
      pending = startInFlight_;
    } else {
      startInFlight_ = outcome.get_future().share();
    }
  }
  // Another start is under way: its child is ours too, so take its result.
  if (pending.valid()) {
    return pending.get();
  }

  std::optional<std::string> result;
  try {
    result = startOnce();
  } catch (const std::exception& failure) {
    result = std::string("The service could not start: ") + failure.what();
  } catch (...) {
    result = std::string("The service could not start: unknown error");
  }
  {
    std::lock_guard guard(startLock_);
    startInFlight_ = {};
  }
  outcome.set_value(result);
  return result;
}

std::optional<std::string> Service::startOnce() {
  if (isAlive()) {
    return std::nullopt;
  }

  bool ownChildRuns = false;
  {
    std::lock_guard guard(lock_);
    ownChildRuns = process_ != nullptr && process_->isRunning();
  }
  if (ownChildRuns) {
    stop(); // ours, but not answering as it should
  }

  if (auto reported = pingName(portCheckTimeout)) {
    return *reported == name ? alreadyServing() : portHeld(*reported);
  }

  if (places_.resources.empty()) {
    return incomplete;
  }
  const std::filesystem::path folder = serviceFolder();
  std::error_code error;
  if (!std::filesystem::exists(folder / "app", error)) {
    return incomplete;
  }

  sweepBytecode(folder, logURL_, maxLog);

  const std::optional<std::string> interpreter = python();
  if (!interpreter) {
    return "Tarvo Studio needs Python 3.10 or later.";
  }

  // Closed when start() returns; the child keeps its own copies.
  const UniqueFd log = logHandle(logURL_, maxLog);

  auto child = ChildProcess::create({*interpreter,
                                     {"-m", "app", "serve", "--port", std::to_string(port)},
                                     plain(folder),
                                     childEnvironment(),
                                     log.get(),
                                     log.get()});

  std::weak_ptr<Service> weak = weak_from_this();
  child->setTerminationHandler([weak](std::int32_t status) {
    auto self = weak.lock();
    if (!self) {
      return;
    }
    {
      std::lock_guard guard(self->lock_);
      self->exited_ = status;
    }
    if (!self->mainQueue_) {
      return;
    }
    // Held strongly until it has run, so the shell always hears of the exit.
    self->mainQueue_->post([self, status] {
      if (self->onExit) {
        self->onExit(status);
      }
    });
  });

  if (auto failure = child->launch()) {
    return "The service could not start: " + *failure;
  }

  {
    std::lock_guard guard(lock_);
    process_ = child;
    // A child quick enough to exit before this point has already reported;
    // keep its status rather than hide the exit.
    exited_ = child->isRunning() ? std::nullopt : child->terminationStatus();
  }

  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (pingName(attemptTimeout) == std::string(name)) {
      return std::nullopt;
    }
    if (!child->isRunning()) {
      return "The service stopped while starting. See " + logURL_.string() + ".";
    }
    std::this_thread::sleep_for(attemptPause);
  }
  return "The service did not answer in time. See " + logURL_.string() + ".";
}

void Service::stop() {
  const std::shared_ptr<ChildProcess> child = takeProcess();
  if (!child) {
    return;
  }
  child->removeTerminationHandler();
  if (child->isRunning()) {
    child->terminate();
  }
  if (!child->waitUntilExit(terminateGrace)) {
    child->kill();
    child->waitUntilExit(killGrace);
  }
}

void Service::restart() {
  stop();
  if (!mainQueue_) {
    return;
  }
  std::weak_ptr<Service> weak = weak_from_this();
  mainQueue_->post([weak] {
    auto self = weak.lock();
    if (self && self->onExit) {
      self->onExit(0);
    }
  });
}

std::optional<std::string> Service::python() const {
  if (places_.interpreters) {
    return findInterpreter(*places_.interpreters);
  }
  return findInterpreter(interpreterCandidates(places_.resources.string()));
}

std::vector<std::string> Service::childEnvironment() const {
  std::vector<std::string> inherited;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    inherited.emplace_back(*entry);
  }
  return backendEnvironment(std::move(inherited),
                            {serviceFolder(), home_, caches_, places_.userHome}, ::getpid());
}

std::shared_ptr<ChildProcess> Service::takeProcess() {
  std::lock_guard guard(lock_);
  return std::exchange(process_, nullptr);
}

} // namespace tarvo
