#include "support/FakeBackend.h"

namespace tarvo::test {

std::optional<std::string> FakeBackend::start() {
  ++starts;
  if (startResults.empty()) {
    return std::nullopt;
  }
  auto result = startResults.front();
  startResults.pop_front();
  return result;
}

bool FakeBackend::isAlive() {
  ++aliveChecks;
  return alive;
}

void FakeBackend::close() {
  ++closes;
  if (whenStopping) {
    whenStopping();
  }
  if (whenClosed) {
    whenClosed();
  }
}

bool FakeBackend::hasAnswered() {
  ++mineChecks;
  return mine && answered;
}

bool FakeBackend::isMine() {
  ++mineChecks;
  return mine;
}

std::optional<protocol::Busy> FakeBackend::busy() {
  ++busyQueries;
  return busyAnswer;
}

void FakeBackend::setOnExit(std::function<void(std::int32_t)> callback) {
  ++onExitSet;
  onExit = std::move(callback);
}

} // namespace tarvo::test
