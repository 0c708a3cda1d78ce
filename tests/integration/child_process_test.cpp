#include "integration/fixtures/Fixtures.h"
#include "supervisor/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using test::eventually;
using test::processExists;
using test::readFile;
using test::TempFolder;

std::shared_ptr<ChildProcess> shell(const std::string& script) {
  return ChildProcess::create({"/bin/sh", {"-c", script}, std::nullopt, std::nullopt, -1, -1});
}

int openForWriting(const std::filesystem::path& path, int flags = O_CLOEXEC) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | flags, 0644);
}

TEST(ChildProcess, ReportsTheExitCodeOrTheSignal) {
  auto exits = shell("exit 7");
  ASSERT_EQ(exits->launch(), std::nullopt);
  EXPECT_TRUE(exits->waitUntilExit(10s));
  EXPECT_FALSE(exits->isRunning());
  EXPECT_EQ(exits->terminationStatus(), 7);

  auto sleeper = shell("exec sleep 600");
  ASSERT_EQ(sleeper->launch(), std::nullopt);
  EXPECT_TRUE(sleeper->isRunning());
  EXPECT_EQ(sleeper->terminationStatus(), std::nullopt);
  EXPECT_FALSE(sleeper->waitUntilExit(50ms));
  sleeper->terminate();
  EXPECT_TRUE(sleeper->waitUntilExit(10s));
  EXPECT_EQ(sleeper->terminationStatus(), SIGTERM);

  auto killed = shell("exec sleep 600");
  ASSERT_EQ(killed->launch(), std::nullopt);
  killed->kill();
  EXPECT_TRUE(killed->waitUntilExit());
  EXPECT_EQ(killed->terminationStatus(), SIGKILL);
  EXPECT_FALSE(processExists(killed->pid())) << "reaped, not left a zombie";
  killed->terminate(); // after the exit: a no-op, never a signal to a reused pid
}

TEST(ChildProcess, StopKillsOnlyAChildThatOutlivesItsTerminateGrace) {
  auto obliging = shell("exec sleep 600");
  ASSERT_EQ(obliging->launch(), std::nullopt);
  EXPECT_TRUE(obliging->stop(10s, 10s));
  EXPECT_EQ(obliging->terminationStatus(), SIGTERM);
  EXPECT_TRUE(obliging->stop(0ms, 0ms)) << "already ended";

  TempFolder folder;
  const auto ready = folder / "ready";
  // An ignored signal stays ignored across exec.
  auto stubborn = shell("trap '' TERM; : > '" + ready.string() + "'; exec sleep 600");
  ASSERT_EQ(stubborn->launch(), std::nullopt);
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(ready); }));
  EXPECT_TRUE(stubborn->stop(200ms, 10s));
  EXPECT_EQ(stubborn->terminationStatus(), SIGKILL);
  EXPECT_FALSE(processExists(stubborn->pid()));

  auto never = shell("exit 0");
  EXPECT_FALSE(never->stop(0ms, 0ms)) << "a child never launched never ends";
}

// A stopped child cannot run its SIGTERM handler: stop() wakes it with the
// signal, so it ends by itself rather than waiting out the grace for a kill.
TEST(ChildProcess, StopWakesAStoppedChildToEndByItself) {
  TempFolder folder;
  const auto ready = folder / "ready";
  auto child =
      shell("trap 'exit 3' TERM; : > '" + ready.string() + "'; while :; do sleep 0.05; done");
  ASSERT_EQ(child->launch(), std::nullopt);
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(ready); }));
  ASSERT_EQ(::kill(child->pid(), SIGSTOP), 0);
  ASSERT_TRUE(eventually([&] {
    const std::string stat = readFile("/proc/" + std::to_string(child->pid()) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && stat.compare(close + 2, 1, "T") == 0;
  }));

  EXPECT_TRUE(child->stop(60s, 10s));
  EXPECT_EQ(child->terminationStatus(), 3) << "its own handler ended it, not a kill";
}

// Running, not gone and not a zombie waiting for whoever adopted it.
bool runs(pid_t pid) {
  const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z' &&
         stat[close + 2] != 'X';
}

