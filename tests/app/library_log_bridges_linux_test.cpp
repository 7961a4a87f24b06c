#include "app/library_log_bridges.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}
#include <glib.h>
#include <google/protobuf/stubs/logging.h>

#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;

// GLib takes its writer once per process.
void InstallOnce() {
  static const bool installed = (InstallLibraryLogBridges(), true);
  (void)installed;
}

TEST(LibraryLogBridgesTest, LibavLinesArriveWholeAndNamedAfterLibav) {
  InstallOnce();
  LogCapture log;
  av_log(nullptr, AV_LOG_ERROR, "first piece, ");
  av_log(nullptr, AV_LOG_ERROR, "second piece\n");
  av_log(nullptr, AV_LOG_DEBUG, "below the level libav is set to\n");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"[libav] first piece, second piece"});
}

TEST(LibraryLogBridgesTest, GlibAndProtobufMessagesAreNamedAfterTheirLibrary) {
  InstallOnce();
  LogCapture log;
  g_log("OrvaneTest", G_LOG_LEVEL_WARNING, "a %s warning", "formatted");
  g_log("OrvaneTest", G_LOG_LEVEL_DEBUG, "left out");
  GOOGLE_LOG(WARNING) << "field\nwith a line end";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[GLib] OrvaneTest: a formatted warning",
                                                   "[libprotobuf] field\\x0Awith a line end"}));
}

}  // namespace
}  // namespace orvane
