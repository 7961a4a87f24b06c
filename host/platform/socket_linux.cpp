#include "platform/socket.h"

#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "base/status.h"

namespace orvane {

int LastSocketError() {
  return errno;
}

bool IsListenerClosedError(int error) {
  return error == EINTR || error == EBADF || error == EINVAL || error == ENOTSOCK;
}

bool IsAddressTakenError(int error) {
  return error == EADDRINUSE;
}

void InterruptSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) {
    shutdown(socket, SHUT_RDWR);
  }
}

void CloseSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) {
    close(socket);
  }
}

void SetSocketOption(SocketHandle socket, int level, int option, int value) {
  setsockopt(socket, level, option, &value, sizeof(value));
}

void ClaimPortExclusively(SocketHandle socket) {
  // Linux never lets a second socket bind beside a listener; SO_REUSEADDR only lets a new
  // listener take a port whose earlier connections linger in TIME_WAIT. On a datagram
  // socket it would let another socket share the port, so it stays off there.
  int type = 0;
  socklen_t size = sizeof(type);
  if (getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_STREAM) {
    SetSocketOption(socket, SOL_SOCKET, SO_REUSEADDR, 1);
  }
}

void SetReceiveTimeout(SocketHandle socket, uint32_t milliseconds) {
  timeval value{static_cast<time_t>(milliseconds / 1000),
                static_cast<suseconds_t>((milliseconds % 1000) * 1000)};
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof(value));
}

bool IsTimeoutError(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

int SendSome(SocketHandle socket, const void* data, size_t size) {
  for (;;) {
    const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
    if (sent >= 0 || errno != EINTR) {
      return static_cast<int>(sent);
    }
  }
}

int ReceiveSome(SocketHandle socket, void* data, size_t size) {
  for (;;) {
    const ssize_t received = recv(socket, data, size, 0);
    if (received >= 0 || errno != EINTR) {
      return static_cast<int>(received);
    }
  }
}

int SendDatagram(SocketHandle socket, const void* data, size_t size, const sockaddr_in& to) {
  for (;;) {
    const ssize_t sent = sendto(socket, data, size, MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    if (sent >= 0 || errno != EINTR) {
      return static_cast<int>(sent);
    }
  }
}

size_t SendDatagrams(SocketHandle socket, std::span<const OutgoingDatagram> datagrams,
                     const sockaddr_in& to) {
  // One call takes at most UIO_MAXIOV messages; a media batch is far smaller.
  constexpr size_t kPerCall = 64;
  std::array<iovec, kPerCall> buffers{};
  std::array<mmsghdr, kPerCall> messages{};
  size_t sent = 0;
  while (sent < datagrams.size()) {
    const size_t count = std::min(kPerCall, datagrams.size() - sent);
    for (size_t i = 0; i < count; ++i) {
      buffers[i] = {const_cast<uint8_t*>(datagrams[sent + i].data), datagrams[sent + i].size};
      messages[i] = {};
      messages[i].msg_hdr.msg_name = const_cast<sockaddr_in*>(&to);
      messages[i].msg_hdr.msg_namelen = sizeof(to);
      messages[i].msg_hdr.msg_iov = &buffers[i];
      messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int result =
        sendmmsg(socket, messages.data(), static_cast<unsigned>(count), MSG_NOSIGNAL);
    if (result < 0) {
      if (errno == EINTR) {
        continue;
      }
      return sent;
    }
    // A short count means the next datagram failed; asking again reports why.
    sent += static_cast<size_t>(result);
  }
  return sent;
}

int ReceiveDatagram(SocketHandle socket, void* data, size_t size, sockaddr_in& from) {
  iovec buffer{data, size};
  for (;;) {
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof(from);
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    const ssize_t received = recvmsg(socket, &message, 0);
    if (received >= 0) {
      if ((message.msg_flags & MSG_TRUNC) != 0) {
        errno = EMSGSIZE;
        return -1;
      }
      return static_cast<int>(received);
    }
    if (errno != EINTR) {
      return -1;
    }
  }
}

bool IsTransientDatagramError(int error) {
  return error == ECONNREFUSED || error == EINTR;
}

uint32_t ResolverFailureHresult(int result) {
  // The resolver's own codes are not system errors; only EAI_SYSTEM carries one.
  return result == EAI_SYSTEM ? HresultFromOsError(errno) : kHresultFail;
}

int UnknownHostResolverError() {
  return EAI_NONAME;
}

}  // namespace orvane
