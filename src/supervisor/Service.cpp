// The Service's settings and token, the operations it forwards to its
// backend client, the port it holds, and the lifecycle of the backend it
// launches through the keeper.
#include "supervisor/Service.h"

#include "protocol/BackendClient.h"
#include "protocol/HttpSession.h"
#include "protocol/Url.h"
#include "protocol/Wire.h"
#include "supervisor/BackendEnvironment.h"
#include "supervisor/BackendFamily.h"
#include "supervisor/BytecodeSweep.h"
#include "supervisor/Interpreter.h"
#include "supervisor/KeeperWire.h"
#include "supervisor/LoopbackListener.h"
#include "supervisor/StartTexts.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tarvo {
namespace {

using Clock = std::chrono::steady_clock;

std::string errorText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::string millisSince(Clock::time_point then) {
  return std::to_string(
             std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - then).count()) +
         " ms";
}

} // namespace

std::shared_ptr<Service> Service::make(std::shared_ptr<platform::MainQueue> mainQueue) {
  return make(std::move(mainQueue), UserFolders::current());
}

std::shared_ptr<Service> Service::make(std::shared_ptr<platform::MainQueue> mainQueue,
                                       UserFolders folders, Timing timing,
                                       std::optional<std::vector<std::string>> interpreters,
                                       Peer peer) {
  return std::shared_ptr<Service>(
      new Service(std::move(mainQueue), std::move(folders), timing, std::move(interpreters), peer));
}

Service::Service(std::shared_ptr<platform::MainQueue> mainQueue, UserFolders folders, Timing timing,
                 std::optional<std::vector<std::string>> interpreters, Peer peer)
    : folders_(std::move(folders)), timing_(timing), interpreters_(std::move(interpreters)),
      peer_(peer), token_(folders_.data / "ui.token"), log_(folders_.log, maxLog),
      client_(std::make_unique<protocol::BackendClient>(base(),
                                                        [token = token_] { return token.read(); })),
      mainQueue_(std::move(mainQueue)) {}

// Releases the fields only: a running backend is left running, and its
// keeper ends it once the application is gone.
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

