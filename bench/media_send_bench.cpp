// The sealed media send path against its anchors: OpenSSL's AES-128-GCM sealing the same
// packets directly, and bare sendto() of datagrams of the same sizes to the same loopback
// socket. Nothing reads that socket: the kernel drops what does not fit, which costs the
// sender the same as a delivery. Every benchmark counts datagrams as its items, so that
// scripts/bench.sh compares them per datagram.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <string>
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
constexpr size_t kSealedDatagramSize = 13 + kVideoHeaderSize + kMaxMediaPayloadSize + 16;
constexpr size_t kBareDatagramSize = kVideoHeaderSize + kMaxMediaPayloadSize;
const std::vector<uint8_t> kSessionKey(32, 0x3C);

// The loopback socket every benchmark sends to, bound once for the whole run.
class Sink {
 public:
  Sink() : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    address_.sin_family = AF_INET;
    address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address_);
    bind(socket_, reinterpret_cast<const sockaddr*>(&address_), sizeof(address_));
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &size);
  }
  ~Sink() { orvane::CloseSocket(socket_); }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  const sockaddr_in& address() const { return address_; }

 private:
  orvane::SocketHandle socket_;
  sockaddr_in address_{};
};

const Sink& TheSink() {
  static const Sink sink;
  return sink;
}

std::string Bytes(size_t size) {
  return " (" + std::to_string(size) + " B)";
}

void CountDatagrams(benchmark::State& state, size_t per_iteration, size_t datagram_size) {
  const auto datagrams = static_cast<int64_t>(state.iterations() * per_iteration);
  state.SetItemsProcessed(datagrams);
  state.SetBytesProcessed(datagrams * static_cast<int64_t>(datagram_size));
}

// Ours: access units of 100 fragments through the media sender, sealed or bare.
void SendAccessUnits(benchmark::State& state, bool sealed) {
  orvane::UdpMediaSender sender;
  orvane::Status ready = sender.Open();
  if (ready.ok) {
    ready = sender.SetRemote("127.0.0.1", ntohs(TheSink().address().sin_port));
  }
  if (!ready.ok) {
    state.SkipWithError(ready.message.c_str());
    return;
  }
  if (sealed) {
    sender.SetSessionKey(kSessionKey);
  }
  const std::vector<uint8_t> unit(kFragmentsPerUnit * kMaxMediaPayloadSize, 0xA5);
  uint32_t frame = 0;
  for (auto _ : state) {
    const orvane::Status sent = sender.SendVideoFrame(frame, frame, frame == 0, unit.data(),
                                                      static_cast<uint32_t>(unit.size()));
    if (!sent.ok) {
      state.SkipWithError(sent.message.c_str());
      break;
    }
    ++frame;
  }
  const size_t datagram_size = sealed ? kSealedDatagramSize : kBareDatagramSize;
  state.SetLabel((sealed ? "ours, sealed" : "ours, bare") + Bytes(datagram_size));
  CountDatagrams(state, kFragmentsPerUnit, datagram_size);
}

// Anchor: bare sendto() of one datagram of the given size.
void RawSendto(benchmark::State& state, size_t size) {
  const orvane::SocketHandle raw = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const std::vector<uint8_t> datagram(size, 0x5A);
  for (auto _ : state) {
    orvane::SendDatagram(raw, datagram.data(), datagram.size(), TheSink().address());
  }
  orvane::CloseSocket(raw);
  state.SetLabel("bare sendto" + Bytes(size));
  CountDatagrams(state, 1, size);
}

// Anchor: OpenSSL AES-128-GCM sealing one packet, with the nonce our envelope uses.
void RawSeal(benchmark::State& state) {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
  EVP_EncryptInit_ex2(context, cipher, kSessionKey.data(), nullptr, nullptr);
  const std::vector<uint8_t> packet(kBareDatagramSize, 0xA5);
  std::vector<uint8_t> sealed(packet.size() + 16);
  uint64_t counter = 0;
  for (auto _ : state) {
    const auto nonce = orvane::GcmNonce(orvane::kMediaDirection, counter++);
    int written = 0;
    int final_size = 0;
    EVP_EncryptInit_ex2(context, nullptr, nullptr, nonce.data(), nullptr);
    EVP_EncryptUpdate(context, sealed.data(), &written, packet.data(),
                      static_cast<int>(packet.size()));
    EVP_EncryptFinal_ex(context, sealed.data() + written, &final_size);
    EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_GCM_GET_TAG, 16, sealed.data() + packet.size());
    benchmark::DoNotOptimize(sealed.data());
  }
  EVP_CIPHER_free(cipher);
  EVP_CIPHER_CTX_free(context);
  state.SetLabel("OpenSSL AES-128-GCM seal" + Bytes(kBareDatagramSize));
  CountDatagrams(state, 1, kBareDatagramSize);
}

void RegisterBenchmarks() {
  benchmark::RegisterBenchmark("ours_sealed", SendAccessUnits, true);
  benchmark::RegisterBenchmark("openssl_seal", RawSeal);
  benchmark::RegisterBenchmark("sendto_sealed_size", RawSendto, kSealedDatagramSize);
  benchmark::RegisterBenchmark("ours_bare", SendAccessUnits, false);
  benchmark::RegisterBenchmark("sendto_bare_size", RawSendto, kBareDatagramSize);
}

}  // namespace

int main(int argc, char** argv) {
  if (!orvane::StartPlatformRuntime().ok()) {
    return 1;
  }
  benchmark::AddCustomContext("subject",
                              "Media send path: 1400-byte video fragments to loopback UDP");
  RegisterBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  orvane::StopPlatformRuntime();
  return 0;
}
