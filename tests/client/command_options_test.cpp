#include <gtest/gtest.h>

#include "client/cli/capability_options.h"
#include "client/cli/common_options.h"
#include "client/cli/option_parser.h"

namespace orvane::client::cli {
namespace {

namespace v1 = orvane::protocol::v1;

constexpr OptionSpec kSpecs[] = {
    {"--port", "N", ""},
    {"--name", "TEXT", ""},
    {"--audio", "", ""},
};

TEST(OptionParserTest, AcceptsSpacedAndJoinedValuesAndFlags) {
  const std::vector<std::string> arguments = {"--port", "9", "--name=a=b", "--audio", "--port=10"};
  std::string error;
  const auto options = ParseOptions(arguments, kSpecs, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->Value("--port"), "10");
  EXPECT_EQ(options->Value("--name"), "a=b");
  EXPECT_TRUE(options->Has("--audio"));
  EXPECT_FALSE(options->Has("--missing"));
  EXPECT_EQ(options->Value("--missing", "fallback"), "fallback");
}

TEST(OptionParserTest, RefusesWhatItDoesNotKnow) {
  const std::vector<std::vector<std::string>> cases = {
      {"--colour"}, {"positional"}, {"--port"}, {"--audio=1"}, {"-p", "9"},
  };
  for (const auto& arguments : cases) {
    std::string error;
    EXPECT_FALSE(ParseOptions(arguments, kSpecs, error)) << arguments[0];
    EXPECT_FALSE(error.empty()) << arguments[0];
  }
}

TEST(OptionParserTest, NumbersMustBeWholeAndInRange) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"1", 1u},
      {"65535", 65535u},
      {"0", std::nullopt},
      {"65536", std::nullopt},
      {"-1", std::nullopt},
      {"+5", std::nullopt},
      {"5x", std::nullopt},
      {"", std::nullopt},
      {"99999999999", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseNumber(text, 1, 65535), expected) << text;
  }
}

std::optional<CommonOptions> Common(const std::vector<std::string>& arguments, std::string& error) {
  const auto options = ParseOptions(arguments, CommonOptionSpecs(), error);
  return options ? ReadCommonOptions(*options, error) : std::nullopt;
}

TEST(CommonOptionsTest, ReadsValuesAndFrameModes) {
  std::string error;
  const auto common = Common({"--host", "10.0.0.2", "--port", "7000", "--identity", "id.json",
                              "--frames", "sealed-compat", "--timeout-ms", "250"},
                             error);
  ASSERT_TRUE(common) << error;
  EXPECT_EQ(common->host, "10.0.0.2");
  EXPECT_EQ(common->port, 7000);
  EXPECT_EQ(common->identity_file, "id.json");
  EXPECT_EQ(common->frame_mode, FrameMode::kSealedCompatibility);
  EXPECT_EQ(common->timeout, std::chrono::milliseconds(250));

  const std::pair<const char*, std::optional<FrameMode>> modes[] = {
      {"bare", FrameMode::kBare},
      {"clear", FrameMode::kClearEnvelope},
      {"sealed", FrameMode::kSealedPrimary},
      {"sealed-compat", FrameMode::kSealedCompatibility},
      {"SEALED", std::nullopt},
  };
  for (const auto& [text, mode] : modes) {
    EXPECT_EQ(ParseFrameMode(text), mode) << text;
  }
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--frames", "tls"}, {"--port", "0"}, {"--timeout-ms", "0"}}) {
    EXPECT_FALSE(Common(bad, error)) << bad[0];
  }
}

std::optional<v1::CapabilityExchange> Exchange(const std::vector<std::string>& arguments,
                                               std::string& error) {
  const auto options = ParseOptions(arguments, CapabilityOptionSpecs(), error);
  return options ? BuildCapabilityExchange(*options, error) : std::nullopt;
}

TEST(CapabilityOptionsTest, DefaultsOfferBothCodecsSixtyFpsAndTouch) {
  std::string error;
  const auto exchange = Exchange({}, error);
  ASSERT_TRUE(exchange) << error;
  ASSERT_EQ(exchange->supported_codecs_size(), 2);
  EXPECT_EQ(exchange->supported_codecs(0), v1::VIDEO_CODEC_H264);
  EXPECT_EQ(exchange->supported_codecs(1), v1::VIDEO_CODEC_HEVC);
  ASSERT_EQ(exchange->supported_fps_size(), 1);
  EXPECT_EQ(exchange->supported_fps(0), 60u);
  EXPECT_FALSE(exchange->has_preferred_resolution());
  EXPECT_FALSE(exchange->audio().opus_supported());
  EXPECT_TRUE(exchange->input().touch());
}

TEST(CapabilityOptionsTest, OptionsShapeTheExchange) {
  std::string error;
  const auto exchange = Exchange({"--codec", "hevc", "--fps", "30,90,144", "--width", "1280",
                                  "--height", "720", "--audio", "--no-touch"},
                                 error);
  ASSERT_TRUE(exchange) << error;
  ASSERT_EQ(exchange->supported_codecs_size(), 1);
  EXPECT_EQ(exchange->supported_codecs(0), v1::VIDEO_CODEC_HEVC);
  EXPECT_EQ(
      std::vector<uint32_t>(exchange->supported_fps().begin(), exchange->supported_fps().end()),
      (std::vector<uint32_t>{30, 90, 144}));
  EXPECT_EQ(exchange->preferred_resolution().width(), 1280u);
  EXPECT_EQ(exchange->preferred_resolution().height(), 720u);
  EXPECT_TRUE(exchange->audio().opus_supported());
  EXPECT_FALSE(exchange->input().touch());
  EXPECT_FALSE(exchange->input().pen_pressure());
}

TEST(CapabilityOptionsTest, MalformedValuesAreRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {"--codec", "vp9"}, {"--fps", "60,"},    {"--fps", ""},
      {"--fps", "0"},     {"--width", "1280"}, {"--width", "0", "--height", "720"},
  };
  for (const auto& arguments : cases) {
    std::string error;
    EXPECT_FALSE(Exchange(arguments, error)) << arguments[0] << " " << arguments[1];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace orvane::client::cli
