#include "integration/fixtures/Fixtures.h"
#include "supervisor/BackendEnvironment.h"
#include "supervisor/ChildProcess.h"
#include "supervisor/LogWriter.h"
#include "supervisor/Service.h"
#include "support/FakeQueues.h"
#include "support/PortLock.h"
#include "support/TestServer.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <future>
#include <thread>

namespace tarvo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::install;
using test::processExists;
using test::readFile;
using test::TempFolder;
using test::writeFile;

const std::string incomplete =
    "This copy of Tarvo Studio is incomplete (its service is missing). Reinstall it from its "
    "package, or run make install again: an installation whose files were replaced in place can "
    "be left without its service, or with files of another version mixed in.";

TEST(BackendEnvironment, SetsItsSixVariablesOverWhatIsInherited) {
  auto environment =
      backendEnvironment({"LANG=C.UTF-8", "PYTHONPATH=/elsewhere", "PATH=/bin:/usr/bin",
                          "PYTHONUNBUFFERED=0", "PYTHONPATH=/twice"},
                         {"/b/Resources/tarvo-studio/", "/h/.local/share/Tarvo Studio",
                          "/h/.local/state/Tarvo Studio", "/h"},
                         4242);

  EXPECT_EQ(environment, (std::vector<std::string>{
                             "LANG=C.UTF-8",
                             "PYTHONPATH=/b/Resources/tarvo-studio",
                             "PATH=/opt/homebrew/bin:/usr/local/bin:/h/.local/bin:/bin:/usr/bin",
                             "PYTHONUNBUFFERED=1",
                             "TARVO_STUDIO_HOME=/h/.local/share/Tarvo Studio",
                             "TARVO_STUDIO_PARENT=4242",
                             "PYTHONPYCACHEPREFIX=/h/.local/state/Tarvo Studio/pycache",
                         }));
}

TEST(BackendEnvironment, FallsBackToTheSystemFoldersOnlyForAMissingPath) {
  auto withoutPath = backendEnvironment({"LANG=C"}, {"/s", "/d", "/c", "/u"}, 1);
  EXPECT_EQ(withoutPath.back(),
            "PATH=/opt/homebrew/bin:/usr/local/bin:/u/.local/bin:/usr/bin:/bin");

  auto emptyPath = backendEnvironment({"PATH="}, {"/s", "/d", "/c", "/u"}, 1);
  EXPECT_EQ(emptyPath.front(), "PATH=/opt/homebrew/bin:/usr/local/bin:/u/.local/bin:");
}

// A bundle of our own: Resources/python/bin/python3 is the fake interpreter,
// Resources/tarvo-studio/app the backend's package. onExit is recorded on the
// test's thread, which drives the main queue.
class Lifecycle : public ::testing::Test {
protected:
  test::PortLock portLock;
  TempFolder scratch;
  fs::path resources = scratch / "Resources";
  fs::path bin = resources / "python/bin";
  fs::path serviceFolder = resources / "tarvo-studio";
  std::shared_ptr<test::FakeMainQueue> queue = std::make_shared<test::FakeMainQueue>();
  std::shared_ptr<Service> service;
  std::vector<std::int32_t> exits;

  void SetUp() override {
    install("fake-python", bin / "python3");
    test::installKeeper(resources);
    writeFile(serviceFolder / "app/__init__.py", "");
    makeService(std::nullopt);
  }

  void TearDown() override {
    service->stop();
    EXPECT_TRUE(test::eventually([] { return test::childrenOfThisProcess().empty(); }, 3s))
        << "a child was left behind";
    // A report still queued holds the service; run it so nothing outlives the test.
    drainMainQueue(50ms);
  }

  // Room for a real interpreter to come up; short graces for a stubborn child.
  static Service::Timing quick() {
    Service::Timing timing;
    timing.attemptPause = 25ms;
    timing.terminateGrace = 300ms;
    return timing;
  }

  void makeService(std::optional<std::vector<std::string>> interpreters,
                   Service::Timing timing = quick()) {
    service = Service::make(queue, UserFolders::under(scratch / "home", resources), timing,
                            std::move(interpreters));
    service->onExit = [this](std::int32_t status) { exits.push_back(status); };
  }

