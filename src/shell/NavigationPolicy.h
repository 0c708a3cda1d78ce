#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// The parts of a web address that say where a web engine sends it, read by
// the rules the engine itself follows (the WHATWG URL standard), so that a
// decision taken on them cannot be fooled by an address the engine reads
// differently.
struct WebAddress {
  std::string scheme;      // lower case
  std::string host;        // http(s) only: percent-decoded, ASCII lower case
  std::optional<int> port; // http(s) only: absent when the address names none
  bool twoSlashes = false; // the host follows "scheme:" and two slashes, so no
                           // base address can turn it into a relative path
  [[nodiscard]] int effectivePort() const;
};

// Absent when the text has no scheme, or when an http or https address is
// malformed in a way the engine refuses (no host, a bad port, a forbidden
// character in the host, a bad IPv4 or IPv6 literal). Other schemes are read
// no further than their name.
[[nodiscard]] std::optional<WebAddress> parseWebAddress(std::string_view url);

// The backend's own origin: http, host exactly 127.0.0.1, port 7810.
[[nodiscard]] bool isBackendOrigin(const WebAddress& address);

enum class NavigationDecision { allow, openInBrowser, cancel };

// Stay in the view on the backend's origin; hand other web addresses to the
// user's browser; refuse everything else without opening anything.
[[nodiscard]] NavigationDecision decideNavigation(std::string_view url);

} // namespace tarvo
