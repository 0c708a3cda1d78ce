#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tarvo::test {

// One request as the server read it. Header names are kept in lower case.
struct SeenRequest {
  std::string method;
  std::string target; // "/api/ping"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The value of the first header of that name (any case), if sent.
  [[nodiscard]] std::optional<std::string> header(std::string_view name) const;
};

// A real HTTP server on 127.0.0.1 (port 7810 unless told otherwise) that
// misbehaves on purpose. It runs on a thread of its own from construction to
// destruction and records every request it reads. Hold a PortLock while it
// runs.
//
//   PortLock portLock;
//   TestServer server(TestServer::reply(500, R"({"name":"tarvo-studio"})"));
//   ... run the client ...
//   EXPECT_EQ(server.requests().at(0).target, "/api/ping");
//
// Kinds of behaviour:
//   TestServer(raw)           answers every request with `raw` exactly as
//                             given (status line, headers, body), then closes.
//   TestServer(silent)        reads every request and never answers, until
//                             answerHeld(raw) answers those held and later ones.
//   TestServer(streaming(n))  answers 200 with a body of n bytes, written as
//                             fast as the client reads, until it hangs up.
class TestServer {
public:
  struct Silent {};
  static constexpr Silent silent{};
  struct Streaming {
    std::uint64_t bytes;
  };
  static Streaming streaming(std::uint64_t bytes) { return {bytes}; }

  explicit TestServer(std::string raw, std::uint16_t port = 7810);
  explicit TestServer(Silent, std::uint16_t port = 7810);
  explicit TestServer(Streaming body, std::uint16_t port = 7810);
  ~TestServer(); // closes every connection and joins its thread
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // A complete raw response with Content-Length and "Connection: close".
  static std::string reply(int status, std::string_view body,
                           std::string_view contentType = "application/json");

  // False when the port could not be bound; the tests then fail early.
  [[nodiscard]] bool listening() const { return listenFd_ >= 0; }
  [[nodiscard]] std::vector<SeenRequest> requests() const;
  [[nodiscard]] std::size_t requestCount() const;
  // Real time: true once `count` requests have been read.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;
  // A silent server answers the requests it holds, and every later one, with raw.
  void answerHeld(std::string raw);

private:
  struct Connection;
  void open(std::uint16_t port);
  void run();
  void serve(Connection& connection);
  bool readRequest(Connection& connection);
  void stream(int fd) const;

  enum class Kind { answer, silent, streaming } kind_;
  std::uint64_t streamBytes_ = 0;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable seen_;
  std::optional<std::string> raw_; // guarded by mutex_; nothing while silent
  bool stopping_ = false;          // guarded by mutex_
  std::vector<SeenRequest> requests_;
};

} // namespace tarvo::test
