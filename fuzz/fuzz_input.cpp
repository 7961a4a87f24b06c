#include "fuzz_input.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/byte_order.h"
#include "base/logger.h"

namespace orvane::fuzz {

bool RecordReader::Next(Record& record) {
  if (rest_.size() < 3) {
    return false;
  }
  const size_t length = (size_t{rest_[1]} << 8) | rest_[2];
  if (rest_.size() - 3 < length) {
    return false;
  }
  record.conditions = rest_[0];
  record.datagram = rest_.subspan(3, length);
  rest_ = rest_.subspan(3 + length);
  return true;
}

void AppendRecord(uint8_t conditions, std::span<const uint8_t> datagram,
                  std::vector<uint8_t>& input) {
  input.push_back(conditions);
  input.push_back(static_cast<uint8_t>(datagram.size() >> 8));
  input.push_back(static_cast<uint8_t>(datagram.size()));
  input.insert(input.end(), datagram.begin(), datagram.end());
}

std::vector<uint8_t> SealOnRequest(std::span<const uint8_t> buffer, std::span<const uint8_t> key,
                                   uint32_t direction) {
  const EnvelopeView view = ParseEnvelope(buffer);
  if (view.kind != EnvelopeKind::kSealed || (buffer[4] & kSealRequestFlag) == 0) {
    return {buffer.begin(), buffer.end()};
  }
  std::vector<uint8_t> sealed;
  if (!SealEnvelope(key, direction, view.counter, view.payload, sealed)) {
    return {buffer.begin(), buffer.end()};
  }
  sealed[4] = buffer[4];
  return sealed;
}

std::vector<uint8_t> SealRequest(uint64_t counter, std::span<const uint8_t> plaintext) {
  std::vector<uint8_t> request;
  WriteClearEnvelope(counter, plaintext, request);
  request[4] = kEnvelopeEncryptedFlag | kSealRequestFlag;
  return request;
}

void QuietCheckedLog() {
  static FILE* sink = std::fopen("/dev/null", "w");
  Logger::Instance().SetConsoleStream(sink);
  Logger::Instance().SetObserver([](LogLevel, const std::string& message) {
    for (size_t i = 0; i < message.size(); ++i) {
      const auto byte = static_cast<unsigned char>(message[i]);
      const bool final_line_feed = byte == '\n' && i + 1 == message.size();
      if ((byte < 0x20 || byte == 0x7F) && !final_line_feed) {
        std::fprintf(stderr, "unescaped control character 0x%02X in a log line: %s\n", byte,
                     message.c_str());
        std::abort();
      }
    }
  });
}

}  // namespace orvane::fuzz
