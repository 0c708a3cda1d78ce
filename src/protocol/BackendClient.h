#pragma once

#include "protocol/Busy.h"
#include "protocol/Replies.h"
#include "protocol/Route.h"

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarvo::protocol {

class HttpSession;

// Speaks the backend's HTTP interface through one session of its own: the
// health ping, the busy query and the routed calls. The owner says where the
// backend is and how to read the install token, which is read afresh for
// every request that carries it.
class BackendClient {
public:
  using TokenSource = std::function<std::string()>;
  // Runs on the session's thread once a routed call has ended.
  using PostCompletion = std::function<void(PostOutcome)>;

  BackendClient(std::string base, TokenSource token);
  ~BackendClient();
  BackendClient(const BackendClient&) = delete;
  BackendClient& operator=(const BackendClient&) = delete;

  // The name the server reports, or nothing when nothing answers in time.
  // Blocks for at most `timeout` plus half a second.
  [[nodiscard]] std::optional<std::string> pingName(double timeout) const;

  // What is in flight; nothing when there is no token or no usable answer.
  // Blocks for at most `timeout` plus half a second.
  [[nodiscard]] std::optional<Busy> busy(double timeout) const;

  // Sends an authenticated call and returns nothing; `done` runs later on
  // the session's thread. When the call is refused before anything is sent
  // (bad address, no token), returns the refusal and never runs `done`.
  [[nodiscard]] std::optional<PostOutcome> post(Route route, const nlohmann::json& body,
                                                PostCompletion done) const;

  [[nodiscard]] HttpSession& session() const { return *session_; }

private:
  std::string base_;
  TokenSource token_;
  std::unique_ptr<HttpSession> session_;
};

} // namespace tarvo::protocol
