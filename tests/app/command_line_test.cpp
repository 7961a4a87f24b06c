#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace orvane {
namespace {

CommandLine Parse(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "orvane-host");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  // The Windows sources: "gdi" is the last resort and no choice.
  const std::vector<CaptureSourceInfo> sources{{"dxgi", "DXGI", false, true},
                                               {"wgc", "WGC (Beta)", false, true},
                                               {"gdi", "GDI", true, true}};
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), {}, sources);
}

constexpr auto CaseIndexName = [](const auto& info) { return "Case" + std::to_string(info.index); };

struct PortCase {
  std::vector<std::string> arguments;
  uint16_t control, media, input;
};

class PortOptionTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortOptionTest, ReadsPortsAndRestoresDefaultsWhenOutOfRange) {
  const CommandLine parsed = Parse(GetParam().arguments);
  EXPECT_EQ(parsed.options.control_port, GetParam().control);
  EXPECT_EQ(parsed.options.media_port, GetParam().media);
  EXPECT_EQ(parsed.options.input_port, GetParam().input);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PortOptionTest,
    ::testing::Values(
        PortCase{{}, 9430, 9431, 9432}, PortCase{{"--control-port", "5000"}, 5000, 9431, 9432},
        PortCase{{"--control-port", "5000", "--control-port", "0"}, 9430, 9431, 9432},
        PortCase{{"--control-port", "5000", "--control-port", "70000"}, 9430, 9431, 9432},
        PortCase{{"--control-port", "5000", "--control-port", "abc"}, 9430, 9431, 9432},
        PortCase{{"--control-port", " +7000x"}, 7000, 9431, 9432},
        PortCase{{"--control-port", "99999999999999999999"}, 9430, 9431, 9432},
        PortCase{{"--media-port", "1", "--input-port", "65535"}, 9430, 1, 65535},
        PortCase{{"--input-port", "-5"}, 9430, 9431, 9432},
        // an option that is the last argument is ignored
        PortCase{{"--media-port", "6000", "--media-port"}, 9430, 6000, 9432},
        // options are matched exactly and case-sensitively
        PortCase{{"--Control-Port", "5000", "--control-port=5000"}, 9430, 9431, 9432}),
    CaseIndexName);

struct SelectionCase {
  std::vector<std::string> arguments;
  uint32_t monitors;
  uint32_t capture_output_index;
  std::string backend;
};

class SelectionOptionTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(SelectionOptionTest, ReadsMonitorsAndCaptureSelection) {
  const CommandLine parsed = Parse(GetParam().arguments);
  EXPECT_EQ(parsed.options.monitors, GetParam().monitors);
  EXPECT_EQ(parsed.capture_output_index, GetParam().capture_output_index);
  EXPECT_EQ(parsed.capture_backend, GetParam().backend);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelectionOptionTest,
    ::testing::Values(
        SelectionCase{{"--monitors", "4"}, 4, 0, "auto"},
        SelectionCase{{"--monitors", "5"}, 1, 0, "auto"},
        SelectionCase{{"--monitors", "3", "--monitors", "0"}, 3, 0, "auto"},
        SelectionCase{{"--capture-output", "1"}, 1, 0, "auto"},
        SelectionCase{{"--capture-output", "4"}, 1, 3, "auto"},
        SelectionCase{{"--capture-output", "3", "--capture-output", "0"}, 1, 0, "auto"},
        SelectionCase{{"--capture-output", "3", "--capture-output", "5"}, 1, 2, "auto"},
        SelectionCase{{"--capture-backend", "DXGI"}, 1, 0, "dxgi"},
        SelectionCase{{"--capture-backend", "Wgc"}, 1, 0, "wgc"},
        SelectionCase{{"--capture-backend", "wgc", "--capture-backend", "gdi"}, 1, 0, "auto"},
        SelectionCase{{"--capture-backend", "wgcx"}, 1, 0, "auto"}),
    CaseIndexName);

TEST(CommandLineTest, LinuxCaptureBackendsAreChosenByNameAndX11MeansSharedMemory) {
  const std::vector<CaptureSourceInfo> linux_sources{{"mutter", "Mutter", false, true},
                                                     {"portal", "Portal", false, true},
                                                     {"x11shm", "X11", false, true},
                                                     {"x11image", "X11 image", true, true}};
  const std::pair<const char*, const char*> cases[] = {
      {"x11", "x11shm"},    {"X11", "x11shm"},    {"x11shm", "x11shm"}, {"Portal", "portal"},
      {"mutter", "mutter"}, {"x11image", "auto"}, {"wayland", "auto"}};
  for (const auto& [word, choice] : cases) {
    EXPECT_EQ(CaptureSourceChoice(word, linux_sources), choice) << word;
  }
  EXPECT_EQ(Parse({"--capture-backend", "x11"}).capture_backend, "auto");
}

