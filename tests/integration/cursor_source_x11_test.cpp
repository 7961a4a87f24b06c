#include "video/cursor_source_x11.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "integration/xvfb_server.h"
#include "support/log_capture.h"
#include "video/cursor_tracker.h"

namespace orvane {
namespace {

using testing::WaitUntil;
using testing::XvfbServer;

// Glyph of the text cursor in the core "cursor" font.
constexpr uint16_t kXtermGlyph = 152;

// Another client of the display that moves the pointer and sets the root window's cursor,
// as applications do.
class DisplayClient {
 public:
  explicit DisplayClient(const std::string& display)
      : connection_(xcb_connect(display.c_str(), nullptr)),
        root_(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root) {
    std::free(xcb_xfixes_query_version_reply(connection_,
                                             xcb_xfixes_query_version(connection_, 4, 0), nullptr));
  }
  ~DisplayClient() { xcb_disconnect(connection_); }

  void Warp(int16_t x, int16_t y) {
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, x, y);
    Sync();
  }

  // A red-on-white core glyph cursor carrying `name`, made the root window's cursor.
  void SetNamedRootCursor(uint16_t glyph, const char* name) {
    const xcb_font_t font = xcb_generate_id(connection_);
    xcb_open_font(connection_, font, 6, "cursor");
    const xcb_cursor_t cursor = xcb_generate_id(connection_);
    xcb_create_glyph_cursor(connection_, cursor, font, font, glyph, glyph + 1, 0xFFFF, 0, 0, 0xFFFF,
                            0xFFFF, 0xFFFF);
    xcb_xfixes_set_cursor_name(connection_, cursor, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_change_window_attributes(connection_, root_, XCB_CW_CURSOR, &cursor);
    Sync();
  }

 private:
  void Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
};

class X11CursorSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(xvfb_.started()) << "Xvfb did not start"; }

  // The first update the tracker reports within the time limit.
  static std::optional<protocol::v1::CursorUpdate> NextUpdate(CursorTracker& tracker) {
    std::optional<protocol::v1::CursorUpdate> update;
    WaitUntil([&] { return (update = tracker.Poll()).has_value(); },
              std::chrono::milliseconds(2000));
    return update;
  }

  XvfbServer xvfb_{"640x480x24"};
  X11DisplaySource displays_{xvfb_.display()};
};

TEST_F(X11CursorSourceTest, UnreachableDisplayGivesNoSource) {
  X11DisplaySource unreachable(":9999");
  EXPECT_EQ(X11CursorSource::Open(unreachable), nullptr);
}

TEST_F(X11CursorSourceTest, ReportsTheCursorImageThenMovesThenANamedShape) {
  DisplayClient client(xvfb_.display());
  client.Warp(10, 20);
  std::unique_ptr<X11CursorSource> source = X11CursorSource::Open(displays_);
  ASSERT_NE(source, nullptr);
  CursorTracker tracker(std::move(source));

  const auto first = NextUpdate(tracker);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->position_x(), 10);
  EXPECT_EQ(first->position_y(), 20);
  EXPECT_TRUE(first->visible());
  EXPECT_EQ(first->shape(), "custom");  // the server's unnamed default cursor
  EXPECT_GT(first->width(), 0u);
  EXPECT_EQ(first->bitmap_argb().size(), size_t{first->width()} * first->height() * 4);

  client.Warp(123, 45);
  const auto moved = NextUpdate(tracker);
  ASSERT_TRUE(moved.has_value());
  EXPECT_EQ(moved->position_x(), 123);
  EXPECT_EQ(moved->position_y(), 45);
  EXPECT_EQ(moved->shape(), "");
  EXPECT_TRUE(moved->bitmap_argb().empty());

  client.SetNamedRootCursor(kXtermGlyph, "xterm");
  const auto text = NextUpdate(tracker);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->shape(), "text");
  EXPECT_EQ(text->position_x(), 123);
  ASSERT_GT(text->width(), 0u);
  ASSERT_EQ(text->bitmap_argb().size(), size_t{text->width()} * text->height() * 4);
  // The glyph's opaque red foreground arrives as the bytes B, G, R, A.
  const std::string red("\x00\x00\xFF\xFF", 4);
  bool has_red = false;
  for (size_t i = 0; i < text->bitmap_argb().size(); i += 4) {
    has_red = has_red || text->bitmap_argb().compare(i, 4, red) == 0;
  }
  EXPECT_TRUE(has_red);
  EXPECT_FALSE(tracker.Poll().has_value());
}

}  // namespace
}  // namespace orvane
