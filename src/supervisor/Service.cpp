// The Service's settings and token, the operations it forwards to its
// backend client, and the lifecycle of the child it launches.
#include "supervisor/Service.h"

#include "protocol/BackendClient.h"
#include "protocol/HttpSession.h"
#include "protocol/Url.h"
#include "protocol/Wire.h"
#include "supervisor/BackendEnvironment.h"
#include "supervisor/BytecodeSweep.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/Interpreter.h"
#include "supervisor/StartTexts.h"

#include <unistd.h>

#include <system_error>
#include <utility>

namespace tarvo {

std::shared_ptr<Service> Service::make(std::shared_ptr<platform::MainQueue> mainQueue) {
  return make(std::move(mainQueue), UserFolders::current());
}

std::shared_ptr<Service> Service::make(std::shared_ptr<platform::MainQueue> mainQueue,
                                       UserFolders folders, Timing timing,
                                       std::optional<std::vector<std::string>> interpreters,
                                       PortCheck portCheck) {
  return std::shared_ptr<Service>(new Service(std::move(mainQueue), std::move(folders), timing,
                                              std::move(interpreters), portCheck));
}

Service::Service(std::shared_ptr<platform::MainQueue> mainQueue, UserFolders folders, Timing timing,
                 std::optional<std::vector<std::string>> interpreters, PortCheck portCheck)
    : folders_(std::move(folders)), timing_(timing), interpreters_(std::move(interpreters)),
      portCheck_(portCheck), token_(folders_.data / "ui.token"), log_(folders_.log, maxLog),
      client_(std::make_unique<protocol::BackendClient>(base(),
                                                        [token = token_] { return token.read(); })),
      mainQueue_(std::move(mainQueue)) {}

// Releases the fields only: a running child is left running.
Service::~Service() = default;

const std::string& Service::base() {
  static const std::string text = "http://127.0.0.1:" + std::to_string(port);
  return text;
}

std::filesystem::path Service::serviceFolder() const {
  if (folders_.resources.empty()) {
    return {};
  }
  return folders_.resources / std::string(name);
}

std::string Service::token() const {
  return token_.read();
}

std::optional<std::string> Service::windowURL() const {
  const std::string current = token();
  std::string text = current.empty()
                         ? base() + "/"
                         : base() + std::string(protocol::wire::tokenFragment) + current;
  if (!protocol::Url::isSendable(text)) {
    return std::nullopt;
  }
  return text;
}

protocol::HttpSession& Service::session() const {
  return client_->session();
}

std::optional<std::string> Service::pingName(std::optional<double> timeout) const {
  return client_->pingName(timeout.value_or(timing_.pingTimeout));
}

bool Service::isMine() const {
  std::lock_guard guard(lock_);
  return process_ != nullptr && process_->isRunning();
}

pid_t Service::runningChild() const {
  std::lock_guard guard(lock_);
  return process_ != nullptr && process_->isRunning() ? process_->pid() : 0;
}

bool Service::holdsPort() const {
  return portCheck_(port, runningChild()) == PortOwnership::owned;
}

// A stranger is not even asked; and the holder is looked at again after the
// answer, as the port may have changed hands while it came.
bool Service::isAlive() const {
  if (!isMine() || !holdsPort()) {
    return false;
  }
  return pingName() == std::string(name) && holdsPort();
}

std::optional<Service::Busy> Service::busy(std::optional<double> timeout) const {
  if (!holdsPort()) {
    return std::nullopt;
  }
  return client_->busy(timeout.value_or(timing_.busyTimeout));
}

void Service::post(Route route, const nlohmann::json& body, Done done) const {
  // Shared by the refusal and the reply; only one of them ever runs it.
  auto owed = std::make_shared<Done>(std::move(done));
  // The reply holds the main queue itself, not the Service: `done` is owed
  // its one call even when the Service is gone by then.
  auto onReply = [queue = mainQueue_, owed](protocol::PostOutcome outcome) {
    auto deliver = [owed, outcome = std::move(outcome)]() mutable {
      if (*owed) {
        (*owed)(outcome.ok, std::move(outcome.message));
      }
    };
    if (queue) {
      queue->post(std::move(deliver));
    } else {
      deliver();
    }
  };
  if (!holdsPort()) {
    if (*owed) {
      (*owed)(false, std::string(StartTexts::notRunning()));
    }
    return;
  }
  if (auto refusal = client_->post(route, body, std::move(onReply))) {
    if (*owed) {
      (*owed)(refusal->ok, std::move(refusal->message));
    }
  }
}

// Another start under way is launching our child too: take its result, as
// long as it is still true when that start ends - a stop since this call
// (a restart, say) undoes a success and explains a failure, so this caller
// starts afresh instead.
std::optional<std::string> Service::start() {
  return startGate_.run(
      [this] {
        note("start: begins");
        auto result = startOnce();
        note(result ? "start: failed: " + *result : "start: the service answers");
        return result;
      },
      [this, stopsBefore = stopsSoFar()](const std::optional<std::string>& result) {
        return result ? stopsSoFar() == stopsBefore : isMine();
      });
}

std::optional<std::string> Service::startOnce() {
  if (closed()) {
    return StartTexts::quitting();
  }
  if (alreadyUp()) {
    return std::nullopt;
  }
  if (isMine()) {
    stop(); // ours, but not answering as it should
  }
  if (auto refused = refuseOtherServers()) {
    return refused;
  }
  if (auto incomplete = checkBundle()) {
    return incomplete;
  }
  sweepBytecode(serviceFolder(), log_);
  removeOldBytecodeCache(folders_.oldBytecodeCache, log_);
  const std::optional<std::string> interpreter = python();
  if (!interpreter) {
    return StartTexts::needsPython();
  }
  std::shared_ptr<ChildProcess> child;
  if (auto failure = launch(*interpreter, child)) {
    return failure;
  }
  return awaitReadiness(child);
}

bool Service::alreadyUp() {
  if (!isAlive()) {
    return false;
  }
  std::lock_guard guard(lock_);
  answered_ = process_ != nullptr; // a child that came up after its wait
  return true;
}

std::optional<std::string> Service::refuseOtherServers() const {
  if (auto reported = pingName()) {
    return *reported == name ? StartTexts::alreadyServing(port)
                             : StartTexts::portHeld(port, *reported);
  }
  // Silent, or not speaking JSON: a listener all the same, and not ours.
  if (portCheck_(port, 0) == PortOwnership::foreign) {
    return StartTexts::portTaken(port);
  }
  return std::nullopt;
}

std::optional<std::string> Service::checkBundle() const {
  std::error_code error;
  if (folders_.resources.empty() || !std::filesystem::exists(serviceFolder() / "app", error)) {
    return StartTexts::incomplete();
  }
  return std::nullopt;
}

std::optional<std::string> Service::launch(const std::string& interpreter,
                                           std::shared_ptr<ChildProcess>& child) {
  // Closed when this returns; the child keeps its own copies.
  const UniqueFd log = log_.descriptorForChild();
  child = ChildProcess::create({interpreter,
                                {"-m", "app", "serve", "--port", std::to_string(port)},
                                plainPath(serviceFolder()),
                                childEnvironment(),
                                log.get(),
                                log.get()});
  std::weak_ptr<Service> weak = weak_from_this();
  child->setTerminationHandler([weak](const ChildExit& exit) {
    if (auto self = weak.lock()) {
      self->reportExit(exit);
    }
  });

  // Once close() has begun nothing is launched, and what was launched
  // before is in process_ for it to stop.
  std::lock_guard launching(launchLock_);
  if (closed()) {
    return StartTexts::quitting();
  }
  if (auto failure = child->launch()) {
    return StartTexts::couldNotStart(*failure);
  }
  std::lock_guard guard(lock_);
  process_ = child;
  answered_ = false;
  // A child quick enough to exit before this point has already reported;
  // keep its status rather than hide the exit.
  exited_ = child->isRunning() ? std::nullopt : child->termination();
  return std::nullopt;
}

// Our name is believed only from a port our child holds. Another holder
// keeps our child from listening at all, so waiting longer cannot help.
std::optional<std::string> Service::awaitReadiness(const std::shared_ptr<ChildProcess>& child) {
  for (int attempt = 0; attempt < timing_.attempts; ++attempt) {
    if (closed()) {
      return StartTexts::quitting();
    }
    if (pingName(timing_.attemptTimeout) == std::string(name)) {
      const PortOwnership holder = portCheck_(port, child->pid());
      if (holder == PortOwnership::owned) {
        std::lock_guard guard(lock_);
        answered_ = answered_ || process_ == child;
        return std::nullopt;
      }
      if (holder == PortOwnership::foreign) {
        stop();
        return StartTexts::portTaken(port);
      }
      // Nobody by now, or the tables unreadable: not believed, asked again.
    }
    if (!child->isRunning()) {
      return portCheck_(port, 0) == PortOwnership::foreign
                 ? StartTexts::portTaken(port)
                 : StartTexts::stoppedWhileStarting(logURL());
    }
    if (!pauseUnlessClosed(timing_.attemptPause)) {
      return StartTexts::quitting();
    }
  }
  return StartTexts::noAnswerInTime(logURL());
}

// Runs on the child's waiter thread.
void Service::reportExit(const ChildExit& exit) {
  std::string line;
  {
    std::lock_guard guard(lock_);
    exited_ = exit;
    line = "the service exited (" + exited_->describe() + ")";
  }
  note(line);
  const std::int32_t status = exit.status;
  if (!mainQueue_) {
    return;
  }
  // Held strongly until it has run, so the shell always hears of the exit.
  mainQueue_->post([self = shared_from_this(), status] {
    if (self->onExit) {
      self->onExit(status);
    }
  });
}

void Service::stop() {
  const std::shared_ptr<ChildProcess> child = takeProcess();
  if (!child) {
    return;
  }
  child->removeTerminationHandler();
  child->stop(timing_.terminateGrace, timing_.killGrace);
}

void Service::close() {
  {
    std::lock_guard launching(launchLock_);
    std::lock_guard guard(lock_);
    closed_ = true;
  }
  wake_.notify_all();
  stop();
}

bool Service::closed() const {
  std::lock_guard guard(lock_);
  return closed_;
}

bool Service::pauseUnlessClosed(std::chrono::milliseconds span) {
  std::unique_lock guard(lock_);
  return !wake_.wait_for(guard, span, [this] { return closed_; });
}

bool Service::hasAnswered() const {
  std::lock_guard guard(lock_);
  return answered_ && process_ != nullptr && process_->isRunning();
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
  if (interpreters_) {
    return findInterpreter(*interpreters_);
  }
  return findInterpreter(interpreterCandidates(folders_.resources.string()));
}

std::vector<std::string> Service::childEnvironment() const {
  std::vector<std::string> inherited;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    inherited.emplace_back(*entry);
  }
  return backendEnvironment(
      std::move(inherited),
      {serviceFolder(), folders_.data, folders_.bytecodeCache, folders_.userHome}, ::getpid());
}

std::shared_ptr<ChildProcess> Service::takeProcess() {
  std::lock_guard guard(lock_);
  if (process_) {
    ++stops_;
  }
  answered_ = false;
  return std::exchange(process_, nullptr);
}

std::uint64_t Service::stopsSoFar() const {
  std::lock_guard guard(lock_);
  return stops_;
}

} // namespace tarvo
