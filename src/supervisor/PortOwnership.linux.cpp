// Ownership of a loopback port, read from /proc: the listening sockets come
// from /proc/net/tcp and tcp6 (state, owner uid, inode), the process tree
// from the children files or from every process's parent, and the sockets a
// process holds from the links in /proc/<pid>/fd. Everything is read through
// fixed buffers: this runs before every readiness ping.
#include "supervisor/PortOwnership.h"
#include "supervisor/FieldReader.h"
#include "supervisor/UniqueFd.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tarvo {

namespace {

// Bounds on one check's work. More listeners than this count as foreign;
// processes and descriptors past these are not searched, so a listener held
// only there is not found.
constexpr std::size_t maxListeners = 32;
constexpr std::size_t maxProcesses = 256;
constexpr std::size_t maxDescriptors = 65536;

constexpr std::string_view listenState = "0A";

// Paths under /proc built here name processes and threads by number only, so
// they always fit.
using ProcPath = std::array<char, 64>;

template <typename Number> bool parse(std::string_view text, Number& value, int base = 10) {
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(text.data(), last, value, base);
  return error == std::errc() && end == last && !text.empty();
}

// An address word as /proc/net/tcp prints it: the network-order bytes read
// as one native integer.
constexpr std::uint32_t printed(std::uint32_t hostOrder) {
  if constexpr (std::endian::native == std::endian::big) {
    return hostOrder;
  }
  return ((hostOrder & 0xFFU) << 24U) | ((hostOrder & 0xFF00U) << 8U) |
         ((hostOrder >> 8U) & 0xFF00U) | (hostOrder >> 24U);
}

constexpr std::uint32_t loopback = 0x7F000001;
constexpr std::uint32_t mappedPrefix = 0xFFFF;

// Local addresses, as words, on which a listener can take a connection to
// 127.0.0.1. An IPv6 wildcard is counted even when it may be IPv6-only: /proc
// cannot tell, and a listener is never left out on a guess.
bool takesLoopback4(const std::array<std::uint32_t, 4>& words) {
  return words[0] == printed(loopback) || words[0] == 0;
}

bool takesLoopback6(const std::array<std::uint32_t, 4>& words) {
  if (words[0] != 0 || words[1] != 0) {
    return false;
  }
  if (words[2] == 0) {
    return words[3] == 0; // ::
  }
  return words[2] == printed(mappedPrefix) && (words[3] == printed(loopback) || words[3] == 0);
}

struct Listeners {
  std::array<std::uint64_t, maxListeners> inodes{};
  std::array<bool, maxListeners> seen{};
  std::size_t count = 0;
  std::size_t unseen = 0;
  bool foreign = false; // one that cannot be ours was seen

