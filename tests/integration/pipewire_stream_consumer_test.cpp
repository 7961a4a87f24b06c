#include "video/pipewire_stream_consumer_pipewire.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "integration/pipewire_daemon.h"
#include "support/log_capture.h"
#include "support/pipewire_test_producer.h"
#include "support/temp_folder.h"
#include "video/damage_copy.h"
#include "video/encoder_input.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::PatternPicture;
using testing::PipeWireDaemon;
using testing::PipeWireTestProducer;
using testing::ProducerBuffer;
using testing::ProducerCursor;
using testing::ProducerRect;

// `base` with the rectangle taken from `over`.
std::vector<uint8_t> Patched(std::vector<uint8_t> base, const std::vector<uint8_t>& over,
                             uint32_t width, PixelRect rect) {
  for (uint32_t y = rect.y; y < rect.y + rect.height; ++y) {
    const size_t start = (size_t{y} * width + rect.x) * 4;
    std::copy(over.begin() + start, over.begin() + start + size_t{rect.width} * 4,
              base.begin() + start);
  }
  return base;
}

std::vector<uint8_t> FrameBytes(const CapturedFrame& frame) {
  std::vector<uint8_t> bytes;
  for (uint32_t row = 0; row < frame.height; ++row) {
    const uint8_t* start = frame.data + size_t{row} * frame.row_pitch;
    bytes.insert(bytes.end(), start, start + size_t{frame.width} * 4);
  }
  return bytes;
}

std::vector<uint8_t> Nv12Of(const std::vector<uint8_t>& bgra, uint32_t width, uint32_t height) {
  std::vector<uint8_t> nv12(Nv12FrameSize(width, height));
  const size_t luma = size_t{width} * height;
  ConvertBgraToNv12(bgra.data(), size_t{width} * 4, width, height,
                    {nv12.data(), width, nv12.data() + luma, width});
  return nv12;
}

class PipeWireStreamConsumerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder("orvane-pipewire");
    daemon_ = new PipeWireDaemon(folder_->path());
  }
  static void TearDownTestSuite() {
    delete daemon_;
    delete folder_;
  }

  void SetUp() override {
    ASSERT_TRUE(daemon_->started()) << "pipewire and wireplumber must be installed";
    producer_ = std::make_unique<PipeWireTestProducer>(daemon_->Connect(), kWidth, kHeight);
    const std::optional<uint32_t> node = producer_->NodeId();
    ASSERT_TRUE(node.has_value());
    ASSERT_TRUE(consumer_.Open(daemon_->Connect(), *node));
    ASSERT_TRUE(producer_->WaitStreaming()) << "the session manager linked nothing";
    // Until its own side runs, the consumer's node takes no part in the producer's cycles.
    ASSERT_TRUE(testing::WaitUntil([&] { return consumer_.streaming(); }));
  }

  // Sends `buffer` until `arrived` says the consumer took it. A buffer sent just as the
  // stream starts or renegotiates can be lost on the way (a desktop's next change goes out
  // anyway); sending the same buffer again changes nothing else.
  bool SendUntil(const ProducerBuffer& buffer, const std::function<bool()>& arrived) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (producer_->Send(buffer) && testing::WaitUntil(arrived, 2s)) {
        return true;
      }
    }
    return false;
  }

  // Sends a picture and captures the frame it makes.
  CapturedFrame Deliver(std::vector<uint8_t> bgrx, std::vector<ProducerRect> damage) {
    ProducerBuffer buffer;
    buffer.bgrx = std::move(bgrx);
    buffer.damage = std::move(damage);
    CapturedFrame frame;
    SendUntil(buffer, [&] {
      frame = consumer_.Capture(50);
      return frame.status == CaptureStatus::kFrameReady;
    });
    return frame;
  }

  static constexpr uint32_t kWidth = 96;
  static constexpr uint32_t kHeight = 64;
  static testing::TempFolder* folder_;
  static PipeWireDaemon* daemon_;
  std::shared_ptr<StreamCursorFeed> cursor_ = std::make_shared<StreamCursorFeed>();
  std::unique_ptr<PipeWireTestProducer> producer_;
  PipeWireStreamConsumer consumer_{cursor_};
};

testing::TempFolder* PipeWireStreamConsumerTest::folder_ = nullptr;
PipeWireDaemon* PipeWireStreamConsumerTest::daemon_ = nullptr;

// The first picture arrives whole; a later one only where its damage says it changed,
// even when the rest of its buffer holds something else, and with NV12 converted only
// there. An idle producer sends nothing: the picture stays.
TEST_F(PipeWireStreamConsumerTest, KeepsTheProducersPictureAndCopiesOnlyItsDamage) {
  const std::vector<uint8_t> first = PatternPicture(kWidth, kHeight, 1);
  CapturedFrame frame = Deliver(first, {{0, 0, kWidth, kHeight}});
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  ASSERT_EQ(frame.width, kWidth);
  ASSERT_EQ(frame.height, kHeight);
  EXPECT_EQ(FrameBytes(frame), first);
  EXPECT_EQ(std::vector<uint8_t>(frame.nv12, frame.nv12 + Nv12FrameSize(kWidth, kHeight)),
            Nv12Of(first, kWidth, kHeight));

  const std::vector<uint8_t> second = PatternPicture(kWidth, kHeight, 2);
  const std::vector<ScreenRect> damage = {{10, 8, 12, 6}, {50, 30, 7, 9}, {90, 60, 20, 20}};
  std::vector<ProducerRect> producer_damage;
  for (const ScreenRect& rect : damage) {
    producer_damage.push_back({rect.x, rect.y, rect.width, rect.height});
  }
  frame = Deliver(second, producer_damage);
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  const DamageCopyPlan plan = PlanDamageCopy(damage, 0, 0, kWidth, kHeight);
  ASSERT_FALSE(plan.whole);
  std::vector<uint8_t> expected = first;
  for (const PixelRect& rect : plan.rects) {
    expected = Patched(expected, second, kWidth, rect);
  }
  EXPECT_EQ(FrameBytes(frame), expected);
  EXPECT_EQ(std::vector<uint8_t>(frame.nv12, frame.nv12 + Nv12FrameSize(kWidth, kHeight)),
            Nv12Of(expected, kWidth, kHeight));
  ASSERT_EQ(consumer_.last_changed_rects().size(), plan.rects.size());
  for (size_t i = 0; i < plan.rects.size(); ++i) {
    EXPECT_EQ(consumer_.last_changed_rects()[i].x, plan.rects[i].x);
    EXPECT_EQ(consumer_.last_changed_rects()[i].width, plan.rects[i].width);
  }

  EXPECT_EQ(consumer_.Capture(200).status, CaptureStatus::kNoNewFrame);
}

