// Authenticated calls to the backend's guarded endpoints.
#include "protocol/Replies.h"
#include "supervisor/HttpSession.h"
#include "supervisor/Service.h"

#include <nlohmann/json.hpp>

namespace tarvo {

namespace {

// Compact JSON of the body; nothing when it cannot be written (it is then
// sent without a body). Invalid UTF-8 in a string is replaced, not fatal.
std::optional<std::string> serialise(const nlohmann::json& body) {
  if (!body.is_object()) {
    return std::nullopt;
  }
  try {
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  } catch (...) {
    return std::nullopt;
  }
}

} // namespace

void Service::post(Route route, const nlohmann::json& body, Done done) const {
  auto report = [&done](bool ok, std::optional<std::string> message) {
    if (done) {
      done(ok, std::move(message));
    }
  };
  HttpRequest request;
  request.url = base() + std::string(rawValue(route));
  if (!HttpSession::parsesAsUrl(request.url)) {
    report(false, "bad address");
    return;
  }
  const std::string currentToken = token();
  if (currentToken.empty()) {
    report(false, "This install has no token yet; restart Tarvo Studio.");
    return;
  }
  request.method = "POST";
  request.timeout = 60;
  request.headers = {"Content-Type: application/json", "X-Studio-Token: " + currentToken};
  request.body = serialise(body);

  // The completion holds the main queue itself, not the Service: `done` is
  // owed its one call even when the Service is gone by then.
  session_->send(std::move(request),
                 [queue = mainQueue_, done = std::move(done)](const HttpReply& reply) mutable {
                   protocol::PostOutcome outcome = protocol::outcomeOf(protocol::readPost(reply));
                   auto deliver = [done = std::move(done), outcome = std::move(outcome)]() mutable {
                     if (done) {
                       done(outcome.ok, std::move(outcome.message));
                     }
                   };
                   if (queue) {
                     queue->post(std::move(deliver));
                   } else {
                     deliver();
                   }
                 });
}

} // namespace tarvo
