#include "viewer/viewer_options.h"

#include <gtest/gtest.h>

namespace orvane::viewer {
namespace {

namespace v1 = orvane::protocol::v1;

std::optional<ViewerOptions> Parse(std::vector<std::string> arguments, std::string& error) {
  return ParseViewerOptions(arguments, error);
}

TEST(ViewerOptionsTest, AHostAndEveryOptionAreRead) {
  std::string error;
  const auto options = Parse(
      {"--control-port", "19430",  "192.168.1.5",  "--media-port=5000", "--input-port", "5001",
       "--code",         "012345", "--fullscreen", "--codec",           "hevc",         "--size",
       "1920x1080",      "--fps",  "30",           "--stats",           "--seconds",    "10",
       "--identity",     "id.json"},
      error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->host, "192.168.1.5");
  EXPECT_EQ(options->control_port, 19430);
  EXPECT_EQ(options->media_port, 5000);
  EXPECT_EQ(options->input_port, 5001);
  EXPECT_EQ(options->code, "012345");
  EXPECT_TRUE(options->fullscreen);
  EXPECT_EQ(options->codecs, std::vector<v1::VideoCodec>{v1::VIDEO_CODEC_HEVC});
  EXPECT_EQ(options->width, 1920u);
  EXPECT_EQ(options->height, 1080u);
  EXPECT_EQ(options->fps, 30u);
  EXPECT_TRUE(options->stats);
  EXPECT_EQ(options->seconds, 10u);
  EXPECT_EQ(options->identity_file, "id.json");
}

TEST(ViewerOptionsTest, NoHostMeansDiscoveryAndDefaultsApply) {
  std::string error;
  const auto options = Parse({}, error);
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->host.empty());
  EXPECT_EQ(options->control_port, 9430);
  EXPECT_EQ(options->media_port, 0);
  EXPECT_TRUE(options->codecs.empty());
  EXPECT_EQ(options->seconds, 0u);
  EXPECT_FALSE(options->identity_file.empty());
}

TEST(ViewerOptionsTest, MalformedCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {"a", "b"},        {"--code", "12345"}, {"--code", "12345a"}, {"--codec", "vp9"},
      {"--size", "640"}, {"--size", "0x480"}, {"--seconds", "0"},   {"--control-port", "0"},
      {"--fps", "x"},    {"--unknown"},       {"--size"},
  };
  for (const auto& arguments : cases) {
    std::string error;
    EXPECT_FALSE(Parse(arguments, error)) << arguments[0];
    EXPECT_FALSE(error.empty()) << arguments[0];
  }
}

}  // namespace
}  // namespace orvane::viewer