  void setMode(const std::string& mode) { writeFile(bin / "mode", mode); }
  [[nodiscard]] nlohmann::json seen() const {
    return nlohmann::json::parse(readFile(bin / "seen.json"), nullptr, false);
  }
  // The child writes its record as it starts, which a loaded machine can
  // delay past a short readiness wait; 0 when it never does.
  [[nodiscard]] pid_t childPid() const {
    const auto limit = std::chrono::steady_clock::now() + 5s;
    for (;;) {
      const nlohmann::json record = seen();
      if (record.is_object() || std::chrono::steady_clock::now() > limit) {
        return record.is_object() ? record.value("pid", 0) : 0;
      }
      std::this_thread::sleep_for(20ms);
    }
  }
  [[nodiscard]] int serveCalls() const {
    std::istringstream calls(readFile(bin / "calls"));
    int count = 0;
    for (std::string line; std::getline(calls, line);) {
      count += line == "-m app serve --port 7810" ? 1 : 0;
    }
    return count;
  }
  [[nodiscard]] std::string logPath() const { return service->logURL().string(); }
  // Runs what the main queue has been given within `limit`.
  void drainMainQueue(std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      queue->waitAndRun(10ms);
    }
  }
};

TEST_F(Lifecycle, StartsItsChildAndStopsItWithoutReportingAnExit) {
  ASSERT_EQ(service->start(), std::nullopt);
  pid_t child = childPid();
  EXPECT_TRUE(processExists(child));
  EXPECT_TRUE(service->isMine());
  EXPECT_TRUE(service->isAlive());
  EXPECT_EQ(seen()["arguments"], nlohmann::json({"-m", "app", "serve", "--port", "7810"}));
  EXPECT_EQ(seen()["cwd"], serviceFolder.string());
  const std::string output = seen()["outputs"][0];
  EXPECT_TRUE(output.starts_with("pipe:")) << "its output goes through the keeper: " << output;
  EXPECT_EQ(seen()["outputs"][1], output);
  EXPECT_TRUE(test::eventually([&] {
    return readFile(logPath()).find("fake backend " + std::to_string(child)) != std::string::npos;
  }));

  // Up already: nothing is launched, swept or probed again.
  writeFile(serviceFolder / "app/__pycache__/kept.pyc", "x");
  std::string callsBefore = readFile(bin / "calls");
  EXPECT_EQ(service->start(), std::nullopt);
  EXPECT_EQ(readFile(bin / "calls"), callsBefore);
  EXPECT_TRUE(fs::exists(serviceFolder / "app/__pycache__/kept.pyc"));

  service->stop();
  EXPECT_FALSE(processExists(child));
  EXPECT_FALSE(service->isMine());
  drainMainQueue(300ms);
  EXPECT_TRUE(exits.empty());
  service->stop(); // no child: returns at once
}

TEST_F(Lifecycle, GivesTheChildItsEnvironmentAndNoOtherDescriptor) {
  int inheritable = ::open("/dev/null", O_RDONLY); // deliberately without close-on-exec
  ASSERT_EQ(service->start(), std::nullopt);
  ::close(inheritable);

  auto environment = seen()["environment"];
  EXPECT_EQ(environment["PYTHONPATH"], serviceFolder.string());
  EXPECT_EQ(environment["PYTHONUNBUFFERED"], "1");
  EXPECT_EQ(environment["TARVO_STUDIO_HOME"],
            (scratch / "home/.local/share/Tarvo Studio").string());
  EXPECT_EQ(environment["TARVO_STUDIO_PARENT"], std::to_string(::getpid()));
  EXPECT_EQ(environment["PYTHONPYCACHEPREFIX"],
            (scratch / "home/.local/state/Tarvo Studio/pycache").string());
  const char* inheritedPath = ::getenv("PATH"); // NOLINT(concurrency-mt-unsafe): read only
  ASSERT_NE(inheritedPath, nullptr);
  EXPECT_EQ(environment["PATH"], "/opt/homebrew/bin:/usr/local/bin:" +
                                     (scratch / "home/.local/bin").string() + ":" + inheritedPath);
  const char* home = ::getenv("HOME"); // NOLINT(concurrency-mt-unsafe): read only
  if (home != nullptr) {
    EXPECT_EQ(environment["HOME"], home) << "the rest is inherited unchanged";
  }

  // The held port as descriptor 3, announced to it alone, and nothing else.
  EXPECT_EQ(environment["LISTEN_FDS"], "1");
  EXPECT_EQ(environment["LISTEN_PID"], std::to_string(seen()["pid"].get<int>()));
  EXPECT_EQ(seen()["descriptors"], nlohmann::json({0, 1, 2, 3}));
}

