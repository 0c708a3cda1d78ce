// Who holds 127.0.0.1:7810, against real listeners: children of this test,
// their descendants, siblings beside them, and another user's.
#include "integration/fixtures/Fixtures.h"
#include "integration/fixtures/ThrowawayUser.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/PortOwnership.h"
#include "support/PortLock.h"
#include "support/TestServer.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using test::eventually;
using test::TempFolder;
using test::ThrowawayUser;

constexpr int port = 7810;

// True while anything listens on the port, on any address.
bool somethingListens() {
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::istringstream lines(test::readFile(table));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (state == "0A" && local.ends_with(":1E82")) {
        return true;
      }
    }
  }
  return false;
}

struct Listen {
  std::string host = "127.0.0.1";
  int depth = 0; // generations started before the one that listens
  bool v6only = false;
  const ThrowawayUser* as = nullptr; // run as that user instead
};

int listenersMade = 0;

// A line of port-listener processes; the first is a child of this test and
// leads a process group that ends with it.
class Listener {
public:
  Listener(const TempFolder& folder, const Listen& how)
      : ready_(folder / ("ready-" + std::to_string(++listenersMade))) {
    std::vector<std::string> command = {
        "/usr/bin/python3", "-I",     (folder / "port-listener").string(),
        ready_.string(),    how.host, std::to_string(port)};
    if (how.depth > 0) {
      command.insert(command.end(), {"--depth", std::to_string(how.depth)});
    }
    if (how.v6only) {
      command.emplace_back("--v6only");
    }
    if (how.as != nullptr) {
      command.insert(command.begin(),
                     {"/usr/bin/setpriv", "--reuid=" + std::to_string(how.as->account()->uid),
                      "--regid=" + std::to_string(how.as->account()->gid), "--clear-groups"});
    }
    const std::string program = command.front();
    command.erase(command.begin());
    child_ = ChildProcess::create({program, command, {}, {}, -1, -1});
    if (!child_->launch()) {
      listening_ = eventually([&] { return std::filesystem::exists(ready_); }, 20s);
    }
  }
  ~Listener() {
    ::kill(-child_->pid(), SIGKILL); // the whole line, descendants included
    child_->kill();
    child_->waitUntilExit(10s);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  [[nodiscard]] bool listening() const { return listening_; }
  [[nodiscard]] pid_t pid() const { return child_->pid(); }

private:
  std::filesystem::path ready_;
  std::shared_ptr<ChildProcess> child_;
  bool listening_ = false;
};

// A child of this test that holds no socket.
class Sleeper {
public:
  Sleeper() : child_(ChildProcess::create({"/bin/sleep", {"600"}, {}, {}, -1, -1})) {
    running_ = !child_->launch();
  }
  ~Sleeper() {
    child_->kill();
    child_->waitUntilExit(10s);
  }
  Sleeper(const Sleeper&) = delete;
  Sleeper& operator=(const Sleeper&) = delete;

  [[nodiscard]] bool running() const { return running_; }
  [[nodiscard]] pid_t pid() const { return child_->pid(); }

private:
  std::shared_ptr<ChildProcess> child_;
  bool running_ = false;
};

class PortOwner : public ::testing::Test {
protected:
  void SetUp() override {
    test::install("port-listener", folder / "port-listener");
    ASSERT_TRUE(eventually(std::not_fn(somethingListens), 10s))
        << "something already listens on port " << port;
  }
  void TearDown() override {
    // Killed listeners close their sockets a moment later; the next test
    // needs the port free.
    EXPECT_TRUE(eventually(std::not_fn(somethingListens), 10s));
  }

