// Another user of the machine on port 7810. One that holds 127.0.0.1:7810
// before the application, silent to the port check or answering it with
// something that is not JSON, is named as another program, and the install
// token never reaches it. Once the application holds the port, one that
// tries all along never gets it, not even between a backend's death and its
// restart. An IPv6-only listener, which no connection to 127.0.0.1 can reach,
// is no hindrance at all.
#include "integration/fixtures/Fixtures.h"
#include "integration/fixtures/ThrowawayUser.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/Service.h"
#include "support/FakeQueues.h"
#include "support/PortLock.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::eventually;
using test::readFile;
using test::TempFolder;
using test::ThrowawayUser;
using test::writeFile;

constexpr const char* token = "squatted-token-5c1e";
const std::string portTaken =
    "Port 7810 is held by another program, which is not Tarvo Studio's service. Tarvo Studio "
    "will not hand it this install's token. Quit that program or free the port, then try again.";

class AnotherUser : public ::testing::Test {
protected:
  void SetUp() override {
    if (::geteuid() != 0) {
      GTEST_SKIP() << "another user on the port needs root to make that user";
    }
    user = std::make_unique<ThrowawayUser>();
    ASSERT_TRUE(user->account().has_value()) << "useradd failed";
    ASSERT_EQ(::chmod(lair.path().c_str(), 0755), 0);
    ASSERT_EQ(::chown(lair.path().c_str(), user->account()->uid, user->account()->gid), 0);
    test::install("squatter", lair / "squatter");
    test::install("port-listener", lair / "port-listener");

    test::install("fake-python", bin / "python3");
    test::installKeeper(resources);
    writeFile(resources / "tarvo-studio/app/__init__.py", "");
    makeService(resources);
  }

  void TearDown() override {
    if (service) {
      service->stop();
    }
    if (other) {
      other->kill();
      other->waitUntilExit(10s);
    }
  }

  void makeService(const fs::path& bundleResources) {
    Service::Timing timing;
    timing.attemptPause = 25ms;
    service = Service::make(queue, UserFolders::under(scratch / "home", bundleResources), timing);
    writeFile(service->home() / "ui.token", token);
  }

  // One of the other user's programs in the lair, run with the system's Python.
  void runAsOther(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"--reuid=" + std::to_string(user->account()->uid),
                                        "--regid=" + std::to_string(user->account()->gid),
                                        "--clear-groups",
                                        "/usr/bin/python3",
                                        "-I",
                                        (lair / program).string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    other = ChildProcess::create({"/usr/bin/setpriv", command});
    ASSERT_EQ(other->launch(), std::nullopt);
  }
  void startSquatter(const std::string& first, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> arguments = {lair.path().string(), "7810", first};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    runAsOther("squatter", arguments);
  }

  [[nodiscard]] bool squatterListens() const { return fs::exists(lair / "ready"); }
  [[nodiscard]] std::string received() const { return readFile(lair / "received"); }
  [[nodiscard]] int tries() const {
    const std::string text = readFile(lair / "tries");
    return text.empty() ? 0 : std::stoi(text);
  }

  test::PortLock portLock;
  TempFolder scratch;
  TempFolder lair; // the other user's own folder
  fs::path resources = scratch / "Resources";
  fs::path bin = resources / "python/bin";
  std::shared_ptr<test::FakeMainQueue> queue = std::make_shared<test::FakeMainQueue>();
  std::unique_ptr<ThrowawayUser> user;
  std::shared_ptr<Service> service;
  std::shared_ptr<ChildProcess> other;
};

class Squatter : public AnotherUser, public ::testing::WithParamInterface<const char*> {};

TEST_P(Squatter, IsNamedAndNeverGivenTheToken) {
  startSquatter(GetParam());
  ASSERT_TRUE(eventually([&] { return squatterListens(); }, 20s));

  EXPECT_EQ(service->start(), portTaken);
  EXPECT_FALSE(service->isMine()) << "no child of ours is left beside the squatter";
  EXPECT_FALSE(service->isAlive());

  // Nothing that carries the token goes out to it either.
  EXPECT_EQ(service->busy(1.0), std::nullopt);
  std::optional<bool> posted;
  service->post(Service::Route::call, {{"fn", "x"}},
                [&](bool ok, const std::optional<std::string>&) { posted = ok; });
  EXPECT_EQ(posted, false) << "refused at once, before sending";
  queue->waitAndRun(300ms);

  EXPECT_TRUE(other->isRunning());
  EXPECT_EQ(received().find(token), std::string::npos) << received();
  EXPECT_NE(received().find("GET /api/ping"), std::string::npos)
      << "the squatter was there to be asked";
}

INSTANTIATE_TEST_SUITE_P(Squats, Squatter, ::testing::Values("silent", "garbage"));

TEST_F(AnotherUser, CannotTakeThePortBetweenABackendsDeathAndItsRestart) {
  ASSERT_EQ(service->start(), std::nullopt);
  const pid_t backend = nlohmann::json::parse(readFile(bin / "seen.json"))["pid"];
  startSquatter("name", {"--keep-trying"});
  ASSERT_TRUE(eventually([&] { return tries() > 0; }, 20s)) << "it tries, and cannot";

  ::kill(backend, SIGKILL);
  ASSERT_TRUE(queue->waitAndRun(5s))
      << "its exit is heard"; // and the report lets go of the Service
  ASSERT_FALSE(service->isMine());
  const int before = tries();
  ASSERT_TRUE(eventually([&] { return tries() > before + 20; }, 20s))
      << "it tried again and again while no backend ran";
  EXPECT_EQ(service->start(), std::nullopt);

  EXPECT_FALSE(squatterListens()) << "it never held the port";
  EXPECT_EQ(received(), "");
}

TEST_F(AnotherUser, AnIPv6OnlyListenerStopsNeitherTheStartNorTheBusyQuery) {
  runAsOther("port-listener", {(lair / "ready").string(), "::", "7810", "--v6only"});
  ASSERT_TRUE(eventually([&] { return squatterListens(); }, 20s));
  makeService(fs::path(TARVO_BUNDLE_DIR) / "Resources"); // the reference backend answers /api/busy

  ASSERT_EQ(service->start(), std::nullopt);
  EXPECT_TRUE(service->isAlive());
  EXPECT_TRUE(service->busy(5.0).has_value()) << "the quit's question gets its answer";
  EXPECT_TRUE(other->isRunning());
}

} // namespace
} // namespace tarvo
