#pragma once

// How the replies of the backend are read. Pure functions of the reply, so
// every rule is tested without a server.
#include "protocol/Busy.h"
#include "protocol/HttpSession.h"

#include <optional>
#include <string>

namespace tarvo::protocol {

// The name a server reports in its ping reply. The status is not looked at:
// any reply whose body is a JSON object with a string "name" gives that name.
[[nodiscard]] std::optional<std::string> readPing(const HttpReply& reply);

// What the backend says is in flight; nothing unless the status is exactly
// 200 and the body a JSON object. Fields of the wrong type count as empty.
[[nodiscard]] std::optional<Busy> readBusy(const HttpReply& reply);

// The status of a routed call and the message to show when it failed: the
// reply's string "error", else its string "detail", else the transport
// error's description.
struct PostReply {
  long status = 0;
  std::optional<std::string> message;
};
[[nodiscard]] PostReply readPost(const HttpReply& reply);

// What `done` receives for a routed call that reached the network.
struct PostOutcome {
  bool ok = false;
  std::optional<std::string> message;
};
[[nodiscard]] PostOutcome outcomeOf(const PostReply& reply);

} // namespace tarvo::protocol
