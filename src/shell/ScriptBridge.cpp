#include "shell/ScriptBridge.h"

#include "protocol/Url.h"
#include "shell/NavigationPolicy.h"

#include <nlohmann/json.hpp>

namespace tarvo {

std::optional<ScriptRequest> scriptRequest(const platform::ScriptMessage& message) {
  if (!message.fromMainView || !message.mainFrame) {
    return std::nullopt;
  }
  const auto origin = protocol::Url::parse(message.frameURL);
  if (!origin || !NavigationPolicy::isBackendOrigin(*origin)) {
    return std::nullopt;
  }
  // The body comes from the page: a parse failure is a value here, never a throw.
  const auto body = nlohmann::json::parse(message.bodyJSON, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    return std::nullopt;
  }
  const auto type = body.find("type");
  if (type == body.end() || !type->is_string()) {
    return std::nullopt;
  }
  const auto& text = type->get_ref<const std::string&>();
  if (text == "openLog") {
    return ScriptRequest::openLog;
  }
  if (text == "openHome") {
    return ScriptRequest::openHome;
  }
  if (text == "restartService") {
    return ScriptRequest::restartService;
  }
  return std::nullopt;
}

} // namespace tarvo