// However the application ends, killed included, its children end with it:
// here the launching thread is long gone, and then the process is killed.
TEST(ChildProcess, DoesNotOutliveAKilledParent) {
  TempFolder folder;
  const auto pidFile = folder / "pid";
  auto parent = ChildProcess::create(
      {TARVO_LAUNCH_AND_WAIT, {pidFile.string()}, std::nullopt, std::nullopt, -1, -1});
  ASSERT_EQ(parent->launch(), std::nullopt);
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(pidFile); }, 10s));
  const pid_t orphan = std::stoi(readFile(pidFile));
  ASSERT_TRUE(runs(orphan)) << "alive while its parent is";

  parent->kill();
  ASSERT_TRUE(parent->waitUntilExit(10s));
  EXPECT_TRUE(eventually([&] { return !runs(orphan); }, 3s)) << "left behind";
  ::kill(orphan, SIGKILL); // whatever happened, leave nothing
}

// Signals a terminal sends to the application's group (Ctrl+C, hang-up)
// never reach a child, and it does not read the terminal.
TEST(ChildProcess, RunsInAProcessGroupOfItsOwnWithNoInput) {
  TempFolder folder;
  int out = openForWriting(folder / "stdin");
  auto child = ChildProcess::create(
      {"/bin/sh", {"-c", "readlink /proc/self/fd/0"}, std::nullopt, std::nullopt, out, -1});
  auto sleeper = shell("exec sleep 600");
  ASSERT_EQ(child->launch(), std::nullopt);
  ASSERT_EQ(sleeper->launch(), std::nullopt);
  ::close(out);
  EXPECT_EQ(::getpgid(sleeper->pid()), sleeper->pid());
  EXPECT_NE(::getpgid(sleeper->pid()), ::getpgrp());
  ASSERT_TRUE(child->waitUntilExit(10s));
  EXPECT_EQ(readFile(folder / "stdin"), "/dev/null\n");
  EXPECT_TRUE(sleeper->stop(10s, 10s));
}

TEST(ChildProcess, ReportsLaunchErrorsAtOnceAndNeverRunsTheirHandler) {
  TempFolder folder;
  std::atomic<int> calls = 0;

  auto missing = ChildProcess::create({(folder / "absent").string(), {}, {}, {}, -1, -1});
  missing->setTerminationHandler([&](const ChildExit&) { ++calls; });
  EXPECT_EQ(missing->launch(), "No such file or directory");
  EXPECT_FALSE(missing->isRunning());
  EXPECT_FALSE(missing->waitUntilExit(10ms)) << "what never started never exits";

  auto text = ChildProcess::create({test::fixture("no-shebang").string(), {}, {}, {}, -1, -1});
  EXPECT_EQ(text->launch(), "Exec format error");

  auto badFolder = ChildProcess::create(
      {"/bin/true", {}, (folder / "no-such-folder").string(), std::nullopt, -1, -1});
  EXPECT_EQ(badFolder->launch(), "No such file or directory");

  auto twice = shell("exit 0");
  ASSERT_EQ(twice->launch(), std::nullopt);
  EXPECT_NE(twice->launch(), std::nullopt);
  EXPECT_TRUE(twice->waitUntilExit(10s));
  EXPECT_EQ(calls, 0);
}

TEST(ChildProcess, GivesTheChildItsFolderEnvironmentAndOutputs) {
  TempFolder folder;
  int out = openForWriting(folder / "out");
  int err = openForWriting(folder / "err");
  auto child =
      ChildProcess::create({"/bin/sh",
                            {"-c", "pwd; echo \"$GREETING|${HOME-unset}\"; echo oops >&2"},
                            folder.path().string(),
                            std::vector<std::string>{"GREETING=hello there", "PATH=/usr/bin:/bin"},
                            out,
                            err});
  ASSERT_EQ(child->launch(), std::nullopt);
  ::close(out);
  ::close(err);
  ASSERT_TRUE(child->waitUntilExit(10s));
  EXPECT_EQ(child->terminationStatus(), 0);
  EXPECT_EQ(readFile(folder / "out"), folder.path().string() + "\nhello there|unset\n");
  EXPECT_EQ(readFile(folder / "err"), "oops\n");
}

