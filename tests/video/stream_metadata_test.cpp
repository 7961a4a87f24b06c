#include "video/stream_metadata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "video/stream_cursor_source.h"
#include "video/stream_pixel_format.h"

namespace orvane {
namespace {

TEST(StreamMetadataTest, DamageListEndsAtItsFirstEmptyEntry) {
  const std::vector<StreamRegion> regions = {
      {0, 0, 10, 5}, {-4, 7, 3, 3}, {0, 0, 0, 0}, {50, 50, 9, 9}};
  const std::vector<ScreenRect> rects = StreamDamage(regions);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[1].x, -4);
  EXPECT_EQ(rects[1].width, 3u);
  EXPECT_TRUE(StreamDamage(std::vector<StreamRegion>{{5, 5, 0, 7}}).empty());
}

// Cursor metadata as a producer writes it: the cursor record, then (at bitmap_offset) the
// bitmap record, then (at its pixels offset) the rows.
struct CursorBlock {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(28 + 20 + 16 * 8 * 4);
  void Put(size_t offset, uint32_t value) { std::memcpy(&bytes[offset], &value, 4); }
  CursorBlock(uint32_t id, int32_t x, int32_t y, uint32_t bitmap_offset) {
    Put(0, id);
    Put(8, static_cast<uint32_t>(x));
    Put(12, static_cast<uint32_t>(y));
    Put(16, 3);  // hotspot
    Put(20, 4);
    Put(24, bitmap_offset);
  }
  // A 2 x 2 image of `format`, rows `stride` bytes apart, pixel bytes counting up.
  void Bitmap(uint32_t format, uint32_t width, uint32_t height, int32_t stride,
              uint32_t pixels_offset) {
    Put(28, format);
    Put(32, width);
    Put(36, height);
    Put(40, static_cast<uint32_t>(stride));
    Put(44, pixels_offset);
    for (size_t i = 48; i < bytes.size(); ++i) {
      bytes[i] = static_cast<uint8_t>(i - 48);
    }
  }
};

TEST(StreamMetadataTest, CursorRecordsAreReadWithTheirBitmapOnlyWhenItFitsTheBlock) {
  const uint32_t argb = static_cast<uint32_t>(StreamPixelFormat::kArgb);
  struct Case {
    const char* name;
    CursorBlock block;
    size_t size;  // of the block given to the parser
    bool parsed;
    bool visible;
    bool bitmap;
  };
  auto with_bitmap = [&](uint32_t format, uint32_t width, int32_t stride, uint32_t offset) {
    CursorBlock block(7, 100, -20, 28);
    block.Bitmap(format, width, 2, stride, offset);
    return block;
  };
  CursorBlock whole = with_bitmap(argb, 2, 8, 20);
  const Case cases[] = {
      {"position only", CursorBlock(7, 100, -20, 0), 28, true, true, false},
      {"no cursor over the stream", CursorBlock(0, 100, -20, 28), 28, true, false, false},
      {"block too short", CursorBlock(7, 100, -20, 0), 27, false, false, false},
      {"image", whole, whole.bytes.size(), true, true, true},
      {"image past the block", whole, 28 + 20 + 8 + 7, true, true, false},
      {"bitmap record past the block", whole, 28 + 19, true, true, false},
      {"stride shorter than a row", with_bitmap(argb, 2, 7, 20), whole.bytes.size(), true, true,
       false},
      {"unknown format", with_bitmap(2, 2, 8, 20), whole.bytes.size(), true, true, false},
      {"image without pixels hides the cursor", with_bitmap(argb, 2, 8, 0), whole.bytes.size(),
       true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<StreamCursor> cursor = ParseStreamCursor(c.block.bytes.data(), c.size);
    ASSERT_EQ(cursor.has_value(), c.parsed);
    if (!cursor) {
      continue;
    }
    EXPECT_EQ(cursor->visible, c.visible);
    EXPECT_EQ(cursor->x, 100);
    EXPECT_EQ(cursor->y, -20);
    ASSERT_EQ(cursor->bitmap.has_value(), c.bitmap);
    if (c.bitmap) {
      EXPECT_EQ(cursor->hotspot_x, 3);
      EXPECT_EQ(cursor->hotspot_y, 4);
      // ARGB bytes 0..7 in two rows of two pixels, read as B, G, R, A.
      EXPECT_EQ(cursor->bitmap->bgra,
                (std::vector<uint8_t>{3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12}));
    }
  }
}

// The stream's cursor reaches the tracker at desktop coordinates, with a new image
// identity only when an image came.
TEST(StreamMetadataTest, TheCursorFeedPlacesThePointerOnTheDesktopAndCountsImages) {
  auto feed = std::make_shared<StreamCursorFeed>();
  StreamCursorSource source(feed);
  CursorPointer pointer;
  EXPECT_FALSE(source.ReadPointer(pointer));  // before any stream metadata

  feed->SetStreamOrigin(1920, 0);
  StreamCursor cursor;
  cursor.visible = true;
  cursor.x = 10;
  cursor.y = 20;
  cursor.hotspot_x = 1;
  cursor.bitmap = StreamCursorBitmap{1, 1, {1, 2, 3, 4}};
  feed->Update(cursor);
  ASSERT_TRUE(source.ReadPointer(pointer));
  EXPECT_EQ(pointer.x, 1930);
  EXPECT_EQ(pointer.y, 20);
  EXPECT_TRUE(pointer.visible);
  const uint64_t first_image = pointer.image_id;
  CursorImage image;
  ASSERT_TRUE(source.ReadImage(image));
  EXPECT_EQ(image.bgra, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(image.hotspot_x, 1);

  cursor.bitmap.reset();
  cursor.x = 11;
  feed->Update(cursor);
  ASSERT_TRUE(source.ReadPointer(pointer));
  EXPECT_EQ(pointer.image_id, first_image);
  cursor.visible = false;
  feed->Update(cursor);
  ASSERT_TRUE(source.ReadPointer(pointer));
  EXPECT_FALSE(pointer.visible);

  feed->Clear();
  EXPECT_FALSE(source.ReadPointer(pointer));
}

class FixedCursorSource final : public CursorSource {
 public:
  bool ReadPointer(CursorPointer& pointer) override {
    pointer.x = 5;
    pointer.image_id = 1;
    return true;
  }
  bool ReadImage(CursorImage& image) override {
    image.shape = "arrow";
    return true;
  }
};

// The X server's cursor stands in while no screen cast sends one; switching between them
// counts as a new image. A cast with the cursor in its picture silences both.
TEST(StreamMetadataTest, TheStreamsCursorWinsOverTheFallbackWhileItIsKnown) {
  auto feed = std::make_shared<StreamCursorFeed>();
  StreamCursorSource source(feed, std::make_unique<FixedCursorSource>());
  CursorPointer pointer;
  CursorImage image;
  ASSERT_TRUE(source.ReadPointer(pointer));
  EXPECT_EQ(pointer.x, 5);
  ASSERT_TRUE(source.ReadImage(image));
  EXPECT_EQ(image.shape, "arrow");
  const uint64_t fallback_image = pointer.image_id;

  StreamCursor cursor;
  cursor.visible = true;
  cursor.x = 40;
  cursor.bitmap = StreamCursorBitmap{1, 1, {9, 9, 9, 9}};
  feed->Update(cursor);
  ASSERT_TRUE(source.ReadPointer(pointer));
  EXPECT_EQ(pointer.x, 40);
  EXPECT_NE(pointer.image_id, fallback_image);
  image = {};
  ASSERT_TRUE(source.ReadImage(image));
  EXPECT_EQ(image.shape, "custom");
  EXPECT_EQ(image.bgra, (std::vector<uint8_t>{9, 9, 9, 9}));

  // A screen cast that draws the cursor itself leaves no cursor to send.
  feed->Clear();
  feed->SetDrawnInPicture(true);
  EXPECT_FALSE(source.ReadPointer(pointer));
}

}  // namespace
}  // namespace orvane