TEST_F(PipeWireStreamConsumerTest, DropsACorruptedBufferAndCopiesTheNextOneWhole) {
  const std::vector<uint8_t> first = PatternPicture(kWidth, kHeight, 3);
  ASSERT_EQ(Deliver(first, {{0, 0, kWidth, kHeight}}).status, CaptureStatus::kFrameReady);

  ProducerBuffer corrupted;
  corrupted.bgrx = PatternPicture(kWidth, kHeight, 4);
  corrupted.damage = {{0, 0, 40, 40}};
  corrupted.corrupted = true;
  ASSERT_TRUE(SendUntil(corrupted, [&] {
    EXPECT_NE(consumer_.Capture(50).status, CaptureStatus::kFrameReady);
    return consumer_.dropped_buffers() > 0;
  }));

  // Its damage is relative to the dropped picture, which the consumer never saw.
  const std::vector<uint8_t> third = PatternPicture(kWidth, kHeight, 5);
  const CapturedFrame frame = Deliver(third, {{0, 0, 4, 4}});
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(FrameBytes(frame), third);
}

TEST_F(PipeWireStreamConsumerTest, FollowsTheProducerToANewSize) {
  ASSERT_EQ(Deliver(PatternPicture(kWidth, kHeight, 6), {{0, 0, kWidth, kHeight}}).status,
            CaptureStatus::kFrameReady);

  producer_->Resize(120, 50);
  ASSERT_TRUE(producer_->WaitStreaming());
  const std::vector<uint8_t> resized = PatternPicture(120, 50, 7);
  const CapturedFrame frame = Deliver(resized, {{0, 0, 120, 50}});
  ASSERT_EQ(frame.status, CaptureStatus::kFrameReady);
  EXPECT_EQ(frame.width, 120u);
  EXPECT_EQ(frame.height, 50u);
  EXPECT_EQ(FrameBytes(frame), resized);
}

// The cursor comes as metadata, also in buffers without a picture, and reaches the cursor
// feed the session's tracker reads.
TEST_F(PipeWireStreamConsumerTest, PassesTheCursorMetadataOnWithoutAPicture) {
  cursor_->SetStreamOrigin(100, 200);
  ProducerBuffer buffer;
  buffer.metadata_only = true;
  ProducerCursor cursor;
  cursor.x = 30;
  cursor.y = 40;
  cursor.hotspot_x = 2;
  cursor.hotspot_y = 3;
  cursor.width = 4;
  cursor.height = 4;
  for (uint8_t i = 0; i < 16; ++i) {
    cursor.argb.insert(cursor.argb.end(), {255, i, static_cast<uint8_t>(i * 2), 7});
  }
  buffer.cursor = cursor;
  CursorPointer pointer;
  ASSERT_TRUE(SendUntil(buffer, [&] {
    EXPECT_NE(consumer_.Capture(50).status, CaptureStatus::kFrameReady);
    return cursor_->ReadPointer(pointer);
  }));
  EXPECT_EQ(pointer.x, 130);
  EXPECT_EQ(pointer.y, 240);
  EXPECT_TRUE(pointer.visible);
  CursorImage image;
  ASSERT_TRUE(cursor_->ReadImage(image));
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.hotspot_y, 3);
  ASSERT_EQ(image.bgra.size(), 64u);
  EXPECT_EQ(image.bgra[4 * 5 + 0], 7);   // B from ARGB byte 3
  EXPECT_EQ(image.bgra[4 * 5 + 1], 10);  // G
  EXPECT_EQ(image.bgra[4 * 5 + 2], 5);   // R
  EXPECT_EQ(image.bgra[4 * 5 + 3], 255);

  // A move without a new image, then the cursor leaving the stream.
  const uint64_t image_id = pointer.image_id;
  cursor.argb.clear();
  cursor.x = 31;
  buffer.cursor = cursor;
  ASSERT_TRUE(SendUntil(buffer, [&] {
    consumer_.Capture(50);
    return cursor_->ReadPointer(pointer) && pointer.x == 131;
  }));
  EXPECT_EQ(pointer.image_id, image_id);
  cursor.id = 0;
  buffer.cursor = cursor;
  EXPECT_TRUE(SendUntil(buffer, [&] {
    consumer_.Capture(50);
    return cursor_->ReadPointer(pointer) && !pointer.visible;
  }));
}

}  // namespace
}  // namespace orvane