TEST_F(Lifecycle, ReportsAChildThatExitsWhileStarting) {
  setMode("exit 2");

  EXPECT_EQ(service->start(), "The service stopped while starting. See " + logPath() + ".");

  EXPECT_TRUE(queue->waitAndRun(5s));
  EXPECT_EQ(exits, std::vector<std::int32_t>{2});
  EXPECT_FALSE(service->isMine());
}

TEST_F(Lifecycle, SaysWhatToDoWhenTheBackendBindsThePortItself) {
  setMode("binds");
  const std::optional<std::string> message = service->start();
  ASSERT_TRUE(message.has_value());
  EXPECT_TRUE(message->starts_with("The service could not start: it tried to open port 7810 "
                                   "itself, which Tarvo Studio holds for it."))
      << *message;
  EXPECT_TRUE(message->ends_with("See " + logPath() + ".")) << *message;
}

TEST_F(Lifecycle, GivesUpOnAChildThatNeverAnswersButLeavesItRunning) {
  setMode("silent");
  // The same timing serves the second start below, whose child must come up
  // within it on a busy machine: a few seconds, not a fraction of one.
  Service::Timing timing = quick();
  timing.readiness = 3s;
  timing.attemptTimeout = 0.1;
  makeService(std::nullopt, timing);
  auto began = std::chrono::steady_clock::now();

  EXPECT_EQ(service->start(), "The service did not answer in time. See " + logPath() + ".");

  EXPECT_GE(std::chrono::steady_clock::now() - began, timing.readiness) << "its whole deadline";
  // On a loaded machine the interpreter may not have got as far as saying who it is.
  ASSERT_TRUE(test::eventually([this] { return fs::exists(bin / "seen.json"); }));
  pid_t silent = childPid();
  EXPECT_TRUE(processExists(silent));
  EXPECT_TRUE(service->isMine());
  EXPECT_FALSE(service->isAlive());

  // The next start stops it, unreported, before it launches a new child.
  setMode("serve");
  EXPECT_EQ(service->start(), std::nullopt);
  EXPECT_FALSE(processExists(silent));
  EXPECT_NE(childPid(), silent);
  drainMainQueue(300ms);
  EXPECT_TRUE(exits.empty());
}

TEST_F(Lifecycle, RefusesALeftoverServerOfItsOwnName) {
  test::TestServer leftover(test::TestServer::reply(200, R"({"name":"tarvo-studio"})"));
  ASSERT_TRUE(leftover.listening());

  EXPECT_EQ(service->start(),
            "Something is already serving on 127.0.0.1:7810 and this app did not start it. "
            "Tarvo Studio will not attach to a service it did not start, because that service "
            "would be handed this install's token. Quit the other copy (or the leftover "
            "`python3 -m app serve`), then try again.");
  EXPECT_FALSE(fs::exists(bin / "calls")) << "nothing probed or launched";
  EXPECT_NE(readFile(logPath()).find("tarvo-studio: start: failed: Something is already serving"),
            std::string::npos)
      << "the log holds the refusal, and only the application's own lines";
  EXPECT_TRUE(leftover.listening());
}

TEST_F(Lifecycle, RefusesAForeignServerNamingItAsReceived) {
  test::TestServer foreign(test::TestServer::reply(500, R"({"name":"Grafana \u2713"})"));
  ASSERT_TRUE(foreign.listening());

  EXPECT_EQ(service->start(), "Port 7810 is held by \u201CGrafana \u2713\u201D, which is not "
                              "Tarvo Studio. Free the port and try again.");
  EXPECT_FALSE(fs::exists(bin / "calls"));
}

