#include "video/frame_diagnostics.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;

constexpr uint64_t kSecondNs = 1000000000;

class FrameDiagnosticsTest : public ::testing::Test {
 protected:
  LogCapture log_;
  FrameDiagnostics diagnostics_{100 * kSecondNs};
};

TEST_F(FrameDiagnosticsTest, FirstFrameIsReportedOnceWithItsNumberAndTime) {
  EXPECT_TRUE(diagnostics_.NoteFrameProduced(1, 777, "session-1"));
  EXPECT_FALSE(diagnostics_.NoteFrameProduced(2, 800, "session-1"));
  EXPECT_EQ(log_.Count("[FrameDiag] First frame produced"), 1u);
  EXPECT_TRUE(log_.Contains("[FrameDiag] First frame produced frame=1 ts_us=777"));
  EXPECT_EQ(diagnostics_.counters().last_frame.load(), 2u);
  EXPECT_EQ(diagnostics_.counters().ts_us.load(), 800u);
}

TEST_F(FrameDiagnosticsTest, FirstFrameWithoutSessionIdIsNeverReported) {
  EXPECT_FALSE(diagnostics_.NoteFrameProduced(1, 10, ""));
  EXPECT_FALSE(diagnostics_.NoteFrameProduced(2, 20, "session-1"));
  EXPECT_FALSE(log_.Contains("First frame produced"));
  EXPECT_EQ(diagnostics_.counters().last_frame.load(), 2u);
}

TEST_F(FrameDiagnosticsTest, PipelineLineNamesEveryCounterAtMostEveryTwoSeconds) {
  PipelineCounters& c = diagnostics_.counters();
  c.total_frames = 1;
  c.capture_fail = 2;
  c.dup_reinit = 3;
  c.wgc_reinit = 4;
  c.dup_timeout = 5;
  c.wgc_timeout = 6;
  c.backend_switch = 7;
  c.encode_fail = 8;
  c.access_units = 9;
  c.empty_access_units = 10;
  c.send_fail = 11;
  c.last_frame = 12;
  c.ts_us = 13;
  diagnostics_.LogPipeline(10000, "dxgi");
  diagnostics_.LogPipeline(11999, "dxgi");
  diagnostics_.LogPipeline(12000, "none");
  EXPECT_EQ(log_.Count("[FrameDiag] Pipeline "), 2u);
  EXPECT_TRUE(log_.Contains(
      "[FrameDiag] Pipeline total_frames=1 capture_fail=2 dup_reinit=3 wgc_reinit=4 "
      "dup_timeout=5 wgc_timeout=6 backend_switch=7 active_backend=dxgi encode_fail=8 "
      "access_units=9 empty_access_units=10 send_fail=11 last_frame=12 ts_us=13"));
  EXPECT_TRUE(log_.Contains("active_backend=none"));
}

TEST_F(FrameDiagnosticsTest, StoppedStreamWithoutFramesLogsZeroes) {
  diagnostics_.LogStopped("none");
  EXPECT_TRUE(log_.Contains("[FrameLoop] Stopped after 0 frames"));
  EXPECT_TRUE(log_.Contains(
      "[FrameDiag] Final pipeline total_frames=0 capture_fail=0 dup_reinit=0 wgc_reinit=0 "
      "dup_timeout=0 wgc_timeout=0 backend_switch=0 active_backend=none encode_fail=0 "
      "access_units=0 empty_access_units=0 send_fail=0"));
  EXPECT_FALSE(log_.Contains("last_frame="));
}

TEST_F(FrameDiagnosticsTest, EncodeFailureIsCountedAndLoggedWithTheEncoderStatus) {
  diagnostics_.NoteEncodeFailure(
      0, Status::Failure(StatusCode::kCodec, "send_frame rejected", 0x80004005u));
  EXPECT_EQ(diagnostics_.counters().encode_fail.load(), 1u);
  EXPECT_TRUE(log_.Contains(
      "[FrameDiag] Encode failed monitor=0 code=6 msg=send_frame rejected hr=0x80004005"));
}

TEST_F(FrameDiagnosticsTest, EmptyAccessUnitsAreAllCountedButLoggedOncePerSecond) {
  diagnostics_.NoteEmptyAccessUnit(0, 5, 500, 3000);
  diagnostics_.NoteEmptyAccessUnit(0, 6, 600, 3999);
  diagnostics_.NoteEmptyAccessUnit(0, 7, 700, 4000);
  EXPECT_EQ(diagnostics_.counters().empty_access_units.load(), 3u);
  EXPECT_EQ(log_.Count("[FrameDiag] Encoder returned empty access unit"), 2u);
  EXPECT_TRUE(log_.Contains(
      "[FrameDiag] Encoder returned empty access unit (monitor=0, frame=5, ts_us=500)"));
  EXPECT_TRUE(log_.Contains("(monitor=0, frame=7, ts_us=700)"));
}

TEST_F(FrameDiagnosticsTest, StatsReportIsDueEveryFiveSecondsOfAnActiveStream) {
  const uint64_t start = 100 * kSecondNs;
  struct Case {
    uint64_t at_ns;
    bool stream_active;
    bool due;
  };
  const Case cases[] = {
      {start + 5 * kSecondNs - 1, true, false},
      {start + 5 * kSecondNs, false, false},
      // The period was not restarted by the inactive check above.
      {start + 6 * kSecondNs, true, true},
      {start + 10 * kSecondNs, true, false},
      {start + 11 * kSecondNs, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at_ns - start);
    EXPECT_EQ(diagnostics_.TakeStatsReport(c.at_ns, c.stream_active).has_value(), c.due);
  }
}

TEST_F(FrameDiagnosticsTest, StatsReportCarriesThePercentilesOfItsOwnPeriod) {
  for (int ms = 1; ms <= 20; ++ms) {
    diagnostics_.AddCaptureSample(static_cast<float>(21 - ms));
    diagnostics_.AddEncodeSample(static_cast<float>(ms) / 2.0f);
  }
  const auto first = diagnostics_.TakeStatsReport(105 * kSecondNs, true);
  ASSERT_TRUE(first.has_value());
  EXPECT_FLOAT_EQ(first->capture_ms_p50, 10.0f);
  EXPECT_FLOAT_EQ(first->capture_ms_p95, 19.0f);
  EXPECT_FLOAT_EQ(first->encode_ms_p50, 5.0f);
  EXPECT_FLOAT_EQ(first->encode_ms_p95, 9.5f);

  diagnostics_.AddCaptureSample(3.0f);
  const auto second = diagnostics_.TakeStatsReport(110 * kSecondNs, true);
  ASSERT_TRUE(second.has_value());
  EXPECT_FLOAT_EQ(second->capture_ms_p50, 3.0f);
  EXPECT_FLOAT_EQ(second->capture_ms_p95, 3.0f);
  EXPECT_FLOAT_EQ(second->encode_ms_p50, 0.0f);
  EXPECT_FLOAT_EQ(second->encode_ms_p95, 0.0f);
}

TEST(TimingWindowTest, KeepsOnlyTheMostRecentSamples) {
  TimingWindow window;
  for (size_t i = 0; i < TimingWindow::kCapacity; ++i) {
    window.Add(1000.0f);
  }
  for (size_t i = 0; i < TimingWindow::kCapacity; ++i) {
    window.Add(1.0f);
  }
  EXPECT_FLOAT_EQ(window.Percentile(100), 1.0f);
}

}  // namespace
}  // namespace orvane