// The bundle keeps bin/tarvo-studio-keeper beside Resources/, as it keeps the
// application itself. Absolute: it is started in the backend's folder.
std::filesystem::path Service::keeper() const {
  if (folders_.resources.empty()) {
    return {};
  }
  std::error_code ignored; // then relative, and the launch says what is missing
  return std::filesystem::absolute(
      folders_.resources.parent_path() / "bin" / std::string(KeeperWire::program), ignored);
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

std::shared_ptr<BackendFamily> Service::runningBackend() const {
  std::lock_guard guard(lock_);
  return process_ != nullptr && process_->isRunning() ? process_ : nullptr;
}

bool Service::trustsPeer() const {
  return peer_ == Peer::anyServer || isMine();
}

// Without a backend of ours nothing is asked. After the answer the backend is
// looked at again: if it died while the answer came, a worker it left
// behind, still holding the port until its family is ended, gave it.
bool Service::isAlive() const {
  const std::shared_ptr<BackendFamily> backend = runningBackend();
  if (!backend) {
    return false;
  }
  return pingName() == std::string(name) && runningBackend() == backend;
}

std::optional<Service::Busy> Service::busy(std::optional<double> timeout) const {
  if (!trustsPeer()) {
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
  if (!trustsPeer()) {
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

// Another start under way is launching our child too: take its success, as
// long as our child still runs when that start ends (a stop since, a restart
// say, undoes it). Never take its failure: it may be the very death this
// caller answers (a restart whose delay ended while the start that saw the
// backend die was still waiting on its ping), and that restart is owed a
// launch of its own.
std::optional<std::string> Service::start() {
  return startGate_.run(
      [this] {
        note("start: begins");
        auto result = startOnce();
        note(result ? "start: failed: " + result->english : "start: the service answers");
        return result ? std::optional(std::move(result->shown)) : std::nullopt;
      },
      [this](const std::optional<std::string>& result) { return !result && isMine(); });
}

std::optional<StartTexts::Text> Service::startOnce() {
  if (closed()) {
    return StartTexts::quitting();
  }
  if (alreadyUp()) {
    return std::nullopt;
  }
  if (isMine()) {
    note("start: the service runs but does not answer; it is stopped first");
    stop();
  }
  if (auto refused = holdPort()) {
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
  if (auto lingering = awaitLastFamily()) {
    return lingering;
  }
  std::shared_ptr<BackendFamily> backend;
  if (auto failure = launch(*interpreter, backend)) {
    return failure;
  }
  return awaitReadiness(backend);
}

bool Service::alreadyUp() {
  if (!isAlive()) {
    return false;
  }
  std::lock_guard guard(lock_);
  answered_ = process_ != nullptr; // a child that came up after its wait
  return true;
}

// The port check: the port is ours once bound, and stays ours. Whoever holds
// it instead is asked who it is, so that the refusal names it.
std::optional<StartTexts::Text> Service::holdPort() {
  {
    std::lock_guard guard(lock_);
    if (listener_) {
      return std::nullopt;
    }
  }
  LoopbackListener::Result bound = LoopbackListener::open(port);
  if (bound.socket) {
    note("start: port " + std::to_string(port) + " is held by this application from now on");
    std::lock_guard guard(lock_);
    listener_ = std::move(bound.socket);
    return std::nullopt;
  }
  note("start: port " + std::to_string(port) + " cannot be held: " + errorText(bound.error));
  if (auto reported = pingName()) {
    return *reported == name ? StartTexts::alreadyServing(port)
                             : StartTexts::portHeld(port, *reported);
  }
  // Silent, or not speaking JSON: a listener all the same, and not ours.
  return bound.error == EADDRINUSE ? StartTexts::portTaken(port)
                                   : StartTexts::couldNotStart(errorText(bound.error));
}

std::optional<StartTexts::Text> Service::checkBundle() const {
  std::error_code error;
  if (folders_.resources.empty() || !std::filesystem::exists(serviceFolder() / "app", error) ||
      !std::filesystem::exists(keeper(), error)) {
    return StartTexts::incomplete();
  }
  return std::nullopt;
}

// A process of the last backend's family could take the next one's
// connections on the port they share, so none may be left at a launch. A
// family whose backend exited by itself is being ended by its keeper.
std::optional<StartTexts::Text> Service::awaitLastFamily() {
  std::shared_ptr<BackendFamily> last;
  {
    std::lock_guard guard(lock_);
    last = process_;
  }
  if (!last || last->hasEnded()) {
    return std::nullopt;
  }
  const auto began = Clock::now();
  if (last->waitUntilEnded(timing_.terminateGrace + timing_.killGrace + BackendFamily::slack)) {
    note("start: the last service's family ended after a wait of " + millisSince(began));
    return std::nullopt;
  }
  last->stop(); // its keeper, which did not end it, is killed
  note("start: the last service's family did not end within " + millisSince(began) +
       "; nothing is launched beside it");
  return StartTexts::lastFamilyLeft(logURL());
}

std::optional<StartTexts::Text> Service::launch(const std::string& interpreter,
                                                std::shared_ptr<BackendFamily>& backend) {
  int listener = -1;
  {
    std::lock_guard guard(lock_);
    listener = listener_.get(); // held until the application exits
  }
  std::weak_ptr<Service> weak = weak_from_this();
  backend = BackendFamily::create({keeper(),
                                   {interpreter,
                                    {"-m", "app", "serve", "--port", std::to_string(port)},
                                    plainPath(serviceFolder()),
                                    childEnvironment()},
                                   listener,
                                   folders_.log,
                                   maxLog,
                                   timing_.terminateGrace,
                                   timing_.killGrace,
                                   [weak](std::string_view line) {
                                     if (auto self = weak.lock()) {
                                       self->note(line);
                                     }
                                   }});
  backend->setTerminationHandler([weak](const ChildExit& exit) {
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
  if (auto failure = backend->launch()) {
    note("start: the service could not be launched: " + *failure);
    return StartTexts::couldNotStart(*failure);
  }
  note("start: the service runs as process " + std::to_string(backend->pid()) + " (" + interpreter +
       "), with its keeper");
  std::lock_guard guard(lock_);
  process_ = backend;
  answered_ = false;
  // A backend quick enough to exit before this point has already reported;
  // keep its status rather than hide the exit.
  exited_ = backend->isRunning() ? std::nullopt : backend->termination();
  return std::nullopt;
}

// Our port holds each ping in its queue until the backend accepts it, so a
// ping waits out its timeout while the backend comes up, and is answered as
// soon as it serves. Only our backend's family can answer.
std::optional<StartTexts::Text>
Service::awaitReadiness(const std::shared_ptr<BackendFamily>& backend) {
  const auto began = Clock::now();
  const auto deadline = began + timing_.readiness;
  for (;;) {
    if (closed()) {
      return StartTexts::quitting();
    }
    const auto attempt = Clock::now();
    const double left = std::chrono::duration<double>(deadline - attempt).count();
    if (pingName(std::max(0.05, std::min(timing_.attemptTimeout, left))) == std::string(name)) {
      note("start: the service answered " + millisSince(began) + " after its launch");
      std::lock_guard guard(lock_);
      answered_ = answered_ || process_ == backend;
      return std::nullopt;
    }
    if (closed()) {
      return StartTexts::quitting(); // and its backend has been stopped
    }
    if (!backend->isRunning()) {
      return backend->boundItself() ? StartTexts::boundItself(port, logURL())
                                    : StartTexts::stoppedWhileStarting(logURL());
    }
    if (Clock::now() >= deadline) {
      return StartTexts::noAnswerInTime(logURL());
    }
    // An answer that came at once but was not our name is not asked again at once.
    const auto spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - attempt);
    if (spent < timing_.attemptPause && !pauseUnlessClosed(timing_.attemptPause - spent)) {
      return StartTexts::quitting();
    }
  }
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
  const std::shared_ptr<BackendFamily> backend = takeProcess();
  if (!backend) {
    return;
  }
  backend->removeTerminationHandler();
  if (backend->hasEnded()) {
    return;
  }
  const auto began = Clock::now();
  if (backend->stop()) {
    note("stop: the service and every process it started ended in " + millisSince(began));
  } else {
    note("stop: the keeper of the service did not end its family within " + millisSince(began) +
         "; the keeper was killed, and a process of the family may be left");
  }
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

std::optional<std::string> Service::python() {
  auto told = [this](std::string_view line) { note("start: " + std::string(line)); };
  if (interpreters_) {
    return findInterpreter(*interpreters_, probeLimit, told);
  }
  return findInterpreter(interpreterCandidates(folders_.resources.string()), probeLimit, told);
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

std::shared_ptr<BackendFamily> Service::takeProcess() {
  std::lock_guard guard(lock_);
  answered_ = false;
  return std::exchange(process_, nullptr);
}

} // namespace tarvo