TEST(CommandLineTest, LogCapIsReadInMebibytesAndOutOfRangeRestoresTheDefault) {
  const std::vector<std::pair<std::vector<std::string>, uint32_t>> cases{
      {{}, 64},
      {{"--log-cap-mib", "1"}, 1},
      {{"--log-cap-mib", "1048576"}, 1048576},
      {{"--log-cap-mib", "5", "--log-cap-mib", "0"}, 64},
      {{"--log-cap-mib", "1048577"}, 64},
      {{"--log-cap-mib", "99999999999999999999"}, 64},
      {{"--log-cap-mib", "-3"}, 64}};
  for (const auto& [arguments, mebibytes] : cases) {
    EXPECT_EQ(Parse(arguments).options.log_cap_mib, mebibytes)
        << ::testing::PrintToString(arguments);
  }
}

TEST(CommandLineTest, AfterPidTakesAPositiveProcessIdAndIgnoresAnythingElse) {
  const std::vector<std::pair<std::vector<std::string>, uint32_t>> cases{
      {{}, 0},
      {{"--after-pid", "4321"}, 4321},
      {{"--after-pid", "4294967295"}, 4294967295u},
      {{"--after-pid", "4294967296"}, 0},
      {{"--after-pid", "-7"}, 0},
      {{"--after-pid", "pid"}, 0}};
  for (const auto& [arguments, pid] : cases) {
    EXPECT_EQ(Parse(arguments).after_pid, pid) << ::testing::PrintToString(arguments);
  }
}

TEST(CommandLineTest, ExtendTakesWidthByHeightAndRefusesAnythingElse) {
  struct Case {
    std::vector<std::string> arguments;
    uint16_t width, height;
    std::string rejected;
  };
  const std::vector<Case> cases{{{}, 0, 0, ""},
                                {{"--extend", "1920x1080"}, 1920, 1080, ""},
                                {{"--extend", "64X8192"}, 64, 8192, ""},
                                {{"--extend", "01280x0720"}, 1280, 720, ""},
                                // the last one counts, a refused one included
                                {{"--extend", "800x600", "--extend", "1024x768"}, 1024, 768, ""},
                                {{"--extend", "800x600", "--extend", "wide"}, 0, 0, "wide"},
                                {{"--extend", "63x600"}, 0, 0, "63x600"},
                                {{"--extend", "8193x600"}, 0, 0, "8193x600"},
                                {{"--extend", "99999999999x600"}, 0, 0, "99999999999x600"},
                                {{"--extend", "1920x"}, 0, 0, "1920x"},
                                {{"--extend", "x1080"}, 0, 0, "x1080"},
                                {{"--extend", "1920*1080"}, 0, 0, "1920*1080"},
                                {{"--extend", "1920x1080 "}, 0, 0, "1920x1080 "},
                                {{"--extend", " 1920x1080"}, 0, 0, " 1920x1080"},
                                {{"--extend", "+1920x1080"}, 0, 0, "+1920x1080"},
                                {{"--extend", "1920x-1080"}, 0, 0, "1920x-1080"},
                                {{"--extend", "1920x1080x2"}, 0, 0, "1920x1080x2"}};
  for (const Case& c : cases) {
    const CommandLine parsed = Parse(c.arguments);
    EXPECT_EQ(parsed.options.extend_width, c.width) << ::testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.options.extend_height, c.height) << ::testing::PrintToString(c.arguments);
    EXPECT_EQ(parsed.extend_rejected, c.rejected) << ::testing::PrintToString(c.arguments);
  }
}

TEST(CommandLineTest, EncoderTakesAKnownNameAndIgnoresAnUnknownOne) {
  const std::vector<std::pair<std::vector<std::string>, EncoderChoice>> cases{
      {{}, EncoderChoice::kAuto},
      {{"--encoder", "openh264"}, EncoderChoice::kOpenH264},
      {{"--encoder", "X264"}, EncoderChoice::kX264},
      {{"--encoder", "hardware"}, EncoderChoice::kHardware},
      {{"--encoder", "x264", "--encoder", "h264"}, EncoderChoice::kX264},
      {{"--encoder"}, EncoderChoice::kAuto}};
  for (const auto& [arguments, choice] : cases) {
    EXPECT_EQ(Parse(arguments).options.encoder, choice) << ::testing::PrintToString(arguments);
  }
}

TEST(CommandLineTest, ValueOfAnOptionIsAlsoExaminedAsAnArgument) {
  const CommandLine parsed = Parse({"--capture-backend", "--console"});
  EXPECT_EQ(parsed.capture_backend, "auto");
  EXPECT_TRUE(parsed.console);
  EXPECT_FALSE(parsed.background);
}

TEST(CommandLineTest, ConsoleAndBackgroundAreIndependentFlags) {
  const CommandLine parsed = Parse({"--background", "--console"});
  EXPECT_TRUE(parsed.console);
  EXPECT_TRUE(parsed.background);
}

TEST(CommandLineTest, OutOfRangeCaptureOutputKeepsTheIndexGivenAsDefault) {
  CommandLine defaults;
  defaults.capture_output_index = 2;
  const char* argv[] = {"orvane-host", "--capture-output", "9"};
  EXPECT_EQ(ParseCommandLine(3, argv, defaults).capture_output_index, 2u);
}

}  // namespace
}  // namespace orvane
