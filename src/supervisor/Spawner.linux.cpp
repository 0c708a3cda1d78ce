// Linux: fork and exec on one thread that lives as long as the process,
// because the parent-death signal follows the thread that forked, not the
// process; posix_spawn cannot ask for that signal at all.
#include "supervisor/Spawner.h"

#include "supervisor/UniqueFd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvo {

namespace {

constexpr std::string_view listenFdsName = "LISTEN_FDS=";
constexpr std::string_view listenPidName = "LISTEN_PID=";
constexpr std::string_view listenNamesName = "LISTEN_FDNAMES=";
// Room for any process id, filled in by the child.
constexpr std::size_t pidDigits = 20;

// What the child execs with, made in the parent: after the fork only
// async-signal-safe calls may run, so nothing is allocated there.
struct Prepared {
  std::vector<std::string> environment;
  std::vector<char*> envp;
  char* listenPid = nullptr; // the digits of LISTEN_PID, written by the child
};

Prepared prepare(const SpawnRequest& request) {
  Prepared prepared;
  for (char* const* entry = request.envp; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with(listenFdsName) && !text.starts_with(listenPidName) &&
        !text.starts_with(listenNamesName)) {
      prepared.environment.emplace_back(text);
    }
  }
  if (request.socketActivation) {
    prepared.environment.push_back(std::string(listenFdsName) +
                                   std::to_string(request.handedCount));
    prepared.environment.push_back(std::string(listenPidName) + std::string(pidDigits, '\0'));
  }
  for (auto& text : prepared.environment) {
    prepared.envp.push_back(text.data());
  }
  prepared.envp.push_back(nullptr);
  if (request.socketActivation) {
    prepared.listenPid = prepared.environment.back().data() + listenPidName.size();
  }
  return prepared;
}

// Hands errno to the parent and ends the child.
[[noreturn]] void failInChild(int report) {
  const int error = errno;
  // Nothing to do about a failed report: the parent then sees an exec.
  [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
  ::_exit(127);
}

// Writes `number` in decimal over the digits' room, ended by a NUL.
void writeDecimal(char* room, pid_t number) {
  char reversed[pidDigits] = {};
  std::size_t count = 0;
  auto value = static_cast<unsigned long>(number);
  do {
    reversed[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && count < pidDigits - 1);
  for (std::size_t i = 0; i < count; ++i) {
    room[i] = reversed[count - 1 - i];
  }
  room[count] = '\0';
}

// In the child, between fork and exec: async-signal-safe calls only. Reports
// the first failure's errno through `report` and never returns.
[[noreturn]] void becomeChild(const SpawnRequest& request, const Prepared& prepared, pid_t parent,
                              int report) {
  auto fail = [&report] { failInChild(report); };

  if (request.dieWithParent) {
    // Dies with the spawning thread, which dies only with the process. A
    // parent already gone before this took effect leaves nobody to kill us.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
      fail();
    }
    if (::getppid() != parent) {
      errno = ESRCH;
      fail();
    }
  }
  if (::setpgid(0, 0) != 0) {
    fail();
  }

  // The spawning thread blocks every signal, so no handler of the
  // application can run here; each is set back to its default before the
  // mask is lifted.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int number = 1; number < NSIG; ++number) {
    if (number != SIGKILL && number != SIGSTOP) {
      ::sigaction(number, &byDefault, nullptr); // the C library refuses its own: fine
    }
  }

  // Where each kept descriptor must end up: 1, 2, then 3, 4, ... for those
  // handed on. Each one (and the report pipe) is first moved above all of
  // those places, so that putting one in place never closes another.
  const int firstFree = 3 + request.handedCount;
  std::array<int, 2 + SpawnRequest::maxHanded> sources{};
  std::array<int, 2 + SpawnRequest::maxHanded> targets{};
  int kept = 0;
  auto keep = [&](int source, int target) {
    if (source >= 0) {
      sources[kept] = source;
      targets[kept] = target;
      ++kept;
    }
  };
  keep(request.standardOutput, 1);
  keep(request.standardError, 2);
  for (int i = 0; i < request.handedCount; ++i) {
    keep(request.handed[i], 3 + i);
  }
  if (report < firstFree && (report = ::fcntl(report, F_DUPFD_CLOEXEC, firstFree)) < 0) {
    _exit(127); // no way left to tell the parent
  }
  for (int i = 0; i < kept; ++i) {
    if (sources[i] < firstFree && (sources[i] = ::fcntl(sources[i], F_DUPFD, firstFree)) < 0) {
      fail();
    }
  }
  for (int i = 0; i < kept; ++i) {
    // dup2 onto another number never keeps the close-on-exec flag.
    if (::dup2(sources[i], targets[i]) < 0) {
      fail();
    }
  }
  const int null = ::open("/dev/null", O_RDONLY);
  if (null < 0 || (null != 0 && (::dup2(null, 0) < 0 || ::close(null) != 0))) {
    fail();
  }
  if (prepared.listenPid != nullptr) {
    writeDecimal(prepared.listenPid, ::getpid());
  }

  if (request.workingDirectory != nullptr && ::chdir(request.workingDirectory) != 0) {
    fail();
  }

  // Whatever the rest of the application forgot to mark close-on-exec stays
  // here; the report pipe closes itself at the exec.
  const auto reportFd = static_cast<unsigned>(report);
  const auto firstUnkept = static_cast<unsigned>(firstFree);
  if (reportFd > firstUnkept) {
    ::close_range(firstUnkept, reportFd - 1, 0);
  }
  ::close_range(reportFd + 1, UINT_MAX, 0);

  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr); // NOLINT(concurrency-mt-unsafe): one thread here
  ::execve(request.executable, request.argv, prepared.envp.data());
  failInChild(report);
}

