// Linux: the keeper is the family's subreaper, and the family is read from
// /proc (each process's parent in /proc/<pid>/stat). A process is signalled
// through a pidfd opened before its parent is read again, so that a process
// id freed and taken by a stranger in between is never signalled.
#include "keeper/Family.h"

#include "supervisor/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace tarvo::keeper {
namespace {

// "PID (COMMAND) STATE PARENT ...": the command is at most 64 bytes and may
// hold any character, so the parent is read after its last ')'.
std::optional<pid_t> parentOf(pid_t pid) {
  std::array<char, 64> path{};
  (void)std::snprintf(path.data(), path.size(), "/proc/%d/stat", static_cast<int>(pid));
  const UniqueFd fd(::open(path.data(), O_RDONLY | O_CLOEXEC));
  std::array<char, 512> text{};
  const ssize_t got = fd ? ::read(fd.get(), text.data(), text.size()) : -1;
  if (got <= 0) {
    return std::nullopt;
  }
  const std::string_view stat(text.data(), static_cast<std::size_t>(got));
  const std::size_t close = stat.rfind(')');
  if (close == std::string_view::npos || close + 4 >= stat.size()) {
    return std::nullopt;
  }
  const std::string_view rest = stat.substr(close + 4); // past ") S "
  pid_t parent = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
  if (error != std::errc() || end == rest.data()) {
    return std::nullopt;
  }
  return parent;
}

// Every process below `root`, each after its parent.
std::vector<pid_t> below(pid_t root) {
  std::vector<std::pair<pid_t, pid_t>> all; // (process, parent)
  if (DIR* proc = ::opendir("/proc")) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): only the keeper's main thread reads /proc
    while (const dirent* entry = ::readdir(proc)) {
      pid_t pid = 0;
      const std::string_view name(entry->d_name);
      auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
      if (error != std::errc() || end != name.data() + name.size() || pid <= 0) {
        continue;
      }
      if (auto parent = parentOf(pid)) {
        all.emplace_back(pid, *parent);
      }
    }
    ::closedir(proc);
  }
  std::vector<pid_t> found;
  std::set<pid_t> inFamily = {root};
  for (std::size_t added = 1; added > 0;) {
    added = 0;
    for (const auto& [pid, parent] : all) {
      if (inFamily.count(parent) != 0 && inFamily.insert(pid).second) {
        found.push_back(pid);
        ++added;
      }
    }
  }
  return found;
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

void send(const UniqueFd& pidfd, pid_t pid, int number) {
#ifdef SYS_pidfd_send_signal
  if (pidfd && ::syscall(SYS_pidfd_send_signal, pidfd.get(), number, nullptr, 0) == 0) {
    return;
  }
  if (pidfd && errno != ENOSYS) {
    return; // it has ended
  }
#endif
  ::kill(pid, number);
}

} // namespace

bool Family::adoptOrphans() {
  return ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

int Family::signalAll(std::initializer_list<int> numbers) {
  const pid_t self = ::getpid();
  const std::vector<pid_t> members = below(self);
  std::set<pid_t> family(members.begin(), members.end());
  family.insert(self);
  int reached = 0;
  for (const pid_t member : members) {
    const UniqueFd pidfd(openPidfd(member));
    if (!pidfd && errno != ENOSYS) {
      continue; // gone already
    }
    // Still below us now that it is held: the process id names the member.
    const auto parent = parentOf(member);
    if (!parent || family.count(*parent) == 0) {
      continue;
    }
    for (const int number : numbers) {
      send(pidfd, member, number);
    }
    ++reached;
  }
  return reached;
}

} // namespace tarvo::keeper
