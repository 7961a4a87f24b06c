#include "platform/socket.h"

#include <climits>

#include "base/status.h"

namespace orvane {
namespace {

int ClampLength(size_t size) {
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

}  // namespace

int LastSocketError() {
  return WSAGetLastError();
}

bool IsListenerClosedError(int error) {
  return error == WSAEINTR || error == WSAENOTSOCK;
}

bool IsAddressTakenError(int error) {
  // A port claimed exclusively by another socket refuses the bind with WSAEACCES.
  return error == WSAEADDRINUSE || error == WSAEACCES;
}

void InterruptSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) {
    // The shutdown makes later calls on a connected socket fail at once; the cancel ends
    // the blocking calls already waiting, which closing the socket would end too, but
    // only by freeing the handle value while other threads still hold it.
    shutdown(socket, SD_BOTH);
    CancelIoEx(reinterpret_cast<HANDLE>(socket), nullptr);
  }
}

void CloseSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) {
    closesocket(socket);
  }
}

void SetSocketOption(SocketHandle socket, int level, int option, int value) {
  setsockopt(socket, level, option, reinterpret_cast<const char*>(&value), sizeof(value));
}

void ClaimPortExclusively(SocketHandle socket) {
  // SO_REUSEADDR would let any other program bind the same port beside this socket.
  SetSocketOption(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
}

void SetReceiveTimeout(SocketHandle socket, uint32_t milliseconds) {
  const DWORD value = milliseconds;
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof(value));
}

bool IsTimeoutError(int error) {
  return error == WSAETIMEDOUT;
}

int SendSome(SocketHandle socket, const void* data, size_t size) {
  return send(socket, static_cast<const char*>(data), ClampLength(size), 0);
}

int ReceiveSome(SocketHandle socket, void* data, size_t size) {
  return recv(socket, static_cast<char*>(data), ClampLength(size), 0);
}

int SendDatagram(SocketHandle socket, const void* data, size_t size, const sockaddr_in& to) {
  return sendto(socket, static_cast<const char*>(data), ClampLength(size), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

size_t SendDatagrams(SocketHandle socket, std::span<const OutgoingDatagram> datagrams,
                     const sockaddr_in& to) {
  // Winsock has no call that sends several datagrams.
  size_t sent = 0;
  for (const OutgoingDatagram& datagram : datagrams) {
    if (SendDatagram(socket, datagram.data, datagram.size, to) < 1) {
      break;
    }
    ++sent;
  }
  return sent;
}

int ReceiveDatagram(SocketHandle socket, void* data, size_t size, sockaddr_in& from) {
  int from_size = sizeof(from);
  return recvfrom(socket, static_cast<char*>(data), ClampLength(size), 0,
                  reinterpret_cast<sockaddr*>(&from), &from_size);
}

bool IsTransientDatagramError(int error) {
  return error == WSAECONNRESET || error == WSAEINTR;
}

uint32_t ResolverFailureHresult(int result) {
  return HresultFromOsError(result);
}

int UnknownHostResolverError() {
  return WSAHOST_NOT_FOUND;
}

}  // namespace orvane