SpawnResult spawnHere(const SpawnRequest& request, const Prepared& prepared) {
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return {-1, errno};
  }
  UniqueFd reading(ends[0]);
  UniqueFd writing(ends[1]);

  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    return {-1, errno};
  }
  if (pid == 0) {
    becomeChild(request, prepared, parent, writing.get());
  }
  writing.reset();

  int childError = 0;
  ssize_t got = 0;
  do {
    got = ::read(reading.get(), &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof childError)) {
    return {pid, 0}; // closed by the exec: the program runs
  }
  int ignored = 0;
  while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
  }
  return {-1, childError};
}

// The thread that forks every child. It is never joined nor destroyed:
// a child's parent-death signal fires when this thread ends, so it must end
// only with the process.
class SpawnThread {
public:
  static SpawnThread& instance() {
    static auto* thread = new SpawnThread(); // NOLINT(cppcoreguidelines-owning-memory): never freed
    return *thread;
  }

  SpawnResult spawn(const SpawnRequest& request, const Prepared& prepared) {
    std::packaged_task<SpawnResult()> task(
        [&request, &prepared] { return spawnHere(request, prepared); });
    auto result = task.get_future();
    {
      std::lock_guard guard(mutex_);
      tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
    return result.get();
  }

private:
  SpawnThread() {
    std::thread([this] { work(); }).detach();
  }

  void work() {
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;) {
      std::packaged_task<SpawnResult()> task;
      {
        std::unique_lock guard(mutex_);
        wake_.wait(guard, [this] { return !tasks_.empty(); });
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<SpawnResult()>> tasks_;
};

} // namespace

SpawnResult Spawner::spawn(const SpawnRequest& request) {
  if (request.handedCount < 0 || request.handedCount > SpawnRequest::maxHanded) {
    return {-1, EINVAL};
  }
  try {
    const Prepared prepared = prepare(request);
    return SpawnThread::instance().spawn(request, prepared);
  } catch (const std::system_error& failure) {
    return {-1, failure.code().value()}; // no thread to spawn from
  } catch (const std::bad_alloc&) {
    return {-1, ENOMEM};
  }
}

} // namespace tarvo
