#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::protocol {

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::string> headers; // "Name: value"
  std::optional<std::string> body;
  double timeout = 30.0; // seconds, for the whole request
};

struct HttpReply {
  long status = 0;                  // 0 unless a whole HTTP reply arrived
  std::optional<std::string> body;  // present when the whole reply arrived (may be empty)
  std::optional<std::string> error; // the transport error's description
};

// One HTTP client for every request to the backend: no proxy whatever the
// environment says, no cookies, nothing stored, reply bodies capped. Its own
// thread runs every completion, one at a time (the serial callback queue).
// A request is never cancelled because its caller stopped waiting; it runs
// to its own time-out.
class HttpSession {
public:
  static constexpr std::size_t maxBody = std::size_t{1024} * 1024;
  static constexpr double defaultTimeout = 30.0;

  HttpSession();
  ~HttpSession(); // finishes or abandons what is in flight and joins its thread
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  using Completion = std::function<void(HttpReply)>;
  void send(HttpRequest request, Completion done);

  // True on the session's own thread; a blocking request must never wait there.
  [[nodiscard]] bool onSessionThread() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace tarvo::protocol