  void mark(std::uint64_t inode) {
    for (std::size_t index = 0; index < count; ++index) {
      if (inodes[index] == inode && !seen[index]) {
        seen[index] = true;
        --unseen;
      }
    }
  }
};

// Adds the listeners for 127.0.0.1:`port` in one table to `found`, and stops
// at one that is another user's, has no inode, or is one too many. False when
// the table cannot be read in full or a line does not parse.
bool readListeners(const char* table, bool ipv6, int port, uid_t uid, Listeners& found) {
  FieldReader lines(table, '\n');
  if (ipv6 && lines.missing()) {
    return true; // no IPv6 in this kernel, so no listener there
  }
  std::string_view line;
  if (!lines.next(line)) {
    return false; // not even the heading
  }
  const std::size_t addressDigits = ipv6 ? 32 : 8;
  while (lines.next(line)) {
    // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...
    std::array<std::string_view, 10> fields;
    std::size_t filled = 0;
    for (std::size_t at = 0; filled < fields.size();) {
      at = line.find_first_not_of(' ', at);
      if (at == std::string_view::npos) {
        break;
      }
      const std::size_t end = std::min(line.find(' ', at), line.size());
      fields[filled++] = line.substr(at, end - at);
      at = end;
    }
    const std::string_view local = fields[1];
    if (filled < fields.size() || local.size() != addressDigits + 5 ||
        local[addressDigits] != ':') {
      return false;
    }
    int localPort = 0;
    if (!parse(local.substr(addressDigits + 1), localPort, 16)) {
      return false;
    }
    if (fields[3] != listenState || localPort != port) {
      continue;
    }
    std::array<std::uint32_t, 4> words{};
    for (std::size_t word = 0; word < addressDigits / 8; ++word) {
      if (!parse(local.substr(word * 8, 8), words[word], 16)) {
        return false;
      }
    }
    if (!(ipv6 ? takesLoopback6(words) : takesLoopback4(words))) {
      continue;
    }
    uid_t owner = 0;
    std::uint64_t inode = 0;
    if (!parse(fields[7], owner) || !parse(fields[9], inode)) {
      return false;
    }
    if (owner != uid || inode == 0 || found.count == maxListeners) {
      found.foreign = true;
      return true;
    }
    found.inodes[found.count++] = inode;
    ++found.unseen;
  }
  return !lines.failed();
}

struct Tree {
  std::array<pid_t, maxProcesses> pids{};
  std::size_t count = 0;
  bool full = false;

  [[nodiscard]] bool has(pid_t pid) const {
    return std::find(pids.begin(), pids.begin() + static_cast<std::ptrdiff_t>(count), pid) !=
           pids.begin() + static_cast<std::ptrdiff_t>(count);
  }
  bool add(pid_t pid) {
    if (count == pids.size()) {
      full = true;
      return false;
    }
    pids[count++] = pid;
    return true;
  }
};

// Calls `each` with the name of every entry of the open folder `folder`
// other than "." and "..", until it returns false. False when the folder
// cannot be read in full.
template <typename Each> bool forEachEntry(int folder, Each&& each) {
  alignas(dirent64) std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t size = ::getdents64(folder, buffer.data(), buffer.size());
    if (size < 0 && errno == EINTR) {
      continue;
    }
    if (size <= 0) {
      return size == 0;
    }
    for (ssize_t at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
      at += entry->d_reclen;
      const std::string_view name = entry->d_name;
      if (name != "." && name != ".." && !each(name)) {
        return true;
      }
    }
  }
}

bool isNumber(std::string_view name) {
  return !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
}

