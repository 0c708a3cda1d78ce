#pragma once

#include "platform/Queues.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

class ChildProcess;
class HttpSession;

// Where the supervisor finds the user's folders and the bundle's resources.
// Production always uses forCurrentUser(); tests point both elsewhere.
struct Locations {
  std::filesystem::path userHome;  // from the passwd entry, never $HOME
  std::filesystem::path resources; // the bundle's Resources folder; empty when none
  // Replaces the fixed list of interpreter candidates; tests only.
  std::optional<std::vector<std::string>> interpreters;

  static const Locations& forCurrentUser();
};

// The one supervisor of the backend: its settings, the install token, the
// HTTP session, and the child process it launched.
class Service : public std::enable_shared_from_this<Service> {
public:
  static constexpr int port = 7810;
  // The name a healthy backend reports in its ping reply; also the name of
  // the backend's folder in the resources.
  static constexpr std::string_view name = "tarvo-studio";
  static constexpr std::uintmax_t maxLog = 8388608;
  static const std::string& base(); // "http://127.0.0.1:7810", no trailing slash

  struct Busy {
    std::int64_t running = 0;
    std::int64_t pending = 0;
    std::int64_t chats = 0;
    std::vector<std::string> names;
  };

  enum class Route { approve, call };
  static std::string_view rawValue(Route route);
  static std::optional<Route> route(std::string_view rawValue);

  using Done = std::function<void(bool ok, std::optional<std::string> message)>;

  static std::shared_ptr<Service> make(std::shared_ptr<platform::MainQueue> mainQueue);
  static std::shared_ptr<Service> make(std::shared_ptr<platform::MainQueue> mainQueue,
                                       Locations locations);
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  // Settings and token.
  [[nodiscard]] const std::filesystem::path& home() const { return home_; }
  [[nodiscard]] const std::filesystem::path& logURL() const { return logURL_; }
  [[nodiscard]] const std::filesystem::path& cachesFolder() const { return caches_; }
  [[nodiscard]] const Locations& locations() const { return places_; }
  [[nodiscard]] std::filesystem::path serviceFolder() const;
  [[nodiscard]] std::string token() const;
  [[nodiscard]] std::optional<std::string> windowURL() const;

  // Health ping and ownership.
  [[nodiscard]] std::optional<std::string> pingName(double timeout = 1.2) const;
  [[nodiscard]] bool isMine() const;
  [[nodiscard]] bool isAlive() const;

  // What is in flight; no answer when the backend cannot tell.
  [[nodiscard]] std::optional<Busy> busy(double timeout = 2.5) const;

  // An authenticated call; `done` runs exactly once.
  void post(Route route, const nlohmann::json& body, Done done) const;

  // Lifecycle. start() blocks; stop() and restart() wait for the child.
  [[nodiscard]] std::optional<std::string> start();
  void stop();
  void restart();

  // Read and called on the main thread only.
  std::function<void(std::int32_t status)> onExit;

  [[nodiscard]] HttpSession& session() const { return *session_; }
  [[nodiscard]] platform::MainQueue& mainQueue() const { return *mainQueue_; }

private:
  Service(std::shared_ptr<platform::MainQueue> mainQueue, Locations locations);

  [[nodiscard]] std::optional<std::string> startOnce();
  [[nodiscard]] std::optional<std::string> python() const;
  [[nodiscard]] std::vector<std::string> childEnvironment() const;
  [[nodiscard]] std::shared_ptr<ChildProcess> takeProcess();

  Locations places_;
  std::filesystem::path home_;
  std::filesystem::path logURL_;
  std::filesystem::path caches_;

  std::shared_ptr<ChildProcess> process_;
  std::optional<std::int32_t> exited_;
  mutable std::mutex lock_;
  std::unique_ptr<HttpSession> session_;
  std::shared_ptr<platform::MainQueue> mainQueue_;

  // Serialises start(): a second caller waits for the first and takes its result.
  std::mutex startLock_;
  std::shared_future<std::optional<std::string>> startInFlight_;
};

} // namespace tarvo