TEST_F(Lifecycle, RefusesAnIncompleteBundleBeforeSweepingOrSearching) {
  fs::remove_all(serviceFolder / "app");
  writeFile(serviceFolder / "studio/__pycache__/stray.pyc", "x");

  EXPECT_EQ(service->start(), incomplete);
  EXPECT_FALSE(fs::exists(bin / "calls")) << "no interpreter was probed";
  EXPECT_TRUE(fs::exists(serviceFolder / "studio/__pycache__/stray.pyc")) << "no sweep";

  fs::remove_all(serviceFolder);
  EXPECT_EQ(service->start(), incomplete);

  service = Service::make(queue, UserFolders::under(scratch / "home", {}), quick());
  EXPECT_EQ(service->start(), incomplete);
  EXPECT_FALSE(fs::exists(bin / "calls"));
}

TEST_F(Lifecycle, SweepsBeforeItFindsNoUsableInterpreter) {
  install("old-python", scratch / "old-python");
  makeService(
      std::vector<std::string>{(scratch / "absent").string(), (scratch / "old-python").string()});
  writeFile(serviceFolder / "app/__pycache__/stray.pyc", "x");
  writeFile(scratch / "home/.cache/Tarvo Studio/pycache/old.pyc", "x");

  EXPECT_EQ(service->start(), "Tarvo Studio needs Python 3.10 or later.");

  EXPECT_FALSE(fs::exists(serviceFolder / "app/__pycache__"));
  EXPECT_FALSE(fs::exists(scratch / "home/.cache/Tarvo Studio")) << "the old cache place";
  EXPECT_NE(readFile(logPath()).find("sweep: removed 1 stray bytecode item(s)"), std::string::npos);
  EXPECT_TRUE(fs::exists(scratch / "old-python.calls")) << "the given list was searched";
  EXPECT_FALSE(fs::exists(bin / "calls")) << "and only that list";
  EXPECT_FALSE(service->isMine());
}

TEST_F(Lifecycle, ReportsALaunchError) {
  setMode("vanish"); // passes the probe, then cannot be executed

  EXPECT_EQ(service->start(), "The service could not start: Permission denied");
  EXPECT_FALSE(service->isMine());
  EXPECT_TRUE(fs::exists(logPath())) << "the log was opened for the child";
}

TEST_F(Lifecycle, StopsAChildThatIgnoresTheTerminateSignal) {
  setMode("stubborn");
  ASSERT_EQ(service->start(), std::nullopt);
  pid_t stubborn = childPid();

  auto began = std::chrono::steady_clock::now();
  service->stop();
  auto took = std::chrono::steady_clock::now() - began;

  EXPECT_FALSE(processExists(stubborn));
  EXPECT_GE(took, quick().terminateGrace) << "it had its chance to end by itself";
  EXPECT_LT(took, 5s) << "within the grace it was given, not the application's";
  drainMainQueue(300ms);
  EXPECT_TRUE(exits.empty());
}

TEST_F(Lifecycle, OverlappingStartsLaunchOneChild) {
  auto first = std::async(std::launch::async, [this] { return service->start(); });
  auto second = std::async(std::launch::async, [this] { return service->start(); });

  EXPECT_EQ(first.get(), std::nullopt);
  EXPECT_EQ(second.get(), std::nullopt);
  EXPECT_EQ(serveCalls(), 1);
  EXPECT_EQ(test::childrenOfThisProcess().size(), 1U);
}

// A start that joined one in flight hands back nothing stale: here a restart
// kills the child that the first start was waiting for, so the second one
// launches its own instead of repeating the first one's failure.
TEST_F(Lifecycle, AJoinedStartUndoneByARestartStartsAfresh) {
  setMode("late 2");
  auto first = std::async(std::launch::async, [this] { return service->start(); });
  ASSERT_TRUE(test::eventually([this] { return fs::exists(bin / "seen.json"); }));
  const pid_t undone = childPid();
  auto second = std::async(std::launch::async, [this] { return service->start(); });
  std::this_thread::sleep_for(300ms); // let it join the first
  service->restart();

  EXPECT_EQ(first.get(), "The service stopped while starting. See " + logPath() + ".");
  EXPECT_EQ(second.get(), std::nullopt);
  EXPECT_FALSE(processExists(undone));
  EXPECT_NE(childPid(), undone);
  EXPECT_TRUE(service->isAlive());
  EXPECT_EQ(serveCalls(), 2);
}

