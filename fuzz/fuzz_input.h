#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "security/secure_envelope.h"

namespace orvane::fuzz {

// The fuzz inputs that carry several datagrams write each as a record: one byte of
// conditions (what the record means is the target's), a 16-bit big-endian length, the
// datagram. A record cut short ends the input.
struct Record {
  uint8_t conditions = 0;
  std::span<const uint8_t> datagram;
};

class RecordReader {
 public:
  explicit RecordReader(std::span<const uint8_t> input) : rest_(input) {}
  bool Next(Record& record);

 private:
  std::span<const uint8_t> rest_;
};

void AppendRecord(uint8_t conditions, std::span<const uint8_t> datagram,
                  std::vector<uint8_t>& input);

// Sealed envelopes carry a tag the fuzzer cannot forge, so every mutation of one would
// only ever test the refusal. An envelope whose flag byte also has this bit set is a
// request to the harness: it seals the bytes after the header with the receiver's key
// and the header's counter, as a genuine peer would, and keeps the bit (receivers ignore
// it). Otherwise the buffer is used as it is.
inline constexpr uint8_t kSealRequestFlag = 0x02;
std::vector<uint8_t> SealOnRequest(std::span<const uint8_t> buffer, std::span<const uint8_t> key,
                                   uint32_t direction);
// The request the harness answers: "ORV1", flags 0x03, the counter, the plaintext.
std::vector<uint8_t> SealRequest(uint64_t counter, std::span<const uint8_t> plaintext);

// The process-wide logger writes nowhere but still formats every line, and aborts the
// run when a line carries a control character other than a final line feed: text from
// the network must reach the log escaped.
void QuietCheckedLog();

}  // namespace orvane::fuzz
