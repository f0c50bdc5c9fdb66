#pragma once
// TCP on loopback for the tests that start a server (POSIX): a port free now, and whether
// something listens on a port.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace np::test {

// A port that nothing listens on now (0 when none could be had).
inline int freeLoopbackPortNow() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  int port = 0;
  if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0)
    port = ntohs(a.sin_port);
  if (s >= 0) ::close(s);
  return port;
}

inline bool acceptsOnLoopback(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool up = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (s >= 0) ::close(s);
  return up;
}

}  // namespace np::test
