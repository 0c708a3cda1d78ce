// Another user of the machine on 127.0.0.1:7810, answering the ping with our
// name: at launch (silent to the port check, or answering it with something
// that is not JSON) and in the middle of the readiness wait. start() must
// name the port as held by another program, leave no child of ours running,
// and the install token must never reach that program.
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

#include <future>

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

struct Squat {
  const char* label;
  const char* first;  // how the squatter answers its first connection
  bool duringTheWait; // it takes the port only once our child runs
};

class Squatter : public ::testing::TestWithParam<Squat> {
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

    test::install("fake-python", bin / "python3");
    writeFile(resources / "tarvo-studio/app/__init__.py", "");
    Service::Timing timing;
    timing.attempts = 200;
    timing.attemptPause = 25ms;
    service = Service::make(queue, UserFolders::under(scratch / "home", resources), timing);
    writeFile(service->home() / "ui.token", token);
  }

  void TearDown() override {
    if (service) {
      service->stop();
    }
    if (squatter) {
      squatter->kill();
      squatter->waitUntilExit(10s);
    }
  }

  void startSquatter(const std::vector<std::string>& extra) {
    std::vector<std::string> command = {"--reuid=" + std::to_string(user->account()->uid),
                                        "--regid=" + std::to_string(user->account()->gid),
                                        "--clear-groups",
                                        "/usr/bin/python3",
                                        "-I",
                                        (lair / "squatter").string(),
                                        lair.path().string(),
                                        "7810",
                                        GetParam().first};
    command.insert(command.end(), extra.begin(), extra.end());
    squatter = ChildProcess::create({"/usr/bin/setpriv", command, {}, {}, -1, -1});
    ASSERT_EQ(squatter->launch(), std::nullopt);
  }

  [[nodiscard]] bool squatterListens() const { return fs::exists(lair / "ready"); }
  [[nodiscard]] std::string received() const { return readFile(lair / "received"); }

  test::PortLock portLock;
  TempFolder scratch;
  TempFolder lair; // the squatter's own folder
  fs::path resources = scratch / "Resources";
  fs::path bin = resources / "python/bin";
  std::shared_ptr<test::FakeMainQueue> queue = std::make_shared<test::FakeMainQueue>();
  std::unique_ptr<ThrowawayUser> user;
  std::shared_ptr<Service> service;
  std::shared_ptr<ChildProcess> squatter;
};

TEST_P(Squatter, IsNamedAndNeverGivenTheToken) {
  std::optional<std::string> message;
  if (GetParam().duringTheWait) {
    // Our child runs without listening; the squatter moves in meanwhile.
    writeFile(bin / "mode", "silent");
    startSquatter({"--after", (lair / "go").string()});
    auto started = std::async(std::launch::async, [&] { return service->start(); });
    ASSERT_TRUE(eventually([&] { return fs::exists(bin / "seen.json"); }, 20s));
    writeFile(lair / "go", "");
    ASSERT_TRUE(eventually([&] { return squatterListens(); }, 20s));
    message = started.get();
  } else {
    startSquatter({});
    ASSERT_TRUE(eventually([&] { return squatterListens(); }, 20s));
    message = service->start();
  }

  EXPECT_EQ(message, portTaken);
  EXPECT_FALSE(service->isMine()) << "no child of ours is left beside the squatter";
  EXPECT_FALSE(service->isAlive());

  // Nothing that carries the token goes out to it either.
  EXPECT_EQ(service->busy(1.0), std::nullopt);
  std::optional<bool> posted;
  service->post(Service::Route::call, {{"fn", "x"}},
                [&](bool ok, const std::optional<std::string>&) { posted = ok; });
  EXPECT_EQ(posted, false) << "refused at once, before sending";
  queue->waitAndRun(300ms);

  EXPECT_TRUE(squatter->isRunning());
  EXPECT_EQ(received().find(token), std::string::npos) << received();
  EXPECT_NE(received().find("GET /api/ping"), std::string::npos)
      << "the squatter was there to be asked";
}

INSTANTIATE_TEST_SUITE_P(Squats, Squatter,
                         ::testing::Values(Squat{"silentAtLaunch", "silent", false},
                                           Squat{"notJsonAtLaunch", "garbage", false},
                                           Squat{"duringTheWait", "name", true}),
                         [](const auto& testCase) { return testCase.param.label; });

} // namespace
} // namespace tarvo
