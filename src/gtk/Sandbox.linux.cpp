#include "gtk/Sandbox.h"

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <vector>

namespace tarvo::gtk {

namespace {

// Where WebKitGTK is built to find them; it runs these paths, not $PATH's.
constexpr const char* bubblewrap = "/usr/bin/bwrap";
constexpr const char* dbusProxy = "/usr/bin/xdg-dbus-proxy";
// A run takes a few milliseconds; one that takes this long is not working.
constexpr std::chrono::milliseconds deadline{2000};
// WebKit hands bubblewrap its system-call filter on a descriptor; so do we.
constexpr int filterFd = 3;

class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }

private:
  int fd_;
};

// A filter that lets every call through: what is tried is that bubblewrap
// can install one, as it installs WebKit's.
int allowAllFilter() {
  const int made = static_cast<int>(::syscall(SYS_memfd_create, "tarvo-probe", MFD_CLOEXEC));
  if (made < 0) {
    return -1;
  }
  // Above the descriptor the child gets it as, so moving it there is a real dup2.
  const int fd = ::fcntl(made, F_DUPFD_CLOEXEC, filterFd + 1);
  ::close(made);
  const sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
  if (fd >= 0 && (::write(fd, &allow, sizeof allow) != sizeof allow || ::lseek(fd, 0, SEEK_SET))) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The arguments WebKit's launcher uses that decide whether bubblewrap can
// run at all: new namespaces, /proc, /dev and a /tmp of their own, the
// system's programs bound read-only, and a system-call filter.
std::vector<std::string> probeArguments() {
  std::vector<std::string> args = {
      bubblewrap, "--unshare-uts", "--unshare-ipc", "--unshare-pid", "--unshare-net",
      "--proc",   "/proc",         "--dev",         "/dev",          "--tmpfs",
      "/tmp",     "--ro-bind",     "/usr",          "/usr"};
  for (const char* dir : {"/bin", "/lib", "/lib64", "/sbin"}) {
    std::array<char, 256> target{};
    const ssize_t length = ::readlink(dir, target.data(), target.size() - 1);
    struct stat info {};
    if (length > 0) {
      args.insert(args.end(), {"--symlink", std::string(target.data(), length), dir});
    } else if (::stat(dir, &info) == 0 && S_ISDIR(info.st_mode)) {
      args.insert(args.end(), {"--ro-bind", dir, dir});
    }
  }
  args.insert(args.end(), {"--seccomp", std::to_string(filterFd), "--", dbusProxy, "--version"});
  return args;
}

// Waits for `child` until the deadline; kills it past the deadline.
int waitWithin(pid_t child, std::chrono::milliseconds span) {
  const Fd handle(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
  const auto end = std::chrono::steady_clock::now() + span;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) {
      return done == child ? status : -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(child, SIGKILL);
      while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    // Without a pidfd (an old kernel), look again every few milliseconds.
    pollfd exited{handle.get(), POLLIN, 0};
    ::poll(&exited, handle.get() >= 0 ? 1 : 0,
           handle.get() >= 0 ? static_cast<int>(left.count()) : 2);
  }
}

// What bubblewrap said, its first line, for the log.
std::string firstLine(int fd) {
  std::array<char, 512> text{};
  const ssize_t got = ::read(fd, text.data(), text.size());
  std::string line(text.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
  return line.substr(0, line.find('\n'));
}

} // namespace

std::optional<std::string> webProcessSandboxMissing() {
  for (const char* program : {bubblewrap, dbusProxy}) {
    if (::access(program, X_OK) != 0) {
      return std::string(program) + " is missing";
    }
  }
  const Fd filter(allowAllFilter());
  std::array<int, 2> said{-1, -1};
  if (filter.get() < 0 || ::pipe2(said.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
    return std::string("no system-call filter or pipe could be made for the probe");
  }
  const Fd reader(said[0]);
  const Fd writer(said[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writer.get(), 2);
  posix_spawn_file_actions_adddup2(&actions, filter.get(), filterFd);
  const std::vector<std::string> args = probeArguments();
  std::vector<char*> argv;
  for (const auto& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str())); // NOLINT: posix_spawn's signature
  }
  argv.push_back(nullptr);
  // No environment: neither program needs one to show whether it runs, and
  // the probe runs beside GTK's start-up, which may change the process's own.
  std::array<char*, 1> environment{nullptr};
  pid_t child = -1;
  const int error =
      posix_spawn(&child, bubblewrap, &actions, nullptr, argv.data(), environment.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    return std::string(bubblewrap) + " could not be started";
  }
  const int status = waitWithin(child, deadline);
  if (status < 0) {
    return std::string(bubblewrap) + " did not finish within 2 seconds";
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    const std::string message = firstLine(reader.get());
    return std::string(bubblewrap) + " cannot run here" + (message.empty() ? "" : ": " + message);
  }
  return std::nullopt;
}

} // namespace tarvo::gtk