  test::PortLock portLock;
  TempFolder folder;
};

TEST_F(PortOwner, HoldsForAChildListeningOnLoopback) {
  Listener own(folder, {});
  ASSERT_TRUE(own.listening());
  EXPECT_TRUE(portOwnedBy(own.pid(), port));
  EXPECT_TRUE(portOwnedBy(::getpid(), port)) << "its parent's tree holds it too";
  EXPECT_EQ(portOwnership(port, 0), PortOwnership::foreign) << "without an owner, any listener";
  EXPECT_FALSE(portOwnedBy(own.pid(), port + 1)) << "nothing of it listens there";
}

TEST_F(PortOwner, HoldsForAChildWhoseGrandchildListens) {
  Listener line(folder, {.depth = 2});
  Sleeper bystander;
  ASSERT_TRUE(line.listening());
  ASSERT_TRUE(bystander.running());
  EXPECT_TRUE(portOwnedBy(line.pid(), port));
  EXPECT_FALSE(portOwnedBy(bystander.pid(), port));
}

TEST_F(PortOwner, FailsForAProcessOutsideTheListenersTree) {
  Sleeper child;
  ASSERT_TRUE(child.running());
  {
    // This test process listens itself: the child is not among its holders.
    test::TestServer server(test::TestServer::silent);
    ASSERT_TRUE(server.listening());
    EXPECT_EQ(portOwnership(port, child.pid()), PortOwnership::foreign);
    EXPECT_TRUE(portOwnedBy(::getpid(), port));
  }
  // A sibling of the same user listens.
  Listener sibling(folder, {});
  ASSERT_TRUE(sibling.listening());
  EXPECT_EQ(portOwnership(port, child.pid()), PortOwnership::foreign);
  EXPECT_TRUE(portOwnedBy(sibling.pid(), port));
}

TEST_F(PortOwner, FailsWithNothingListening) {
  Sleeper child;
  ASSERT_TRUE(child.running());
  EXPECT_EQ(portOwnership(port, child.pid()), PortOwnership::nobody);
  EXPECT_EQ(portOwnership(port, 0), PortOwnership::nobody);
  EXPECT_FALSE(portOwnedBy(child.pid(), port));
  EXPECT_FALSE(portOwnedBy(::getpid(), port));
}

struct Beside {
  const char* label;
  Listen other;
  bool stillOwned; // whether the other listener cannot take 127.0.0.1 connections
};

class SecondListener : public PortOwner, public ::testing::WithParamInterface<Beside> {};

// Ours listens on 127.0.0.1; a process of the same user that is not ours
// listens beside it (the port shared with SO_REUSEPORT).
TEST_P(SecondListener, CountsWhenItMayTakeLoopbackConnections) {
  Listener own(folder, {});
  Listener other(folder, GetParam().other);
  ASSERT_TRUE(own.listening());
  ASSERT_TRUE(other.listening());
  EXPECT_EQ(portOwnership(port, own.pid()),
            GetParam().stillOwned ? PortOwnership::owned : PortOwnership::foreign);
  EXPECT_TRUE(portOwnedBy(::getpid(), port)) << "both are found in the tree that holds both";
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, SecondListener,
    ::testing::Values(Beside{"sameAddress", {.host = "127.0.0.1"}, false},
                      Beside{"anyIPv4", {.host = "0.0.0.0"}, false},
                      Beside{"anyIPv6", {.host = "::"}, false},
                      // IPv6-only cannot be told from /proc: counted all the same.
                      Beside{"anyIPv6Only", {.host = "::", .v6only = true}, false},
                      Beside{"mappedLoopback", {.host = "::ffff:127.0.0.1"}, false},
                      Beside{"mappedAny", {.host = "::ffff:0.0.0.0"}, false},
                      Beside{"otherLoopbackAddress", {.host = "127.0.0.2"}, true},
                      Beside{"loopbackIPv6", {.host = "::1", .v6only = true}, true}),
    [](const auto& testCase) { return testCase.param.label; });

TEST_F(PortOwner, FailsForAnotherUsersListener) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "making a throwaway user needs root";
  }
  ThrowawayUser user;
  ASSERT_TRUE(user.account().has_value()) << "useradd failed";
  ASSERT_EQ(::chown(folder.path().c_str(), user.account()->uid, user.account()->gid), 0);

  {
    // Its own child, but another user's socket.
    Listener foreign(folder, {.as = &user});
    ASSERT_TRUE(foreign.listening());
    EXPECT_EQ(portOwnership(port, foreign.pid()), PortOwnership::foreign);
    EXPECT_EQ(portOwnership(port, 0), PortOwnership::foreign);
    EXPECT_FALSE(portOwnedBy(::getpid(), port));
  }
  ASSERT_TRUE(eventually(std::not_fn(somethingListens), 10s));

  // IPv6-only beside ours, which the other user may bind freely: not told
  // apart from a listener that takes IPv4, so ours is not trusted.
  Listener own(folder, {});
  Listener foreign(folder, {.host = "::", .v6only = true, .as = &user});
  ASSERT_TRUE(own.listening());
  ASSERT_TRUE(foreign.listening());
  EXPECT_EQ(portOwnership(port, own.pid()), PortOwnership::foreign);
}

} // namespace
} // namespace tarvo
