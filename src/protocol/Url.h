#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::protocol {

// A web address read by the rules a web engine follows (the WHATWG URL
// standard), so that a judgement made on its parts cannot be fooled by an
// address the engine reads differently.
class Url {
public:
  // Absent when the text has no scheme, or when an http or https address is
  // malformed in a way the engine refuses (no host, a bad port, a forbidden
  // character in the host, a bad IPv4 or IPv6 literal). Other schemes are
  // read no further than their name and a fragment.
  [[nodiscard]] static std::optional<Url> parse(std::string_view text);

  // An http(s) address that can be sent as it stands: readable, and without
  // a space or control character that a client would have to refuse or
  // escape on its own.
  [[nodiscard]] static bool isSendable(std::string_view text);

  [[nodiscard]] const std::string& scheme() const { return scheme_; } // lower case
  [[nodiscard]] bool isWeb() const { return scheme_ == "http" || scheme_ == "https"; }
  // http(s) only: percent-decoded, ASCII lower case.
  [[nodiscard]] const std::string& host() const { return host_; }
  // http(s) only: absent when the address names none.
  [[nodiscard]] std::optional<int> port() const { return port_; }
  // The port, or the scheme's own when the address names none.
  [[nodiscard]] int effectivePort() const;
  // The host follows "scheme:" and two slashes, so no base address can turn
  // it into a relative path.
  [[nodiscard]] bool twoSlashes() const { return twoSlashes_; }

private:
  Url() = default;

  std::string scheme_;
  std::string host_;
  std::optional<int> port_;
  bool twoSlashes_ = false;
};

} // namespace tarvo::protocol
