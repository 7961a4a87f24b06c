#pragma once

// The one place that pulls in the system socket headers, so that network code above it
// is written once against the BSD calls both platforms share.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orvane {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kInvalidSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
#endif

// The error of the most recent socket call on this thread (WSAGetLastError / errno).
int LastSocketError();

// True for the errors a blocked accept() reports when its listening socket is closed.
bool IsListenerClosedError(int error);

// Wakes every thread blocked on the socket (accept, recv, send, recvfrom) without closing
// it: the handle stays valid until CloseSocket, so a thread that still holds the value can
// never reach a socket created later under the same value. A connected socket stays shut
// (later receives and sends fail at once). A listening or unconnected datagram socket
// does so on Linux only; Winsock cannot mark one, so a thread that was just about to
// block there needs another wake-up.
void InterruptSocket(SocketHandle socket);

void CloseSocket(SocketHandle socket);

// True when bind() failed because another socket holds the address.
bool IsAddressTakenError(int error);

void SetSocketOption(SocketHandle socket, int level, int option, int value);

// Called before binding a socket to the host's own port, so that no other socket can bind
// that port beside it.
void ClaimPortExclusively(SocketHandle socket);

// Bounds every later blocking receive on the socket; 0 means no bound.
void SetReceiveTimeout(SocketHandle socket, uint32_t milliseconds);

// True when a receive failed only because its time limit ran out.
bool IsTimeoutError(int error);

// send()/recv() with the platform's quirks handled (no SIGPIPE on Linux).
int SendSome(SocketHandle socket, const void* data, size_t size);
int ReceiveSome(SocketHandle socket, void* data, size_t size);
// Sends every byte, waiting as the socket allows; false on the first failure, with
// LastSocketError() saying why.
bool SendAll(SocketHandle socket, std::span<const uint8_t> bytes);

// sendto()/recvfrom() of one IPv4 datagram. A datagram larger than the receive buffer
// fails with the platform's "message too long" error on both platforms (Linux would
// otherwise hand over the truncated front silently) and is lost.
int SendDatagram(SocketHandle socket, const void* data, size_t size, const sockaddr_in& to);
int ReceiveDatagram(SocketHandle socket, void* data, size_t size, sockaddr_in& from);

struct OutgoingDatagram {
  const uint8_t* data = nullptr;
  size_t size = 0;
};
// Sends the datagrams in order, with one system call for all of them where the platform
// has one (sendmmsg). Returns how many went out; when fewer than all, LastSocketError()
// says why the next one failed, and none after it was sent.
size_t SendDatagrams(SocketHandle socket, std::span<const OutgoingDatagram> datagrams,
                     const sockaddr_in& to);

// True for receive errors that say nothing about the receiving socket itself: an ICMP
// port-unreachable report for an earlier send, an interrupted call.
bool IsTransientDatagramError(int error);

// A getaddrinfo() failure as an HRESULT (E_FAIL when the resolver names no system error),
// and the resolver's own code for a name that does not exist.
uint32_t ResolverFailureHresult(int result);
int UnknownHostResolverError();

// A dotted IPv4 address or a host name (first IPv4 address) with the port. On failure
// `failure_hr` holds the resolver's error as an HRESULT (E_FAIL when it gave none).
bool ResolveIpv4(const std::string& host, uint16_t port, sockaddr_in& address,
                 uint32_t& failure_hr);

}  // namespace orvane
