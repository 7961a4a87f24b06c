// Datagrams at the reference client's media port, as records (fuzz_input.h; the
// condition byte is unused), opened with the session key and joined into access units.
// Every unit handed out must be the size its fragments add up to and carry bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "client/frame_reassembler.h"
#include "fuzz_input.h"
#include "net/media_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  static const std::vector<uint8_t> kKey(32, 0x6B);
  client::FrameReassembler reassembler;
  std::vector<client::AccessUnit> complete;
  uint64_t emitted_bytes = 0;

  fuzz::RecordReader reader({data, size});
  fuzz::Record next;
  while (reader.Next(next)) {
    const std::vector<uint8_t> datagram = fuzz::SealOnRequest(next.datagram, kKey, kMediaDirection);
    const auto payload = OpenEnvelope(datagram, kKey, kMediaDirection);
    if (!payload) {
      reassembler.CountUnopenable();
    } else if (const auto fragment = ParseVideoFragment(*payload)) {
      complete.clear();
      reassembler.AddFragment(*fragment, complete);
      for (const client::AccessUnit& unit : complete) {
        if (unit.bytes.empty()) {
          std::fprintf(stderr, "an empty access unit was emitted\n");
          std::abort();
        }
        emitted_bytes += unit.bytes.size();
      }
    } else if (const auto audio = ParseAudioPacket(*payload)) {
      reassembler.AddAudio(audio->header);
    } else {
      reassembler.CountMalformed();
    }
  }
  if (reassembler.stats().bytes != emitted_bytes) {
    std::fprintf(stderr, "the byte count differs from what was emitted\n");
    std::abort();
  }
  return 0;
}
