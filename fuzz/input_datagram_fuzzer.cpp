// Datagrams at the input port, as records (fuzz_input.h) whose condition bits say where
// each comes from and what the session is in when it arrives: bit 0 from the control
// client's address, bit 1 the client has authenticated, bit 2 the session has its key,
// bit 3 a stream starts (the replay window restarts) before it. What the filter lets
// through is injected by the portable injector into a recording sink.
#include <cstdint>
#include <memory>

#include "fuzz_input.h"
#include "input/input_injector.h"
#include "input/recording_input_sink.h"
#include "net/input_datagram_filter.h"
#include "session/input_event_injection.h"

namespace {

constexpr uint8_t kFromControlClient = 0x01;
constexpr uint8_t kAuthenticated = 0x02;
constexpr uint8_t kWithKey = 0x04;
constexpr uint8_t kStreamStarts = 0x08;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  orvane::fuzz::QuietCheckedLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  static const std::vector<uint8_t> kKey(32, 0x5A);
  uint64_t now_ms = 0;
  InputDatagramFilter filter([&] { return now_ms += 250; });
  auto record = std::make_shared<testing::SinkRecord>();
  InputInjector injector(std::make_unique<testing::RecordingInputSink>(record));

  fuzz::RecordReader reader({data, size});
  fuzz::Record next;
  while (reader.Next(next)) {
    if (next.conditions & kStreamStarts) {
      filter.RestartReplayWindow();
    }
    const std::span<const uint8_t> key =
        (next.conditions & kWithKey) ? std::span<const uint8_t>(kKey) : std::span<const uint8_t>();
    const std::vector<uint8_t> datagram = fuzz::SealOnRequest(next.datagram, kKey, kInputDirection);
    const DatagramSource source{(next.conditions & kFromControlClient) ? "10.0.0.2" : "10.0.0.9",
                                40000};
    const InputSessionState session{(next.conditions & kAuthenticated) != 0, "10.0.0.2", key};
    const InputDecision decision = filter.Decide(datagram, source, session);
    if (decision.action == InputAction::kInject) {
      InjectInputEvent(injector, decision.event);
    }
  }
  injector.ReleaseHeldInput();
  return 0;
}
