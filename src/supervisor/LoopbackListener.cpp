#include "supervisor/LoopbackListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace tarvo {

LoopbackListener::Result LoopbackListener::open(int port) {
#ifdef SOCK_CLOEXEC
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
#else
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM, 0));
  if (socket && ::fcntl(socket.get(), F_SETFD, FD_CLOEXEC) != 0) {
    return {{}, errno};
  }
#endif
  if (!socket) {
    return {{}, errno};
  }
  const int on = 1;
  if (::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    return {{}, errno};
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's own type
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.get(), SOMAXCONN) != 0) {
    return {{}, errno};
  }
  return {std::move(socket), 0};
}

} // namespace tarvo
