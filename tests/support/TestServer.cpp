#include "support/TestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <list>

namespace tarvo::test {

namespace {

std::string lowerCase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

bool sendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) {
      continue;
    }
    if (sent <= 0) {
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// The request at the start of `input` once all of it has arrived.
std::optional<SeenRequest> parseRequest(const std::string& input) {
  const std::size_t headEnd = input.find("\r\n\r\n");
  if (headEnd == std::string::npos) {
    return std::nullopt;
  }
  SeenRequest request;
  std::string_view head(input.data(), headEnd);
  const std::size_t lineEnd = std::min(head.find("\r\n"), head.size());
  const std::string_view line = head.substr(0, lineEnd);
  const std::size_t firstSpace = line.find(' ');
  const std::size_t secondSpace = line.find(' ', firstSpace + 1);
  request.method = std::string(line.substr(0, firstSpace));
  if (firstSpace != std::string_view::npos) {
    request.target = std::string(line.substr(firstSpace + 1, secondSpace - firstSpace - 1));
  }
  std::size_t length = 0;
  for (std::size_t at = lineEnd; at < head.size();) {
    const std::size_t start = at + 2;
    const std::size_t end = std::min(head.find("\r\n", start), head.size());
    const std::string_view field = head.substr(start, end - start);
    const std::size_t colon = field.find(':');
    if (colon != std::string_view::npos) {
      std::string fieldName = lowerCase(field.substr(0, colon));
      std::string value(trimmed(field.substr(colon + 1)));
      if (fieldName == "content-length") {
        length = std::stoul(value);
      }
      request.headers.emplace_back(std::move(fieldName), std::move(value));
    }
    at = end;
  }
  if (input.size() < headEnd + 4 + length) {
    return std::nullopt;
  }
  request.body = input.substr(headEnd + 4, length);
  return request;
}

} // namespace

std::optional<std::string> SeenRequest::header(std::string_view name) const {
  const std::string wanted = lowerCase(name);
  for (const auto& [fieldName, value] : headers) {
    if (fieldName == wanted) {
      return value;
    }
  }
  return std::nullopt;
}

struct TestServer::Connection {
  int fd = -1;
  std::string input;
  bool read = false; // the whole request has arrived
};

TestServer::TestServer(std::string raw, std::uint16_t port)
    : kind_(Kind::answer), raw_(std::move(raw)) {
  open(port);
}

TestServer::TestServer(Silent /*unused*/, std::uint16_t port) : kind_(Kind::silent) {
  open(port);
}

TestServer::TestServer(Streaming body, std::uint16_t port)
    : kind_(Kind::streaming), streamBytes_(body.bytes) {
  open(port);
}

TestServer::~TestServer() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
  }
  if (wakeFds_[1] >= 0) {
    const char byte = 's';
    (void)!::write(wakeFds_[1], &byte, 1);
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  for (int fd : {listenFd_, wakeFds_[0], wakeFds_[1]}) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
}

std::string TestServer::reply(int status, std::string_view body, std::string_view contentType) {
  std::string raw = "HTTP/1.1 " + std::to_string(status) + " Test\r\n";
  if (!contentType.empty()) {
    raw += "Content-Type: " + std::string(contentType) + "\r\n";
  }
  raw += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  raw += body;
  return raw;
}

void TestServer::open(std::uint16_t port) {
  if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return;
  }
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Another test's server may still be letting go of the port.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      if (::listen(fd, 64) == 0) {
        listenFd_ = fd;
        thread_ = std::thread([this] { run(); });
        return;
      }
      break;
    }
    if (errno != EADDRINUSE) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::close(fd);
}

void TestServer::run() {
  std::list<Connection> connections;
  for (;;) {
    std::vector<pollfd> watched{{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
    for (const Connection& connection : connections) {
      watched.push_back({connection.fd, POLLIN, 0});
    }
    if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) {
      break;
    }
    if (watched[0].revents != 0) {
      char drained[64];
      while (::read(wakeFds_[0], drained, sizeof drained) > 0) {
      }
      std::lock_guard guard(mutex_);
      if (stopping_) {
        break;
      }
    }
    if (watched[1].revents != 0) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        timeval limit{5, 0}; // a client that stops reading cannot stall the server
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        connections.push_back({fd, {}, false});
      }
    }
    std::size_t index = 2;
    for (auto it = connections.begin(); it != connections.end(); ++index) {
      const bool ready = index < watched.size() && watched[index].revents != 0;
      if (ready && !readRequest(*it)) {
        ::close(it->fd);
        it = connections.erase(it);
        continue;
      }
      if (it->read) {
        serve(*it); // closes the connection once it is answered
      }
      it = it->fd < 0 ? connections.erase(it) : std::next(it);
    }
  }
  for (const Connection& connection : connections) {
    ::close(connection.fd);
  }
}

// False when the client has gone.
bool TestServer::readRequest(Connection& connection) {
  char buffer[65536];
  const ssize_t got = ::recv(connection.fd, buffer, sizeof buffer, 0);
  if (got <= 0) {
    return got < 0 && errno == EINTR;
  }
  if (connection.read) {
    return true; // a held connection's extra bytes are ignored
  }
  connection.input.append(buffer, static_cast<std::size_t>(got));
  if (std::optional<SeenRequest> request = parseRequest(connection.input)) {
    connection.read = true;
    {
      std::lock_guard guard(mutex_);
      requests_.push_back(std::move(*request));
    }
    seen_.notify_all();
  }
  return true;
}

void TestServer::serve(Connection& connection) {
  if (kind_ == Kind::streaming) {
    stream(connection.fd);
  } else {
    std::optional<std::string> raw;
    {
      std::lock_guard guard(mutex_);
      raw = raw_;
    }
    if (!raw) {
      return; // silent: hold the connection
    }
    sendAll(connection.fd, *raw);
  }
  ::shutdown(connection.fd, SHUT_WR);
  ::close(connection.fd);
  connection.fd = -1;
}

void TestServer::stream(int fd) const {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                           "Content-Length: " +
                           std::to_string(streamBytes_) + "\r\nConnection: close\r\n\r\n";
  if (!sendAll(fd, head)) {
    return;
  }
  const std::string chunk(std::size_t{64} * 1024, 'x');
  for (std::uint64_t left = streamBytes_; left > 0;) {
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    if (!sendAll(fd, std::string_view(chunk).substr(0, size))) {
      return; // the client hung up
    }
    left -= size;
  }
}

std::vector<SeenRequest> TestServer::requests() const {
  std::lock_guard guard(mutex_);
  return requests_;
}

std::size_t TestServer::requestCount() const {
  std::lock_guard guard(mutex_);
  return requests_.size();
}

bool TestServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock guard(mutex_);
  return seen_.wait_for(guard, limit, [&] { return requests_.size() >= count; });
}

void TestServer::answerHeld(std::string raw) {
  {
    std::lock_guard guard(mutex_);
    raw_ = std::move(raw);
  }
  const char byte = 'a';
  (void)!::write(wakeFds_[1], &byte, 1);
}

} // namespace tarvo::test