// The children of every thread of `pid`, from /proc/<pid>/task/*/children.
void addChildrenFromTasks(pid_t pid, Tree& tree) {
  ProcPath path{};
  (void)std::snprintf(path.data(), path.size(), "/proc/%d/task", static_cast<int>(pid));
  const UniqueFd tasks(::open(path.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!tasks) {
    return;
  }
  forEachEntry(tasks.get(), [&](std::string_view task) {
    if (!isNumber(task)) {
      return true;
    }
    (void)std::snprintf(path.data(), path.size(), "/proc/%d/task/%.*s/children",
                        static_cast<int>(pid), static_cast<int>(task.size()), task.data());
    FieldReader children(path.data(), ' ');
    std::string_view field;
    pid_t child = 0;
    while (children.next(field)) {
      if (parse(field, child) && !tree.has(child) && !tree.add(child)) {
        return false;
      }
    }
    return true;
  });
}

// The parent of `pid` from /proc/<pid>/stat, or 0. The name in parentheses
// may hold anything, so the fields are read after its last ')'.
pid_t parentOf(int proc, std::string_view pid) {
  ProcPath path{};
  (void)std::snprintf(path.data(), path.size(), "%.*s/stat", static_cast<int>(pid.size()),
                      pid.data());
  const UniqueFd stat(::openat(proc, path.data(), O_RDONLY | O_CLOEXEC));
  std::array<char, 256> text{};
  const ssize_t size = stat ? ::read(stat.get(), text.data(), text.size()) : -1;
  if (size <= 0) {
    return 0;
  }
  const std::string_view line(text.data(), static_cast<std::size_t>(size));
  const std::size_t close = line.rfind(')');
  if (close == std::string_view::npos || close + 4 >= line.size()) {
    return 0;
  }
  // ") S 1234 ..."
  std::string_view rest = line.substr(close + 4);
  rest = rest.substr(0, rest.find(' '));
  pid_t parent = 0;
  return parse(rest, parent) ? parent : 0;
}

// Every descendant, by passes over /proc/*/stat until one adds nobody; for
// kernels without children files.
void addDescendantsFromParents(Tree& tree) {
  const UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  bool grew = proc.valid();
  while (grew && !tree.full) {
    grew = false;
    if (::lseek(proc.get(), 0, SEEK_SET) != 0) {
      break;
    }
    forEachEntry(proc.get(), [&](std::string_view name) {
      pid_t pid = 0;
      if (!parse(name, pid) || tree.has(pid) || !tree.has(parentOf(proc.get(), name))) {
        return true;
      }
      grew = tree.add(pid);
      return grew;
    });
  }
}

bool childrenFilesExist() {
  static const bool exist = ::access("/proc/thread-self/children", R_OK) == 0;
  return exist;
}

// Marks the listeners whose sockets `pid` holds; false once the descriptor
// budget is spent.
bool markHeldSockets(pid_t pid, Listeners& listeners, std::size_t& budget) {
  ProcPath path{};
  (void)std::snprintf(path.data(), path.size(), "/proc/%d/fd", static_cast<int>(pid));
  const UniqueFd descriptors(::open(path.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!descriptors) {
    return true; // gone, or not ours to look into: it holds nothing we can count
  }
  constexpr std::string_view prefix = "socket:[";
  forEachEntry(descriptors.get(), [&](std::string_view name) {
    if (budget == 0) {
      return false;
    }
    --budget;
    std::array<char, 64> target{};
    const ssize_t size = ::readlinkat(descriptors.get(), name.data(), target.data(), target.size());
    const std::string_view link(target.data(), size > 0 ? static_cast<std::size_t>(size) : 0);
    std::uint64_t inode = 0;
    if (link.starts_with(prefix) && link.ends_with(']') &&
        parse(link.substr(prefix.size(), link.size() - prefix.size() - 1), inode)) {
      listeners.mark(inode);
    }
    return listeners.unseen > 0;
  });
  return budget > 0;
}

} // namespace

PortOwnership portOwnership(int port, pid_t owner) {
  if (port <= 0 || port > 65535) {
    return PortOwnership::unknown;
  }
  Listeners listeners;
  const uid_t uid = ::geteuid();
  if (!readListeners("/proc/net/tcp", false, port, uid, listeners) ||
      (!listeners.foreign && !readListeners("/proc/net/tcp6", true, port, uid, listeners))) {
    return PortOwnership::unknown;
  }
  if (listeners.foreign) {
    return PortOwnership::foreign;
  }
  if (listeners.count == 0) {
    return PortOwnership::nobody;
  }
  if (owner <= 0) {
    return PortOwnership::foreign;
  }

  // The backend itself normally holds its socket: look there before walking
  // the tree.
  std::size_t budget = maxDescriptors;
  if (markHeldSockets(owner, listeners, budget) && listeners.unseen > 0) {
    Tree tree;
    tree.add(owner);
    if (childrenFilesExist()) {
      for (std::size_t index = 0; index < tree.count && !tree.full; ++index) {
        addChildrenFromTasks(tree.pids[index], tree);
      }
    } else {
      addDescendantsFromParents(tree);
    }
    for (std::size_t index = 1; index < tree.count; ++index) {
      if (!markHeldSockets(tree.pids[index], listeners, budget) || listeners.unseen == 0) {
        break;
      }
    }
  }
  return listeners.unseen == 0 ? PortOwnership::owned : PortOwnership::foreign;
}

} // namespace tarvo
