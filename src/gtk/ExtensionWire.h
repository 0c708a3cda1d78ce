#pragma once

namespace tarvo::gtk {

// What the web process extension and the web view say to each other. The
// extension gives each frame the page API
// window.webkit.messageHandlers.<handlerName>.postMessage(body) and, for each
// post, sends the view a user message named `messageName` whose parameters
// have the type `messageType`: main frame or not, the frame's address, and
// the body as JSON ("" when the page posted nothing).
//
// The other way, the application tells every web process which port the
// backend listens on and whether the page may reach it: a user message named
// `gateName` of type `gateType` (the port, open or not), and the same value
// as the initialization data of each new web process. A web process that has
// not heard (or heard something malformed) refuses the page's web requests.
struct ExtensionWire {
  static constexpr const char* handlerName = "studio";
  static constexpr const char* messageName = "studio-message";
  static constexpr const char* messageType = "(bss)";
  // The same, read with g_variant_get, the strings borrowed from the message.
  static constexpr const char* messageFields = "(b&s&s)";

  static constexpr const char* gateName = "studio-gate";
  static constexpr const char* gateType = "(ib)";
};

} // namespace tarvo::gtk
