#pragma once

#include "platform/Queues.h"
#include "protocol/Busy.h"
#include "protocol/Route.h"
#include "protocol/Wire.h"
#include "supervisor/ChildExit.h"
#include "supervisor/InstallToken.h"
#include "supervisor/LogWriter.h"
#include "supervisor/ServiceTiming.h"
#include "supervisor/StartGate.h"
#include "supervisor/StartTexts.h"
#include "supervisor/UniqueFd.h"
#include "supervisor/UserFolders.h"

#include <nlohmann/json_fwd.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

class BackendFamily;
namespace protocol {
class BackendClient;
class HttpSession;
} // namespace protocol

// The one supervisor of the backend: its settings, the install token, the
// client of its HTTP interface, the backend it launched with its family, and
// the backend's port, which the application holds itself from its first
// start until it exits, and hands to each backend it launches. While it is
// held, only the backend's family can answer on 127.0.0.1:port.
class Service : public std::enable_shared_from_this<Service> {
public:
  static constexpr int port = protocol::wire::port;
  // The name a healthy backend reports in its ping reply; also the name of
  // the backend's folder in the resources.
  static constexpr std::string_view name = "tarvo-studio";
  static constexpr std::uintmax_t maxLog = 8388608;
  static const std::string& base(); // "http://127.0.0.1:7810", no trailing slash

  using Busy = protocol::Busy;
  using Route = protocol::Route;
  using Timing = ServiceTiming;
  static std::string_view rawValue(Route route) { return protocol::rawValue(route); }
  static std::optional<Route> route(std::string_view rawValue) {
    return protocol::routeNamed(rawValue);
  }

  using Done = std::function<void(bool ok, std::optional<std::string> message)>;
  // Whom an authenticated request may go to: the application's own backend,
  // or (for tests of the wire alone) whatever server the test runs.
  enum class Peer { ownBackend, anyServer };

  // The application's Service: this user's folders, the fixed interpreter
  // candidates, the application's timing.
  static std::shared_ptr<Service> make(std::shared_ptr<platform::MainQueue> mainQueue);
  // Tests: other folders, shorter waits, their own interpreter candidates,
  // and (for tests of the wire alone) another peer.
  static std::shared_ptr<Service>
  make(std::shared_ptr<platform::MainQueue> mainQueue, UserFolders folders, Timing timing = {},
       std::optional<std::vector<std::string>> interpreters = std::nullopt,
       Peer peer = Peer::ownBackend);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Settings and token.
  [[nodiscard]] const std::filesystem::path& home() const { return folders_.data; }
  [[nodiscard]] const std::filesystem::path& logURL() const { return folders_.log; }
  [[nodiscard]] const UserFolders& folders() const { return folders_; }
  [[nodiscard]] std::filesystem::path serviceFolder() const;
  [[nodiscard]] std::string token() const;
  [[nodiscard]] std::optional<std::string> windowURL() const;

  // Health ping and ownership. A name on the port is believed only while our
  // backend runs, before and after the answer: its family alone can answer
  // on the port we hold, and a worker of a backend that died meanwhile must
  // not pass for it. Without a timeout, the timing's `pingTimeout`.
  [[nodiscard]] std::optional<std::string> pingName(std::optional<double> timeout = {}) const;
  [[nodiscard]] bool isMine() const;
  [[nodiscard]] bool isAlive() const;

  // What is in flight; no answer when the backend cannot tell, or when our
  // backend does not run (the query carries the token). Without a timeout,
  // the timing's `busyTimeout`.
  [[nodiscard]] std::optional<Busy> busy(std::optional<double> timeout = {}) const;

  // An authenticated call, sent only while our backend runs; `done` runs
  // exactly once: at once for a call refused before sending, else on the
  // main queue.
  void post(Route route, const nlohmann::json& body, Done done) const;

  // Lifecycle. start() blocks; stop() and restart() wait until the backend
  // and every process it started are gone.
  [[nodiscard]] std::optional<std::string> start();
  void stop();
  void restart();
  // The application is quitting: from now on start() launches nothing and
  // returns at once, a start in flight gives up its readiness wait, and the
  // child, whoever launched it, is stopped as stop() does.
  void close();
  // Our child runs and has answered its ping at least once: only then can
  // the backend have anything in flight.
  [[nodiscard]] bool hasAnswered() const;

  // Read and called on the main thread only.
  std::function<void(std::int32_t status)> onExit;

  [[nodiscard]] protocol::HttpSession& session() const;

  // A line of the application's own in the service log.
  void note(std::string_view text) { log_.note(text); }

private:
  Service(std::shared_ptr<platform::MainQueue> mainQueue, UserFolders folders, Timing timing,
          std::optional<std::vector<std::string>> interpreters, Peer peer);

  // The steps of one start, in order; each gives the message that ends it.
  [[nodiscard]] std::optional<StartTexts::Text> startOnce();
  [[nodiscard]] bool alreadyUp();
  [[nodiscard]] std::optional<StartTexts::Text> holdPort();
  [[nodiscard]] std::optional<StartTexts::Text> checkBundle() const;
  [[nodiscard]] std::optional<StartTexts::Text> awaitLastFamily();
  [[nodiscard]] std::optional<StartTexts::Text> launch(const std::string& interpreter,
                                                       std::shared_ptr<BackendFamily>& backend);
  [[nodiscard]] std::optional<StartTexts::Text>
  awaitReadiness(const std::shared_ptr<BackendFamily>& backend);
  [[nodiscard]] std::optional<std::string> python();
  [[nodiscard]] std::vector<std::string> childEnvironment() const;
  [[nodiscard]] std::filesystem::path keeper() const;
  [[nodiscard]] std::shared_ptr<BackendFamily> runningBackend() const;
  [[nodiscard]] bool trustsPeer() const;
  [[nodiscard]] std::shared_ptr<BackendFamily> takeProcess();
  [[nodiscard]] bool closed() const;
  // Waits `span`, or less once closed; false when closed.
  bool pauseUnlessClosed(std::chrono::milliseconds span);
  void reportExit(const ChildExit& exit);

  UserFolders folders_;
  Timing timing_;
  std::optional<std::vector<std::string>> interpreters_;
  Peer peer_;
  InstallToken token_;
  LogWriter log_;

  UniqueFd listener_; // the held port, once a start has taken it
  std::shared_ptr<BackendFamily> process_;
  std::optional<ChildExit> exited_;
  bool answered_ = false; // process_ has answered its ping
  bool closed_ = false;
  std::condition_variable wake_; // with lock_: a pause ends early once closed
  // Held across a launch and its record, and by close(): no launch after it.
  std::mutex launchLock_;
  mutable std::mutex lock_;
  std::unique_ptr<protocol::BackendClient> client_;
  std::shared_ptr<platform::MainQueue> mainQueue_;

  StartGate startGate_;
};

} // namespace tarvo
