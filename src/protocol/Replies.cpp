#include "protocol/Replies.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>

namespace tarvo::protocol {

namespace {

using nlohmann::json;

// The body as a JSON object; nothing for no body, bad JSON or another kind
// of value at the top.
std::optional<json> objectIn(const HttpReply& reply) {
  if (!reply.body) {
    return std::nullopt;
  }
  json value = json::parse(*reply.body, nullptr, false);
  if (!value.is_object()) { // a parse failure is discarded, not an object
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> stringAt(const json& object, const char* key) {
  auto found = object.find(key);
  if (found == object.end() || !found->is_string()) {
    return std::nullopt;
  }
  return found->get<std::string>();
}

// A list counts only when every one of its entries is an object.
const json& listOfObjects(const json& object, const char* key) {
  static const json none = json::array();
  auto found = object.find(key);
  if (found == object.end() || !found->is_array()) {
    return none;
  }
  for (const json& entry : *found) {
    if (!entry.is_object()) {
      return none;
    }
  }
  return *found;
}

// A number with an integral value that fits; 0 for anything else.
std::int64_t integralAt(const json& object, const char* key) {
  auto found = object.find(key);
  if (found == object.end()) {
    return 0;
  }
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    return value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? static_cast<std::int64_t>(value)
               : 0;
  }
  if (found->is_number_integer()) {
    return found->get<std::int64_t>();
  }
  if (found->is_number_float()) {
    const double value = found->get<double>();
    // 2^63 itself is one past the largest int64.
    constexpr double limit = 9223372036854775808.0;
    if (std::isfinite(value) && std::trunc(value) == value && value >= -limit && value < limit) {
      return static_cast<std::int64_t>(value);
    }
  }
  return 0;
}

} // namespace

std::optional<std::string> readPing(const HttpReply& reply) {
  const std::optional<json> object = objectIn(reply);
  if (!object) {
    return std::nullopt;
  }
  return stringAt(*object, "name");
}

std::optional<Busy> readBusy(const HttpReply& reply) {
  if (reply.status != 200) {
    return std::nullopt;
  }
  const std::optional<json> object = objectIn(reply);
  if (!object) {
    return std::nullopt;
  }
  const json& running = listOfObjects(*object, "running");
  const json& pending = listOfObjects(*object, "pending");
  Busy busy;
  busy.running = static_cast<std::int64_t>(running.size());
  busy.pending = static_cast<std::int64_t>(pending.size());
  busy.chats = integralAt(*object, "chats");
  for (const json* list : {&running, &pending}) {
    for (const json& entry : *list) {
      if (std::optional<std::string> tool = stringAt(entry, "tool")) {
        busy.names.push_back(std::move(*tool));
      }
    }
  }
  return busy;
}

PostReply readPost(const HttpReply& reply) {
  PostReply result;
  result.status = reply.status;
  result.message = reply.error;
  if (const std::optional<json> object = objectIn(reply)) {
    if (std::optional<std::string> error = stringAt(*object, "error")) {
      result.message = std::move(error);
    } else if (std::optional<std::string> detail = stringAt(*object, "detail")) {
      result.message = std::move(detail);
    }
  }
  return result;
}

PostOutcome outcomeOf(const PostReply& reply) {
  if (reply.status == 200) {
    return {true, std::nullopt};
  }
  return {false, reply.message.value_or("the service did not answer")};
}

} // namespace tarvo::protocol