// A restart asked for once a death was heard, while the start that saw the
// backend die still waits out its ping, is owed a launch of its own; taking
// that start's failure would leave no restart running.
TEST_F(Lifecycle, AStartAfterADeathLaunchesAfreshThoughTheStartThatSawItStillWaits) {
  Service::Timing timing = quick();
  timing.attemptTimeout = 3.0;
  makeService(std::nullopt, timing);
  setMode("exit 3");
  auto first = std::async(std::launch::async, [this] { return service->start(); });
  ASSERT_TRUE(queue->waitAndRun(5s)); // the death
  ASSERT_EQ(exits, std::vector<std::int32_t>{3});

  EXPECT_NE(service->start(), std::nullopt);
  EXPECT_NE(first.get(), std::nullopt);
  EXPECT_EQ(serveCalls(), 2);
}

// Quitting during bring-up: the readiness wait ends at once instead of
// running its course, the child is stopped unreported, and no later start
// launches anything.
TEST_F(Lifecycle, CloseCallsOffAStartInFlight) {
  setMode("silent");
  Service::Timing timing = quick();
  timing.readiness = std::chrono::hours(10); // unless called off
  makeService(std::nullopt, timing);
  auto start = std::async(std::launch::async, [this] { return service->start(); });
  ASSERT_TRUE(test::eventually([this] { return fs::exists(bin / "seen.json"); }));
  const pid_t waitedFor = childPid();
  EXPECT_TRUE(service->isMine());
  EXPECT_FALSE(service->hasAnswered()) << "launched, but it has not answered yet";

  service->close();

  EXPECT_FALSE(processExists(waitedFor)) << "close() stops the child before it returns";
  ASSERT_EQ(start.wait_for(30s), std::future_status::ready) << "the wait was not called off";
  EXPECT_EQ(start.get(), "Tarvo Studio is quitting.");
  EXPECT_EQ(service->start(), "Tarvo Studio is quitting.");
  EXPECT_EQ(serveCalls(), 1) << "nothing launched after the close";
  EXPECT_FALSE(service->isMine());
  drainMainQueue(300ms);
  EXPECT_TRUE(exits.empty());
}

TEST_F(Lifecycle, CloseBeforeAnyStartLaunchesNothing) {
  service->close();
  EXPECT_EQ(service->start(), "Tarvo Studio is quitting.");
  EXPECT_FALSE(fs::exists(bin / "calls")) << "nothing probed or launched";
}

TEST_F(Lifecycle, HasAnsweredOnlyOnceItsChildAnswered) {
  EXPECT_FALSE(service->hasAnswered());
  ASSERT_EQ(service->start(), std::nullopt);
  EXPECT_TRUE(service->hasAnswered());
  service->stop();
  EXPECT_FALSE(service->hasAnswered());

  setMode("exit 3");
  EXPECT_NE(service->start(), std::nullopt);
  EXPECT_FALSE(service->hasAnswered());
}

TEST_F(Lifecycle, RestartStopsTheChildAndReportsZero) {
  service->restart();
  EXPECT_TRUE(queue->waitAndRun(1s));
  EXPECT_EQ(exits, std::vector<std::int32_t>{0}) << "even with no child";

  exits.clear();
  ASSERT_EQ(service->start(), std::nullopt);
  pid_t child = childPid();
  service->restart();
  EXPECT_FALSE(processExists(child));
  drainMainQueue(300ms);
  EXPECT_EQ(exits, std::vector<std::int32_t>{0}) << "the stop itself is not reported";
}

TEST_F(Lifecycle, ReportsAChildKilledFromOutside) {
  ASSERT_EQ(service->start(), std::nullopt);
  ::kill(childPid(), SIGKILL);

  EXPECT_TRUE(queue->waitAndRun(5s));
  EXPECT_EQ(exits, std::vector<std::int32_t>{SIGKILL});
  EXPECT_FALSE(service->isMine());
  EXPECT_FALSE(service->isAlive());
}

