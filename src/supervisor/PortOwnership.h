#pragma once

#include <sys/types.h>

namespace tarvo {

// Whether a connection to 127.0.0.1:`port` can reach only the process `owner`
// or its descendants: true when every socket listening for such a connection
// (on 127.0.0.1, on the IPv4 wildcard, or on an IPv6 wildcard or mapped
// address that may take IPv4 too) belongs to this user and is open in one of
// those processes. Ownership is never assumed: no listener at all, more
// listeners or processes than it examines, or anything it cannot read, is a
// no. A name reported over the port is worth trusting only while this holds.
//
// Blocks only on reads of the operating system's process tables; cheap
// enough to run before every readiness ping.
[[nodiscard]] bool portOwnedBy(pid_t owner, int port);

} // namespace tarvo
