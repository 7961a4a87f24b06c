#include "platform/extend_placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

TEST(ExtendPlacementTest, PlacesRightOfEveryMonitorAndGrowsTheScreenOnlyAsFarAsNeeded) {
  struct Case {
    const char* name;
    std::vector<PixelArea> others;
    PixelSize framebuffer;
    PixelSize requested;
    PixelArea monitor;
    PixelSize grown;
  };
  const PixelSize largest{8192, 8192};
  const std::vector<Case> cases{
      {"fits in the room right of the only monitor",
       {{0, 0, 1920, 1080}},
       {3200, 1080},
       {1280, 720},
       {1920, 0, 1280, 720},
       {3200, 1080}},
      {"grows the width",
       {{0, 0, 1920, 1080}},
       {1920, 1080},
       {1280, 720},
       {1920, 0, 1280, 720},
       {3200, 1080}},
      {"grows the height for a taller monitor",
       {{0, 0, 1920, 1080}},
       {1920, 1080},
       {1200, 1920},
       {1920, 0, 1200, 1920},
       {3120, 1920}},
      {"right of the rightmost edge, whatever the order and rows",
       {{2560, 1440, 1920, 1080}, {0, 0, 2560, 1440}, {1000, 1440, 1000, 1080}},
       {4480, 2520},
       {800, 600},
       {4480, 0, 800, 600},
       {5280, 2520}},
      {"never shrinks a wider screen",
       {{0, 0, 1024, 768}},
       {4000, 2000},
       {640, 480},
       {1024, 0, 640, 480},
       {4000, 2000}},
      {"no monitor at all starts at the left edge",
       {},
       {1024, 768},
       {640, 480},
       {0, 0, 640, 480},
       {1024, 768}}};
  for (const Case& c : cases) {
    const ExtendPlacement placement =
        PlaceExtendedMonitor(c.others, c.framebuffer, largest, c.requested);
    EXPECT_EQ(placement.monitor, c.monitor) << c.name;
    EXPECT_EQ(placement.framebuffer, c.grown) << c.name;
    EXPECT_EQ(placement.refusal, "") << c.name;
  }
}

TEST(ExtendPlacementTest, RefusesWhatTheServerCannotHold) {
  struct Case {
    std::vector<PixelArea> others;
    PixelSize largest;
    PixelSize requested;
    std::string refusal;
  };
  const std::vector<Case> cases{
      {{{0, 0, 1920, 1080}},
       {3200, 1080},
       {1600, 900},
       "the screen would have to be 3520x1080 and the server allows at most 3200x1080"},
      {{{0, 0, 1920, 1080}},
       {3200, 1080},
       {1280, 1200},
       "the screen would have to be 3200x1200 and the server allows at most 3200x1080"},
      // X11 coordinates end at 32767, whatever the server claims to allow
      {{{0, 0, 30000, 1080}},
       {65535, 65535},
       {4096, 1080},
       "the screen would have to be 34096x1080 and the server allows at most 65535x65535"}};
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceExtendedMonitor(c.others, {1920, 1080}, c.largest, c.requested).refusal,
              c.refusal);
  }
}

TEST(ExtendPlacementTest, PhysicalSizeKeepsTheScreensDensity) {
  EXPECT_EQ(MillimetresAtSameDensity(1280, 1920, 508), 338u);
  EXPECT_EQ(MillimetresAtSameDensity(3200, 1920, 508), 846u);
  // no physical size given: 96 dots per inch
  EXPECT_EQ(MillimetresAtSameDensity(960, 1920, 0), 254u);
  EXPECT_EQ(MillimetresAtSameDensity(960, 0, 508), 254u);
}

}  // namespace
}  // namespace orvane
