#pragma once

#include <sys/types.h>

namespace tarvo {

// Who may take a connection to 127.0.0.1:<port>: the sockets listening for it
// on 127.0.0.1, on the IPv4 wildcard, or on an IPv6 wildcard or mapped address
// (an IPv6 wildcard counts even when it may be IPv6-only, which cannot always
// be told).
enum class PortOwnership {
  nobody,  // nothing listens
  owned,   // every listener is this user's and open in the owner or a descendant
  foreign, // some listener is another user's, or not found among those processes
  unknown, // the system's tables could not be read
};

// Blocks only on reads of the system's process and socket tables; cheap
// enough to run before every readiness ping. An `owner` of 0 stands for no
// process: any listener is then foreign.
[[nodiscard]] PortOwnership portOwnership(int port, pid_t owner);

// Whether a name reported over the port can be trusted as the owner's:
// ownership is never assumed, so no listener, or anything unreadable, is a no.
[[nodiscard]] inline bool portOwnedBy(pid_t owner, int port) {
  return portOwnership(port, owner) == PortOwnership::owned;
}

} // namespace tarvo
