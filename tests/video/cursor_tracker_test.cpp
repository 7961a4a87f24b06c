#include "video/cursor_tracker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "video/cursor_shape_name.h"

namespace orvane {
namespace {

struct FakeCursorState {
  bool pointer_readable = true;
  CursorPointer pointer;
  bool image_readable = true;
  CursorImage image;
  int image_reads = 0;
};

class FakeCursorSource : public CursorSource {
 public:
  explicit FakeCursorSource(FakeCursorState& state) : state_(state) {}

  bool ReadPointer(CursorPointer& pointer) override {
    pointer = state_.pointer;
    return state_.pointer_readable;
  }
  bool ReadImage(CursorImage& image) override {
    ++state_.image_reads;
    if (!state_.image_readable) {
      image.shape = state_.image.shape;
      return false;
    }
    image = state_.image;
    return true;
  }

 private:
  FakeCursorState& state_;
};

CursorImage Image(const std::string& shape, uint32_t width, uint32_t height) {
  CursorImage image;
  image.shape = shape;
  image.hotspot_x = 4;
  image.hotspot_y = 9;
  image.width = width;
  image.height = height;
  for (uint32_t i = 0; i < width * height; ++i) {
    image.bgra.insert(image.bgra.end(), {static_cast<uint8_t>(i), 0x20, 0x30, 0xFF});
  }
  return image;
}

class CursorTrackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.pointer = {100, 200, true, 1};
    state_.image = Image("arrow", 2, 3);
  }

  void ExpectPositionOnly(const protocol::v1::CursorUpdate& update, int32_t x, int32_t y,
                          bool visible) {
    EXPECT_EQ(update.position_x(), x);
    EXPECT_EQ(update.position_y(), y);
    EXPECT_EQ(update.visible(), visible);
    EXPECT_EQ(update.shape(), "");
    EXPECT_EQ(update.hotspot_x(), 0);
    EXPECT_EQ(update.hotspot_y(), 0);
    EXPECT_EQ(update.width(), 0u);
    EXPECT_EQ(update.height(), 0u);
    EXPECT_TRUE(update.bitmap_argb().empty());
  }

  void ExpectFull(const protocol::v1::CursorUpdate& update, const CursorImage& image) {
    EXPECT_EQ(update.shape(), image.shape);
    EXPECT_EQ(update.hotspot_x(), image.hotspot_x);
    EXPECT_EQ(update.hotspot_y(), image.hotspot_y);
    EXPECT_EQ(update.width(), image.width);
    EXPECT_EQ(update.height(), image.height);
    EXPECT_EQ(update.bitmap_argb(), std::string(image.bgra.begin(), image.bgra.end()));
  }

  FakeCursorState state_;
  CursorTracker tracker_{std::make_unique<FakeCursorSource>(state_)};
};

TEST_F(CursorTrackerTest, FirstPollSendsTheWholeCursor) {
  const auto update = tracker_.Poll();
  ASSERT_TRUE(update.has_value());
  EXPECT_EQ(update->position_x(), 100);
  EXPECT_EQ(update->position_y(), 200);
  EXPECT_TRUE(update->visible());
  ExpectFull(*update, state_.image);
  EXPECT_EQ(update->bitmap_argb().size(), 2u * 3u * 4u);
}

TEST_F(CursorTrackerTest, UnchangedCursorSendsNothingAndReadsNoImage) {
  ASSERT_TRUE(tracker_.Poll().has_value());
  EXPECT_FALSE(tracker_.Poll().has_value());
  EXPECT_FALSE(tracker_.Poll().has_value());
  EXPECT_EQ(state_.image_reads, 1);
}

TEST_F(CursorTrackerTest, MovementSendsThePositionWithoutPixels) {
  ASSERT_TRUE(tracker_.Poll().has_value());
  state_.pointer.x = 101;
  const auto update = tracker_.Poll();
  ASSERT_TRUE(update.has_value());
  ExpectPositionOnly(*update, 101, 200, true);
  EXPECT_EQ(state_.image_reads, 1);
}

TEST_F(CursorTrackerTest, ShapeChangeSendsTheNewImage) {
  ASSERT_TRUE(tracker_.Poll().has_value());
  state_.pointer.image_id = 2;
  state_.image = Image("text", 3, 4);
  const auto update = tracker_.Poll();
  ASSERT_TRUE(update.has_value());
  EXPECT_EQ(update->position_x(), 100);
  ExpectFull(*update, state_.image);
}

