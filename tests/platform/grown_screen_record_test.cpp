#include "platform/grown_screen_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"

namespace orvane {
namespace {

const GrownScreen kRecord{":7", {1920, 1080}, {508, 286}, {3200, 1080}};

TEST(GrownScreenRecordTest, ARecordSurvivesTheFileAndGoesWithIt) {
  testing::TempFolder folder("orvane-grown-screen");
  EXPECT_EQ(ReadGrownScreen(folder.path()), std::nullopt);
  WriteGrownScreen(folder.path(), kRecord);
  EXPECT_EQ(ReadGrownScreen(folder.path()), kRecord);
  ForgetGrownScreen(folder.path());
  EXPECT_EQ(ReadGrownScreen(folder.path()), std::nullopt);
}

TEST(GrownScreenRecordTest, TextsThatAreNotOneRecordAreRefused) {
  EXPECT_EQ(ParseGrownScreen(FormatGrownScreen(kRecord)), kRecord);
  for (const char* text : {"", ":7", ":7 1920 1080 508 286 3200", ":7 1920 1080 508 286 3200 x",
                           ":7 1920 1080 508 286 3200 1080 more", ":7 -1 1080 508 286 3200 1080",
                           ":7 1920 1080 508 286 40000 1080"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseGrownScreen(text), std::nullopt);
  }
}

}  // namespace
}  // namespace orvane