// Everything the backend started ends with it, by whatever way it ends, and
// nothing else: here a worker it forked and a program it put in a session of
// its own, both deaf to SIGTERM, and a program of the test's own beside them.
TEST_F(Lifecycle, EndsTheBackendsWholeFamilyAndNothingElse) {
  setMode("family");
  auto bystander = ChildProcess::create({"/bin/sleep", {"600"}});
  ASSERT_EQ(bystander->launch(), std::nullopt);
  auto family = [this] {
    EXPECT_TRUE(test::eventually([this] { return fs::exists(bin / "family.json"); }));
    const auto pids = nlohmann::json::parse(readFile(bin / "family.json"));
    fs::remove(bin / "family.json");
    return std::vector<pid_t>{pids["worker"], pids["session"]};
  };
  auto allGone = [](const std::vector<pid_t>& pids) {
    return std::none_of(pids.begin(), pids.end(), processExists);
  };

  ASSERT_EQ(service->start(), std::nullopt);
  const auto stopped = family();
  service->stop();
  EXPECT_TRUE(allGone(stopped)) << "gone before stop() returns";

  ASSERT_EQ(service->start(), std::nullopt);
  const auto orphaned = family();
  ::kill(childPid(), SIGKILL);
  EXPECT_TRUE(queue->waitAndRun(5s));
  EXPECT_EQ(exits, std::vector<std::int32_t>{SIGKILL}) << "the backend's own status";
  ASSERT_EQ(service->start(), std::nullopt) << "once its family is gone";
  EXPECT_TRUE(allGone(orphaned));

  EXPECT_TRUE(bystander->isRunning());
  int subreaper = -1;
  EXPECT_EQ(::prctl(PR_GET_CHILD_SUBREAPER, &subreaper), 0);
  EXPECT_EQ(subreaper, 0) << "the application adopts nobody's orphans";
  bystander->kill();
  bystander->waitUntilExit(5s);
}

// A backend that dies while its ping is answered: the answer may come from a
// worker it left, which is not the backend.
TEST_F(Lifecycle, IsNotAliveWhenTheBackendDiedWhileItsPingWasAnswered) {
  Service::Timing timing = quick();
  timing.terminateGrace = 3s; // the worker answers within its grace
  makeService(std::nullopt, timing);
  ASSERT_EQ(service->start(), std::nullopt);
  writeFile(bin / "die-on-ping", "");

  EXPECT_FALSE(service->isAlive());
  EXPECT_TRUE(queue->waitAndRun(5s));
  EXPECT_EQ(exits, std::vector<std::int32_t>{5});
}

// A backend that closes its listening socket but runs on is found out by the
// next ping, although the application still holds the port, and replaced.
TEST_F(Lifecycle, ReplacesABackendThatStoppedListening) {
  setMode("deaf 1");
  ASSERT_EQ(service->start(), std::nullopt);
  ASSERT_TRUE(test::eventually([&] { return !service->isAlive(); }, 5s));
  EXPECT_TRUE(service->isMine());

  EXPECT_EQ(service->start(), std::nullopt);
  EXPECT_EQ(serveCalls(), 2);
}

// A backend that prints fast is neither held up nor given an unbounded log.
TEST_F(Lifecycle, KeepsTheLogBoundedWhileTheBackendPrintsFast) {
  setMode("flood 40");
  ASSERT_EQ(service->start(), std::nullopt);
  const fs::path rotated = LogWriter::rotatedPath(logPath());
  ASSERT_TRUE(test::eventually([&] { return fs::exists(rotated); }));
  service->stop();
  constexpr std::uintmax_t oneWrite = 65536;
  EXPECT_LE(fs::file_size(logPath()), Service::maxLog + oneWrite);
  EXPECT_LE(fs::file_size(rotated), Service::maxLog + oneWrite);
}

// The reference backend in the build's bundle, found and started as in production.
TEST_F(Lifecycle, StartsTheReferenceBackend) {
  fs::path bundled = fs::path(TARVO_BUNDLE_DIR) / "Resources";
  ASSERT_TRUE(fs::exists(bundled / "tarvo-studio/app/__main__.py"));
  service = Service::make(queue, UserFolders::under(scratch / "home", bundled), quick());
  service->onExit = [this](std::int32_t status) { exits.push_back(status); };

  ASSERT_EQ(service->start(), std::nullopt);
  EXPECT_EQ(service->pingName(), "tarvo-studio");
  EXPECT_TRUE(service->isAlive());
  EXPECT_TRUE(test::eventually([this] { return !service->token().empty(); }));

  service->stop();
  EXPECT_TRUE(test::eventually([] { return test::childrenOfThisProcess().empty(); }));
  EXPECT_EQ(service->pingName(0.3), std::nullopt);
  drainMainQueue(300ms);
  EXPECT_TRUE(exits.empty());
}

} // namespace
} // namespace tarvo
