#include "net/abr_controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace orvane {
namespace {

using testing::LogCapture;

constexpr uint64_t kSecond = 1000000000;

class AbrControllerTest : public ::testing::Test {
 protected:
  // Each report 2 s after the previous one, so that every one is evaluated.
  uint32_t Report(float rtt_ms, float loss_pct) {
    const uint32_t result = abr_.Update(rtt_ms, loss_pct);
    now_ns_ += 2 * kSecond;
    return result;
  }

  LogCapture log_;
  uint64_t now_ns_ = 0;
  AbrController abr_{[this] { return now_ns_; }};
};

TEST_F(AbrControllerTest, DecidesOnStrictThresholds) {
  const float nan = std::nanf("");
  struct Case {
    const char* name;
    uint32_t start_kbps;
    float rtt_ms;
    float loss_pct;
    uint32_t result;
    uint32_t current_kbps;
  };
  const Case cases[] = {
      {"loss above 2%", 8000, 20.0f, 3.0f, 5600, 5600},
      {"loss of exactly 2%", 8000, 20.0f, 2.0f, 0, 8000},
      {"clean path", 8000, 99.0f, 0.4f, 8500, 8500},
      {"round trip of exactly 100 ms", 8000, 100.0f, 0.4f, 0, 8000},
      {"loss of exactly 0.5%", 8000, 10.0f, 0.5f, 0, 8000},
      {"NaN loss", 8000, 10.0f, nan, 0, 8000},
      {"NaN round trip", 8000, nan, 0.1f, 0, 8000},
      {"step past the upper bound", 49800, 10.0f, 0.0f, 50000, 50000},
      {"at the upper bound", 50000, 10.0f, 0.0f, 0, 50000},
      {"negotiated above the upper bound", 60000, 10.0f, 0.0f, 50000, 50000},
      {"top of the 32-bit range", 4294967295u, 10.0f, 0.0f, 50000, 50000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    abr_.Reset(c.start_kbps);
    EXPECT_EQ(Report(c.rtt_ms, c.loss_pct), c.result);
    EXPECT_EQ(abr_.current_kbps(), c.current_kbps);
  }
  EXPECT_TRUE(
      log_.Contains("[ABR] High packet loss (3.0%) -- decreasing bitrate 8000 -> 5600 kbps"));
  EXPECT_TRUE(
      log_.Contains("[ABR] Low loss (0.4%), RTT=99ms -- increasing bitrate 8000 -> 8500 kbps"));
}

TEST_F(AbrControllerTest, DecreasesInSinglePrecisionDownToTheLowerBound) {
  std::vector<uint32_t> results;
  for (int i = 0; i < 7; ++i) {
    results.push_back(Report(10.0f, 5.0f));
  }
  EXPECT_EQ(results, (std::vector<uint32_t>{5600, 3920, 2744, 1920, 1344, 1000, 0}));
  EXPECT_EQ(abr_.current_kbps(), 1000u);
  // The warning shows the value before clamping.
  EXPECT_TRUE(log_.Contains("decreasing bitrate 1344 -> 940 kbps"));
  EXPECT_TRUE(log_.Contains("decreasing bitrate 1000 -> 700 kbps"));
}

TEST_F(AbrControllerTest, HoldsEachDecisionForTwoSeconds) {
  now_ns_ = 0;
  EXPECT_EQ(abr_.Update(10.0f, 0.0f), 8500u);
  now_ns_ = 1500000000;
  EXPECT_EQ(abr_.Update(10.0f, 9.0f), 0u);  // not even looked at
  now_ns_ = 2 * kSecond - 1;
  EXPECT_EQ(abr_.Update(10.0f, 9.0f), 0u);
  EXPECT_EQ(abr_.current_kbps(), 8500u);
  now_ns_ = 2 * kSecond;
  EXPECT_EQ(abr_.Update(10.0f, 9.0f), 5950u);

  // A report that changes nothing still starts a new hold.
  now_ns_ = 4 * kSecond;
  EXPECT_EQ(abr_.Update(10.0f, 1.0f), 0u);
  now_ns_ = 5 * kSecond;
  EXPECT_EQ(abr_.Update(10.0f, 0.0f), 0u);
  now_ns_ = 6 * kSecond;
  EXPECT_EQ(abr_.Update(10.0f, 0.0f), 6450u);
}

}  // namespace
}  // namespace orvane
