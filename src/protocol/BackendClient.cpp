#include "protocol/BackendClient.h"

#include "protocol/HttpSession.h"
#include "protocol/ReplySlot.h"
#include "protocol/Url.h"
#include "protocol/Wire.h"

#include <nlohmann/json.hpp>

#include <utility>

namespace tarvo::protocol {

namespace {

std::string tokenLine(const std::string& token) {
  return std::string(wire::tokenHeader) + ": " + token;
}

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

BackendClient::BackendClient(std::string base, TokenSource token)
    : base_(std::move(base)), token_(std::move(token)), session_(std::make_unique<HttpSession>()) {}

BackendClient::~BackendClient() = default;

std::optional<std::string> BackendClient::pingName(double timeout) const {
  // Waiting on the thread that runs the completions would wait for nothing.
  if (session_->onSessionThread()) {
    return std::nullopt;
  }
  HttpRequest request;
  request.url = base_ + std::string(wire::pingPath);
  if (!Url::isSendable(request.url)) {
    return std::nullopt;
  }
  request.timeout = timeout;

  auto slot = std::make_shared<ReplySlot<std::string>>();
  session_->send(std::move(request),
                 [slot](const HttpReply& reply) { slot->fill(readPing(reply)); });
  return slot->waitFor(timeout + 0.5);
}

std::optional<Busy> BackendClient::busy(double timeout) const {
  if (session_->onSessionThread()) {
    return std::nullopt;
  }
  const std::string token = token_();
  if (token.empty()) {
    return std::nullopt;
  }
  HttpRequest request;
  request.url = base_ + std::string(wire::busyPath);
  if (!Url::isSendable(request.url)) {
    return std::nullopt;
  }
  request.headers.push_back(tokenLine(token));
  request.timeout = timeout;

  auto slot = std::make_shared<ReplySlot<Busy>>();
  session_->send(std::move(request),
                 [slot](const HttpReply& reply) { slot->fill(readBusy(reply)); });
  return slot->waitFor(timeout + 0.5);
}

std::optional<PostOutcome> BackendClient::post(Route route, const nlohmann::json& body,
                                               PostCompletion done) const {
  HttpRequest request;
  request.url = base_ + std::string(rawValue(route));
  if (!Url::isSendable(request.url)) {
    return PostOutcome{false, "bad address"};
  }
  const std::string token = token_();
  if (token.empty()) {
    return PostOutcome{false, "This install has no token yet; restart Tarvo Studio."};
  }
  request.method = "POST";
  request.timeout = 60;
  request.headers = {"Content-Type: application/json", tokenLine(token)};
  request.body = serialise(body);

  session_->send(std::move(request), [done = std::move(done)](const HttpReply& reply) {
    if (done) {
      done(outcomeOf(readPost(reply)));
    }
  });
  return std::nullopt;
}

} // namespace tarvo::protocol
