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

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

namespace tarvo {

namespace {

// Hands errno to the parent and ends the child.
[[noreturn]] void failInChild(int report) {
  const int error = errno;
  // Nothing to do about a failed report: the parent then sees an exec.
  [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
  ::_exit(127);
}

// In the child, between fork and exec: async-signal-safe calls only. Reports
// the first failure's errno through `report` and never returns.
[[noreturn]] void becomeChild(const SpawnRequest& request, pid_t parent, int report) {
  auto fail = [report] { failInChild(report); };

  // Dies with the spawning thread, which dies only with the process. A
  // parent already gone before this took effect leaves nobody to kill us.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
    fail();
  }
  if (::getppid() != parent) {
    errno = ESRCH;
    fail();
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

  const int targets[] = {1, 2};
  const int sources[] = {request.standardOutput, request.standardError};
  for (int i = 0; i < 2; ++i) {
    if (sources[i] < 0) {
      continue;
    }
    // dup2 onto itself would keep the close-on-exec flag.
    const int done =
        sources[i] == targets[i] ? ::fcntl(targets[i], F_SETFD, 0) : ::dup2(sources[i], targets[i]);
    if (done < 0) {
      fail();
    }
  }
  const int null = ::open("/dev/null", O_RDONLY);
  if (null < 0 || (null != 0 && (::dup2(null, 0) < 0 || ::close(null) != 0))) {
    fail();
  }

  if (request.workingDirectory != nullptr && ::chdir(request.workingDirectory) != 0) {
    fail();
  }

  // Whatever the rest of the application forgot to mark close-on-exec stays
  // here; the report pipe closes itself at the exec.
  const auto reportFd = static_cast<unsigned>(report);
  if (reportFd > 3) {
    ::close_range(3, reportFd - 1, 0);
  }
  ::close_range(reportFd + 1, UINT_MAX, 0);

  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr); // NOLINT(concurrency-mt-unsafe): one thread here
  ::execve(request.executable, request.argv, request.envp);
  failInChild(report);
}

SpawnResult spawnHere(const SpawnRequest& request) {
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
    becomeChild(request, parent, writing.get());
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

  SpawnResult spawn(const SpawnRequest& request) {
    std::packaged_task<SpawnResult()> task([&request] { return spawnHere(request); });
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
  try {
    return SpawnThread::instance().spawn(request);
  } catch (const std::system_error& failure) {
    return {-1, failure.code().value()}; // no thread to spawn from
  }
}

} // namespace tarvo
