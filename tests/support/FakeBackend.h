#pragma once

#include "shell/Backend.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace tarvo::test {

// A supervisor whose answers the test sets and whose calls it counts.
class FakeBackend : public Backend {
public:
  std::optional<std::string> start() override;
  void close() override;
  void restart() override {
    ++restarts;
    if (whenStopping) {
      whenStopping();
    }
  }
  bool isAlive() override;
  bool isMine() override;
  bool hasAnswered() override;
  std::optional<protocol::Busy> busy() override;
  std::optional<std::string> windowURL() override { return window; }
  std::string logPath() override { return log; }
  std::string homePath() override { return home; }
  void setOnExit(std::function<void(std::int32_t)> callback) override;

  // Results of the coming start() calls, in order; success once they run out.
  std::deque<std::optional<std::string>> startResults;
  bool alive = true;
  bool mine = true;
  bool answered = true; // has answered a ping (counts only while `mine`)
  std::optional<protocol::Busy> busyAnswer;
  std::optional<std::string> window = "http://127.0.0.1:7810/#t=abc123";
  std::string log = "/home/ada/.local/state/Tarvo Studio.log";
  std::string home = "/home/ada/.local/share/Tarvo Studio";

  int starts = 0;
  int closes = 0;
  std::function<void()> whenClosed; // runs inside close()
  int restarts = 0;
  int aliveChecks = 0;
  int mineChecks = 0;
  int busyQueries = 0;
  int onExitSet = 0;
  std::function<void(std::int32_t)> onExit;
  std::function<void()> whenStopping; // runs inside restart()
};

} // namespace tarvo::test
