#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace orvane::client {

// Writes received Opus packets as an Ogg Opus file (one logical stream, one packet per
// page) that players and decoders open. Packets lost on the way leave no gap in the
// file: it holds what arrived.
class OggOpusWriter {
 public:
  OggOpusWriter() = default;
  ~OggOpusWriter();
  OggOpusWriter(const OggOpusWriter&) = delete;
  OggOpusWriter& operator=(const OggOpusWriter&) = delete;

  // Writes the two header pages. `channels` is the channel count of the coded stream.
  bool Open(const std::string& path, uint32_t channels, uint32_t input_sample_rate);
  // `samples_48k` is the packet's duration in 48 kHz samples.
  bool Write(std::span<const uint8_t> packet, uint32_t samples_48k);
  // Writes the last packet with the end-of-stream mark and closes the file.
  bool Close();
  bool is_open() const { return file_.is_open(); }

 private:
  bool WritePage(std::span<const uint8_t> packet, uint8_t flags, uint64_t granule);

  std::ofstream file_;
  uint32_t serial_ = 0x4F52564Eu;
  uint32_t page_sequence_ = 0;
  uint64_t granule_ = 0;
  // Held back until the next packet or Close, which must mark the last page.
  std::vector<uint8_t> held_;
  uint32_t held_samples_ = 0;
  bool holding_ = false;
};

// The CRC of Ogg pages: polynomial 0x04C11DB7, no reflection, starting at 0.
uint32_t OggCrc(std::span<const uint8_t> bytes);

}  // namespace orvane::client
