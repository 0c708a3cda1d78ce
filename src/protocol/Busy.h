#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::protocol {

// What the backend says it has in flight.
struct Busy {
  std::int64_t running = 0;
  std::int64_t pending = 0;
  std::int64_t chats = 0;
  std::vector<std::string> names; // the tools of `running`, then of `pending`
};

} // namespace tarvo::protocol