// No descriptor of ours reaches the child but 0, 1 and 2, even one opened
// without close-on-exec.
TEST(ChildProcess, PassesNoOtherDescriptor) {
  TempFolder folder;
  int leaky = ::open("/dev/null", O_RDONLY); // deliberately inheritable
  ASSERT_GE(leaky, 3);
  int out = openForWriting(folder / "fds");
  auto child = ChildProcess::create(
      {"/usr/bin/python3",
       {"-c", "import os\n"
              "names = os.listdir('/proc/self/fd')\n"
              "def still_open(n):\n"
              "    try:\n"
              "        os.readlink('/proc/self/fd/' + n)\n"
              "        return True\n"
              "    except OSError:\n"
              "        return False\n"
              "print(' '.join(sorted((n for n in names if still_open(n)), key=int)))\n"},
       std::nullopt,
       std::nullopt,
       out,
       -1});
  ASSERT_EQ(child->launch(), std::nullopt);
  ::close(out);
  ::close(leaky);
  ASSERT_TRUE(child->waitUntilExit(10s));
  ASSERT_EQ(child->terminationStatus(), 0);

  std::istringstream listed(readFile(folder / "fds"));
  std::set<int> fds;
  for (int fd = 0; listed >> fd;) {
    fds.insert(fd);
  }
  EXPECT_TRUE(fds.count(1)) << "its standard output is the file";
  for (int fd : fds) {
    EXPECT_LE(fd, 2) << "descriptor " << fd << " leaked into the child";
  }
}

TEST(ChildProcess, RunsTheTerminationHandlerOnceUnlessRemoved) {
  std::promise<std::int32_t> reported;
  std::atomic<int> calls = 0;
  auto child = shell("exit 4");
  child->setTerminationHandler([&](const ChildExit& exit) {
    const std::int32_t status = exit.status;
    if (++calls == 1) {
      reported.set_value(status);
    }
  });
  ASSERT_EQ(child->launch(), std::nullopt);
  auto status = reported.get_future();
  ASSERT_EQ(status.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(status.get(), 4);
  EXPECT_TRUE(child->waitUntilExit(10s));
  EXPECT_EQ(calls, 1);

  std::atomic<int> removedCalls = 0;
  auto quiet = shell("exec sleep 600");
  quiet->setTerminationHandler([&](const ChildExit&) { ++removedCalls; });
  ASSERT_EQ(quiet->launch(), std::nullopt);
  quiet->removeTerminationHandler();
  quiet->terminate();
  ASSERT_TRUE(quiet->waitUntilExit(10s));
  std::this_thread::sleep_for(50ms); // room for a wrong late call to show
  EXPECT_EQ(removedCalls, 0);
}

// Once removeTerminationHandler() has returned, the handler has either run to
// its end or will never run.
TEST(ChildProcess, RemovingTheHandlerWaitsOutACallInProgress) {
  std::promise<void> entered;
  std::atomic<bool> finished = false;
  auto child = shell("exit 0");
  child->setTerminationHandler([&](const ChildExit&) {
    entered.set_value();
    std::this_thread::sleep_for(200ms);
    finished = true;
  });
  ASSERT_EQ(child->launch(), std::nullopt);
  ASSERT_EQ(entered.get_future().wait_for(10s), std::future_status::ready);
  child->removeTerminationHandler();
  EXPECT_TRUE(finished);

  // The handler may remove itself without deadlocking.
  std::promise<void> done;
  auto selfRemoving = shell("exit 0");
  selfRemoving->setTerminationHandler([&](const ChildExit&) {
    selfRemoving->removeTerminationHandler();
    done.set_value();
  });
  ASSERT_EQ(selfRemoving->launch(), std::nullopt);
  EXPECT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
}

TEST(ChildProcess, ReleasingTheHandleLeavesTheChildRunning) {
  auto child = shell("exec sleep 600");
  ASSERT_EQ(child->launch(), std::nullopt);
  pid_t pid = child->pid();
  child.reset();
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(processExists(pid));
  ::kill(pid, SIGKILL);
  EXPECT_TRUE(eventually([&] { return !processExists(pid); })) << "its waiter still reaps it";
}

} // namespace
} // namespace tarvo
