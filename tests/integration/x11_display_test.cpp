#include "platform/x11/x11_display.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "integration/xvfb_server.h"
#include "platform/x11/x11_display_source.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

// A window of the display's own connection whose property changes raise PropertyNotify.
xcb_window_t WatchedWindow(X11Display& display) {
  xcb_connection_t* connection = display.connection();
  const xcb_window_t window = xcb_generate_id(connection);
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, display.root(), 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
  return window;
}

void ChangeProperty(X11Display& display, xcb_window_t window) {
  const char value[] = "x";
  xcb_change_property(display.connection(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                      XCB_ATOM_STRING, 8, 1, value);
}

class X11DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(xvfb_.started()); }
  XvfbServer xvfb_{"320x240x24"};
};

TEST_F(X11DisplayTest, EventsReachEverySubscriberThatWantsThemAndSyncOrdersThem) {
  const auto display = X11Display::Open(xvfb_.display());
  ASSERT_NE(display, nullptr);
  const xcb_window_t window = WatchedWindow(*display);
  const auto is_property = [window](const xcb_generic_event_t& event) {
    return (event.response_type & 0x7F) == XCB_PROPERTY_NOTIFY &&
           reinterpret_cast<const xcb_property_notify_event_t&>(event).window == window;
  };
  const auto first = display->Subscribe(is_property);
  const auto second = display->Subscribe(is_property);
  const auto unrelated = display->Subscribe([](const xcb_generic_event_t&) { return false; });

  ChangeProperty(*display, window);
  display->Sync();
  // After Sync the event is already queued: no waiting.
  EXPECT_NE(first->Take(), nullptr);
  EXPECT_NE(second->Take(), nullptr);
  EXPECT_EQ(unrelated->Take(), nullptr);
  EXPECT_EQ(first->Take(), nullptr);
}

TEST_F(X11DisplayTest, ALostServerWakesWaitersAndTheSourceOpensTheNextOne) {
  X11DisplaySource source(xvfb_.display());
  const auto display = source.Get();
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(source.Get(), display);  // shared while it lives
  const auto queue = display->Subscribe([](const xcb_generic_event_t&) { return true; });
  xvfb_.Stop();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(queue->Take(10s), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);  // woken, not timed out
  EXPECT_TRUE(display->lost());
  EXPECT_EQ(source.Get(), nullptr);  // no server any more
}

}  // namespace
}  // namespace orvane::testing
