#pragma once

// A real Service with a home of its own, for tests that talk to a server on
// 127.0.0.1:7810. Declare the rig before the server: the port lock is then
// taken first and let go last.
#include "fixtures/Fixtures.h"
#include "supervisor/Service.h"
#include "support/FakeQueues.h"
#include "support/PortLock.h"
#include "support/TestServer.h"

#include <chrono>
#include <memory>
#include <string>

namespace tarvo::test {

struct ProtocolRig {
  PortLock portLock;
  TempFolder folder;
  std::shared_ptr<FakeMainQueue> mainQueue = std::make_shared<FakeMainQueue>();
  // The server here is the test's own, not the Service's backend: the wire
  // is tested alone, with the test's server taken as the backend.
  std::shared_ptr<Service> service =
      Service::make(mainQueue, UserFolders::under(folder.path(), folder / "Resources"), {},
                    std::nullopt, Service::Peer::anyServer);

  void writeToken(const std::string& text) const { writeFile(service->home() / "ui.token", text); }
};

// Seconds spent by `work`, on a steady clock.
template <typename Work> double secondsSpent(Work&& work) {
  const auto started = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

} // namespace tarvo::test
