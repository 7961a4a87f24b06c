// The sealed media send path against its anchors, all measured in one run: OpenSSL's
// AES-128-GCM sealing the same packets directly, and bare sendto() of datagrams of the
// same sizes to the same loopback socket. Nothing reads that socket: the kernel drops
// what does not fit, which costs the sender the same as a delivery.
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "net/media_packet.h"
#include "net/udp_media_sender.h"
#include "platform/platform_runtime.h"
#include "platform/socket.h"
#include "security/gcm_nonce.h"
#include "security/secure_envelope.h"

namespace {

using orvane::kMaxMediaPayloadSize;
using orvane::kVideoHeaderSize;

constexpr size_t kFragmentsPerUnit = 100;
constexpr size_t kDatagrams = 200000;
constexpr int kRounds = 3;
constexpr size_t kSealedDatagramSize = 13 + kVideoHeaderSize + kMaxMediaPayloadSize + 16;
constexpr size_t kBareDatagramSize = kVideoHeaderSize + kMaxMediaPayloadSize;

// Nanoseconds per datagram, best of a few rounds: the machine is shared.
double NanosPerDatagram(const std::function<void()>& send_all) {
  double best = 0;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    send_all();
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - start;
    const double per_datagram = elapsed.count() / kDatagrams;
    best = round == 0 ? per_datagram : std::min(best, per_datagram);
  }
  return best;
}

void Print(const char* name, double ns, size_t bytes) {
  std::printf("  %-34s %8.0f ns/datagram %10.0f datagrams/s %8.1f MB/s\n", name, ns, 1e9 / ns,
              bytes * 1e3 / ns);
}

double SendAccessUnits(orvane::UdpMediaSender& sender) {
  const std::vector<uint8_t> unit(kFragmentsPerUnit * kMaxMediaPayloadSize, 0xA5);
  return NanosPerDatagram([&] {
    for (uint32_t frame = 0; frame < kDatagrams / kFragmentsPerUnit; ++frame) {
      if (!sender.SendVideoFrame(frame, frame, frame == 0, unit.data(),
                                 static_cast<uint32_t>(unit.size()))) {
        std::fprintf(stderr, "send failed: %s\n", sender.LastStatus().message.c_str());
        return;
      }
    }
  });
}

double RawSendto(orvane::SocketHandle socket, const sockaddr_in& to, size_t size) {
  const std::vector<uint8_t> datagram(size, 0x5A);
  return NanosPerDatagram([&] {
    for (size_t i = 0; i < kDatagrams; ++i) {
      orvane::SendDatagram(socket, datagram.data(), datagram.size(), to);
    }
  });
}

double RawSeal(const std::vector<uint8_t>& key) {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
  EVP_EncryptInit_ex2(context, cipher, key.data(), nullptr, nullptr);
  const std::vector<uint8_t> packet(kBareDatagramSize, 0xA5);
  std::vector<uint8_t> sealed(packet.size() + 16);
  const double ns = NanosPerDatagram([&] {
    for (uint64_t counter = 0; counter < kDatagrams; ++counter) {
      const auto nonce = orvane::GcmNonce(orvane::kMediaDirection, counter);
      int written = 0;
      int final_size = 0;
      EVP_EncryptInit_ex2(context, nullptr, nullptr, nonce.data(), nullptr);
      EVP_EncryptUpdate(context, sealed.data(), &written, packet.data(),
                        static_cast<int>(packet.size()));
      EVP_EncryptFinal_ex(context, sealed.data() + written, &final_size);
      EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, 16, sealed.data() + packet.size());
    }
  });
  EVP_CIPHER_free(cipher);
  EVP_CIPHER_CTX_free(context);
  return ns;
}

}  // namespace

int main() {
  if (!orvane::StartPlatformRuntime().ok()) {
    return 1;
  }
  const orvane::SocketHandle sink = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in sink_address{};
  sink_address.sin_family = AF_INET;
  sink_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(sink_address);
  bind(sink, reinterpret_cast<const sockaddr*>(&sink_address), sizeof(sink_address));
  getsockname(sink, reinterpret_cast<sockaddr*>(&sink_address), &size);

  const std::vector<uint8_t> key(32, 0x3C);
  orvane::UdpMediaSender sender;
  if (!sender.Open() || !sender.SetRemote("127.0.0.1", ntohs(sink_address.sin_port))) {
    std::fprintf(stderr, "sender set-up failed: %s\n", sender.LastStatus().message.c_str());
    return 1;
  }
  const orvane::SocketHandle raw = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);

  std::printf(
      "Media send path: 1400-byte video fragments to loopback UDP, %zu datagrams, "
      "best of %d\n",
      kDatagrams, kRounds);
  sender.SetSessionKey(key);
  const double sealed_send = SendAccessUnits(sender);
  const double seal = RawSeal(key);
  const double sendto_sealed_size = RawSendto(raw, sink_address, kSealedDatagramSize);
  sender.SetSessionKey({});
  const double bare_send = SendAccessUnits(sender);
  const double sendto_bare_size = RawSendto(raw, sink_address, kBareDatagramSize);

  Print("ours, sealed (1449 B)", sealed_send, kSealedDatagramSize);
  Print("OpenSSL AES-128-GCM seal (1420 B)", seal, kBareDatagramSize);
  Print("bare sendto (1449 B)", sendto_sealed_size, kSealedDatagramSize);
  Print("ours, bare (1420 B)", bare_send, kBareDatagramSize);
  Print("bare sendto (1420 B)", sendto_bare_size, kBareDatagramSize);
  std::printf("Ratios (time per datagram, lower is better for us):\n");
  std::printf("  ours sealed / (OpenSSL seal + bare sendto)  %.2f\n",
              sealed_send / (seal + sendto_sealed_size));
  std::printf("  ours sealed / bare sendto                   %.2f\n",
              sealed_send / sendto_sealed_size);
  std::printf("  ours bare / bare sendto                     %.2f\n", bare_send / sendto_bare_size);

  orvane::CloseSocket(raw);
  orvane::CloseSocket(sink);
  orvane::StopPlatformRuntime();
  return 0;
}
