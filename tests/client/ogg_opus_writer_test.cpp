#include "client/ogg_opus_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace orvane::client {
namespace {

struct Page {
  uint8_t flags;
  uint64_t granule;
  uint32_t sequence;
  std::vector<uint8_t> lacing;
  std::vector<uint8_t> body;
  bool crc_matches;
};

uint64_t LoadLittleEndian(const std::vector<uint8_t>& bytes, size_t offset, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | bytes[offset + i];
  }
  return value;
}

std::vector<Page> ReadPages(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  std::vector<Page> pages;
  for (size_t at = 0; at + 27 <= file.size();) {
    EXPECT_EQ(std::string(file.begin() + at, file.begin() + at + 4), "OggS");
    const size_t segments = file[at + 26];
    std::vector<uint8_t> lacing(file.begin() + at + 27, file.begin() + at + 27 + segments);
    size_t body_size = 0;
    for (uint8_t lace : lacing) {
      body_size += lace;
    }
    const size_t header_size = 27 + segments;
    std::vector<uint8_t> whole(file.begin() + at, file.begin() + at + header_size + body_size);
    const uint32_t crc = static_cast<uint32_t>(LoadLittleEndian(whole, 22, 4));
    std::fill(whole.begin() + 22, whole.begin() + 26, 0);
    pages.push_back({file[at + 5], LoadLittleEndian(file, at + 6, 8),
                     static_cast<uint32_t>(LoadLittleEndian(file, at + 18, 4)), lacing,
                     std::vector<uint8_t>(whole.begin() + header_size, whole.end()),
                     OggCrc(whole) == crc});
    at += header_size + body_size;
  }
  return pages;
}

TEST(OggOpusWriterTest, CrcIsTheOggPolynomialWithoutReflection) {
  const std::string check = "123456789";
  EXPECT_EQ(OggCrc({reinterpret_cast<const uint8_t*>(check.data()), check.size()}), 0x89A1897Fu);
}

TEST(OggOpusWriterTest, WritesHeadersThenOnePacketPerPageWithGranulePositions) {
  testing::TempFolder folder("orvane-ogg");
  const std::string path = (folder.path() / "audio.opus").string();
  OggOpusWriter writer;
  ASSERT_TRUE(writer.Open(path, 2, 48000));
  const std::vector<std::vector<uint8_t>> packets = {
      std::vector<uint8_t>(10, 1), std::vector<uint8_t>(255, 2), std::vector<uint8_t>(600, 3)};
  for (const auto& packet : packets) {
    ASSERT_TRUE(writer.Write(packet, 960));
  }
  ASSERT_TRUE(writer.Close());

  const std::vector<Page> pages = ReadPages(path);
  ASSERT_EQ(pages.size(), 5u);
  const std::vector<uint8_t> head = {'O',  'p',  'u',  's',  'H', 'e', 'a', 'd', 1, 2,
                                     0x38, 0x01, 0x80, 0xBB, 0,   0,   0,   0,   0};
  EXPECT_EQ(pages[0].body, head);
  EXPECT_EQ(pages[0].flags, 0x02);
  EXPECT_EQ(std::string(pages[1].body.begin(), pages[1].body.begin() + 8), "OpusTags");
  const struct {
    uint8_t flags;
    uint64_t granule;
    std::vector<uint8_t> lacing;
  } expected[] = {
      {0, 312 + 960, {10}}, {0, 312 + 1920, {255, 0}}, {0x04, 312 + 2880, {255, 255, 90}}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(pages[i + 2].flags, expected[i].flags) << i;
    EXPECT_EQ(pages[i + 2].granule, expected[i].granule) << i;
    EXPECT_EQ(pages[i + 2].lacing, expected[i].lacing) << i;
    EXPECT_EQ(pages[i + 2].body, packets[i]) << i;
  }
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i].sequence, i);
    EXPECT_TRUE(pages[i].crc_matches) << i;
  }
}

}  // namespace
}  // namespace orvane::client
