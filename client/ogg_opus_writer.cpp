#include "client/ogg_opus_writer.h"

#include <array>

namespace orvane::client {
namespace {

constexpr uint8_t kBeginOfStream = 0x02;
constexpr uint8_t kEndOfStream = 0x04;
// What libopus encoders delay their output by at 48 kHz; decoders skip it.
constexpr uint16_t kPreSkip = 312;
constexpr char kVendor[] = "orvane-client";

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

void Put64(std::vector<uint8_t>& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

void PutText(std::vector<uint8_t>& out, std::string_view text) {
  out.insert(out.end(), text.begin(), text.end());
}

std::array<uint32_t, 256> CrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i << 24;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 0x80000000u) != 0 ? (value << 1) ^ 0x04C11DB7u : value << 1;
    }
    table[i] = value;
  }
  return table;
}

}  // namespace

uint32_t OggCrc(std::span<const uint8_t> bytes) {
  static const std::array<uint32_t, 256> table = CrcTable();
  uint32_t crc = 0;
  for (uint8_t byte : bytes) {
    crc = (crc << 8) ^ table[((crc >> 24) ^ byte) & 0xFF];
  }
  return crc;
}

OggOpusWriter::~OggOpusWriter() {
  Close();
}

bool OggOpusWriter::Open(const std::string& path, uint32_t channels, uint32_t input_sample_rate) {
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_.is_open()) {
    return false;
  }
  page_sequence_ = 0;
  granule_ = kPreSkip;
  holding_ = false;
  std::vector<uint8_t> head;
  PutText(head, "OpusHead");
  head.push_back(1);  // version
  head.push_back(static_cast<uint8_t>(channels));
  Put16(head, kPreSkip);
  Put32(head, input_sample_rate);
  Put16(head, 0);     // output gain
  head.push_back(0);  // mapping family: mono or stereo
  std::vector<uint8_t> tags;
  PutText(tags, "OpusTags");
  Put32(tags, sizeof(kVendor) - 1);
  PutText(tags, kVendor);
  Put32(tags, 0);  // no user comments
  return WritePage(head, kBeginOfStream, 0) && WritePage(tags, 0, 0);
}

bool OggOpusWriter::Write(std::span<const uint8_t> packet, uint32_t samples_48k) {
  if (!file_.is_open()) {
    return false;
  }
  bool written = true;
  if (holding_) {
    granule_ += held_samples_;
    written = WritePage(held_, 0, granule_);
  }
  held_.assign(packet.begin(), packet.end());
  held_samples_ = samples_48k;
  holding_ = true;
  return written;
}

bool OggOpusWriter::Close() {
  if (!file_.is_open()) {
    return false;
  }
  bool written = true;
  if (holding_) {
    granule_ += held_samples_;
    written = WritePage(held_, kEndOfStream, granule_);
    holding_ = false;
  }
  file_.close();
  return written && !file_.fail();
}

bool OggOpusWriter::WritePage(std::span<const uint8_t> packet, uint8_t flags, uint64_t granule) {
  std::vector<uint8_t> page;
  PutText(page, "OggS");
  page.push_back(0);  // version
  page.push_back(flags);
  Put64(page, granule);
  Put32(page, serial_);
  Put32(page, page_sequence_++);
  Put32(page, 0);  // the CRC, filled in below
  // Lacing: 255 for every full 255 bytes, then the rest (0 after an exact multiple).
  page.push_back(static_cast<uint8_t>(packet.size() / 255 + 1));
  page.insert(page.end(), packet.size() / 255, 255);
  page.push_back(static_cast<uint8_t>(packet.size() % 255));
  page.insert(page.end(), packet.begin(), packet.end());
  const uint32_t crc = OggCrc(page);
  for (int i = 0; i < 4; ++i) {
    page[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
  }
  file_.write(reinterpret_cast<const char*>(page.data()),
              static_cast<std::streamsize>(page.size()));
  return !file_.fail();
}

}  // namespace orvane::client