TEST_F(CursorTrackerTest, HidingAndShowingAreSentAsPositionUpdates) {
  ASSERT_TRUE(tracker_.Poll().has_value());
  state_.pointer.visible = false;
  const auto hidden = tracker_.Poll();
  ASSERT_TRUE(hidden.has_value());
  ExpectPositionOnly(*hidden, 100, 200, false);
  EXPECT_FALSE(tracker_.Poll().has_value());
  state_.pointer.visible = true;
  const auto shown = tracker_.Poll();
  ASSERT_TRUE(shown.has_value());
  ExpectPositionOnly(*shown, 100, 200, true);
}

TEST_F(CursorTrackerTest, UnreadablePointerIsNoChange) {
  state_.pointer_readable = false;
  EXPECT_FALSE(tracker_.Poll().has_value());
  state_.pointer_readable = true;
  ASSERT_TRUE(tracker_.Poll().has_value());
  EXPECT_EQ(state_.image_reads, 1);
}

TEST_F(CursorTrackerTest, ImageWithoutUsablePixelsGoesOutWithItsShapeOnly) {
  struct Case {
    const char* name;
    bool readable;
    CursorImage image;
  };
  CursorImage short_pixels = Image("custom", 4, 4);
  short_pixels.bgra.resize(10);
  const Case cases[] = {
      {"unreadable image", false, Image("hand", 2, 2)},
      {"pixels shorter than the size", true, short_pixels},
      {"empty image", true, Image("custom", 0, 0)},
  };
  uint64_t image_id = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state_.pointer.image_id = ++image_id;
    state_.image_readable = c.readable;
    state_.image = c.image;
    const auto update = tracker_.Poll();
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->shape(), c.image.shape);
    EXPECT_EQ(update->width(), 0u);
    EXPECT_EQ(update->height(), 0u);
    EXPECT_EQ(update->hotspot_x(), 0);
    EXPECT_TRUE(update->bitmap_argb().empty());
  }
}

TEST_F(CursorTrackerTest, NewStreamGetsTheWholeCursorAgain) {
  ASSERT_TRUE(tracker_.Poll().has_value());
  ASSERT_FALSE(tracker_.Poll().has_value());
  tracker_.RequestFullUpdate();
  const auto update = tracker_.Poll();
  ASSERT_TRUE(update.has_value());
  ExpectFull(*update, state_.image);
  EXPECT_FALSE(tracker_.Poll().has_value());
}

TEST(CursorControlMessageTest, CarriesVersionOneAndNoSequenceOrTime) {
  protocol::v1::CursorUpdate update;
  update.set_position_x(-5);
  update.set_shape("arrow");
  const protocol::v1::ControlMessage message = CursorControlMessage(update);
  EXPECT_EQ(message.protocol_version(), 1u);
  EXPECT_EQ(message.sequence_id(), 0u);
  EXPECT_EQ(message.timestamp_us(), 0u);
  ASSERT_TRUE(message.has_cursor_update());
  EXPECT_EQ(message.cursor_update().SerializeAsString(), update.SerializeAsString());
}

TEST(CursorShapeNameTest, MapsXCursorNamesToShapeNames) {
  struct Case {
    const char* x_name;
    const char* shape;
  };
  const Case cases[] = {
      {"left_ptr", "arrow"},
      {"default", "arrow"},
      {"hand2", "hand"},
      {"pointer", "hand"},
      {"xterm", "text"},
      {"text", "text"},
      {"watch", "wait"},
      {"wait", "wait"},
      {"crosshair", "cross"},
      {"sb_h_double_arrow", "resize_ew"},
      {"ew-resize", "resize_ew"},
      {"sb_v_double_arrow", "resize_ns"},
      {"ns-resize", "resize_ns"},
      {"fd_double_arrow", "resize_nesw"},
      {"nesw-resize", "resize_nesw"},
      {"bd_double_arrow", "resize_nwse"},
      {"nwse-resize", "resize_nwse"},
      {"fleur", "move"},
      {"move", "move"},
      {"not-allowed", "not_allowed"},
      {"crossed_circle", "not_allowed"},
      {"progress", "progress"},
      {"left_ptr_watch", "progress"},
      {"", "custom"},
      {"col-resize", "custom"},
      {"Left_ptr", "custom"},
      {"left_ptr ", "custom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x_name);
    EXPECT_EQ(CursorShapeFromXName(c.x_name), c.shape);
  }
}

}  // namespace
}  // namespace orvane
