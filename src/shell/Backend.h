#pragma once

#include "protocol/Busy.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarvo {

// What the shell needs of its supervisor. The application passes the real
// Service; unit tests of the shell's rules pass a fake.
class Backend {
public:
  virtual ~Backend() = default;
  [[nodiscard]] virtual std::optional<std::string> start() = 0; // blocks
  // Quitting: no later start launches anything, a start in flight is called
  // off, and the child is stopped.
  virtual void close() = 0;
  virtual void restart() = 0;
  [[nodiscard]] virtual bool isAlive() = 0; // blocks for a ping
  [[nodiscard]] virtual bool isMine() = 0;
  // Our child runs and has answered its ping at least once.
  [[nodiscard]] virtual bool hasAnswered() = 0;
  [[nodiscard]] virtual std::optional<protocol::Busy> busy() = 0; // blocks
  [[nodiscard]] virtual std::optional<std::string> windowURL() = 0;
  [[nodiscard]] virtual std::string logPath() = 0;
  [[nodiscard]] virtual std::string homePath() = 0;
  virtual void setOnExit(std::function<void(std::int32_t)> onExit) = 0;
};

} // namespace tarvo
