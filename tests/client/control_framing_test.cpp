#include "client/control_framing.h"

#include <gtest/gtest.h>

#include "security/secure_envelope.h"

namespace orvane::client {
namespace {

const std::vector<uint8_t> kMessage = {0x08, 0x01, 0x10, 0x07, 0x82, 0x03, 0x00};
const SessionKeys kKeys = {std::vector<uint8_t>(32, 0x11), std::vector<uint8_t>(32, 0x22)};

TEST(ControlFramingTest, EachModeOpensOnTheHostWithItsKeyOnly) {
  struct Case {
    FrameMode mode;
    EnvelopeKind kind;
    bool opens_with_primary;
    bool opens_with_compatibility;
  };
  const Case cases[] = {
      {FrameMode::kBare, EnvelopeKind::kBare, true, true},
      {FrameMode::kClearEnvelope, EnvelopeKind::kClear, true, true},
      {FrameMode::kSealedPrimary, EnvelopeKind::kSealed, true, false},
      {FrameMode::kSealedCompatibility, EnvelopeKind::kSealed, false, true},
  };
  constexpr uint64_t kCounter = 0x0102030405060708;
  for (const Case& c : cases) {
    const int mode = static_cast<int>(c.mode);
    const std::optional<std::vector<uint8_t>> payload =
        FrameControlPayload(kMessage, c.mode, kKeys, kCounter);
    ASSERT_TRUE(payload) << mode;
    const EnvelopeView view = ParseEnvelope(*payload);
    EXPECT_EQ(view.kind, c.kind) << mode;
    if (c.kind != EnvelopeKind::kBare) {
      EXPECT_EQ(view.counter, kCounter) << mode;
    }
    const auto with_primary = OpenEnvelope(*payload, kKeys.primary, kControlDirection);
    const auto with_compatibility = OpenEnvelope(*payload, kKeys.compatibility, kControlDirection);
    EXPECT_EQ(with_primary.has_value(), c.opens_with_primary) << mode;
    EXPECT_EQ(with_compatibility.has_value(), c.opens_with_compatibility) << mode;
    for (const auto& opened : {with_primary, with_compatibility}) {
      if (opened) {
        EXPECT_EQ(*opened, kMessage) << mode;
      }
    }
  }
}

TEST(ControlFramingTest, SealedFramesUseTheClientToHostDirection) {
  const auto payload = FrameControlPayload(kMessage, FrameMode::kSealedPrimary, kKeys, 9);
  ASSERT_TRUE(payload);
  EXPECT_TRUE(OpenEnvelope(*payload, kKeys.primary, kControlDirection));
  EXPECT_FALSE(OpenEnvelope(*payload, kKeys.primary, kInputDirection));
  EXPECT_EQ(payload->size(), kMessage.size() + 29);
}

TEST(ControlFramingTest, SealingWithoutTheKeyFails) {
  const SessionKeys only_primary = {kKeys.primary, {}};
  EXPECT_FALSE(FrameControlPayload(kMessage, FrameMode::kSealedPrimary, {}, 1));
  EXPECT_FALSE(FrameControlPayload(kMessage, FrameMode::kSealedCompatibility, only_primary, 1));
  EXPECT_TRUE(FrameControlPayload(kMessage, FrameMode::kClearEnvelope, {}, 1));
}

}  // namespace
}  // namespace orvane::client
