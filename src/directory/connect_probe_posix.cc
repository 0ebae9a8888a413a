// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "directory/connect_probe.h"

namespace tavrel::ldap {

namespace {

constexpr int kProbeMilliseconds = 5000;

/// 0 when connected, otherwise the errno of the attempt.
int connectOnce(const addrinfo& address) {
  int fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                  address.ai_protocol);
  if (fd < 0) return errno;
  int error = 0;
  if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd waiting{fd, POLLOUT, 0};
      int ready = poll(&waiting, 1, kProbeMilliseconds);
      socklen_t size = sizeof(error);
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        error = errno;
      }
    }
  }
  close(fd);
  return error;
}

}  // namespace

ConnectFinding probeConnection(const std::string& name, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (int code = getaddrinfo(name.c_str(), service.c_str(), &hints, &found); code != 0) {
    return {ConnectFinding::Kind::kUnresolved,
            code == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(code)};
  }
  // Any address that takes the connection counts; otherwise the first address's error
  // speaks, unless another one refused (then something listens on the machine's other name).
  ConnectFinding finding{ConnectFinding::Kind::kUnreachable, {}};
  for (const addrinfo* address = found; address != nullptr; address = address->ai_next) {
    int error = connectOnce(*address);
    if (error == 0) {
      finding = {ConnectFinding::Kind::kReached, {}};
      break;
    }
    if (error == ECONNREFUSED) {
      finding = {ConnectFinding::Kind::kRefused, std::strerror(error)};
    } else if (finding.reason.empty()) {
      finding.reason = std::strerror(error);
    }
  }
  freeaddrinfo(found);
  return finding;
}

}  // namespace tavrel::ldap
