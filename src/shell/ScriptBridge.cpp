#include "shell/ScriptBridge.h"

#include "protocol/Url.h"
#include "shell/NavigationPolicy.h"

#include <nlohmann/json.hpp>

namespace tarvo {

ScriptVerdict scriptRequest(const platform::ScriptMessage& message) {
  if (!message.fromMainView || !message.mainFrame) {
    return {std::nullopt, "not from the main frame of the application's view"};
  }
  const auto origin = protocol::Url::parse(message.frameURL);
  if (!origin || !NavigationPolicy::isBackendOrigin(*origin)) {
    return {std::nullopt, "not from the service's own page"};
  }
  // The body comes from the page: a parse failure is a value here, never a throw.
  const auto body = nlohmann::json::parse(message.bodyJSON, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    return {std::nullopt, "its body is not an object"};
  }
  const auto type = body.find("type");
  if (type == body.end() || !type->is_string()) {
    return {std::nullopt, "it names no type"};
  }
  const auto& text = type->get_ref<const std::string&>();
  if (text == "openLog") {
    return {ScriptRequest::openLog, {}};
  }
  if (text == "openHome") {
    return {ScriptRequest::openHome, {}};
  }
  if (text == "restartService") {
    return {ScriptRequest::restartService, {}};
  }
  return {std::nullopt, "its type is no request the application knows"};
}

} // namespace tarvo
