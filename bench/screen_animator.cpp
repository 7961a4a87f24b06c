// Keeps an X display changing until it is terminated, so that a capturer driven by
// damage events has a new frame to take at every tick. It covers the screen with one
// window whose colour changes every tick and slides a block across it, giving the
// encoder motion as well as a full-screen change. With "window", the background stays
// still and only a 640x360 window moves and changes colour, as when one application
// window is animated on a quiet desktop.
//
// Usage: screen_animator [interval_ms [window]]   (default 10; the display comes from DISPLAY)
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

namespace {

volatile std::sig_atomic_t g_running = 1;

void Stop(int) {
  g_running = 0;
}

xcb_window_t MapWindow(xcb_connection_t* connection, const xcb_screen_t* screen, int16_t x,
                       int16_t y, uint16_t width, uint16_t height, uint32_t rgb) {
  const xcb_window_t window = xcb_generate_id(connection);
  // Override-redirect: no window manager runs on the display, and none should move it.
  const uint32_t values[] = {rgb, 1};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, x, y, width, height, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(connection, window);
  return window;
}

// Waits until the server has drawn everything asked so far, so ticks cannot pile up in
// the connection faster than the display shows them.
void Sync(xcb_connection_t* connection) {
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

}  // namespace

int main(int argc, char** argv) {
  const int interval_ms = argc > 1 ? std::atoi(argv[1]) : 10;
  const bool window_only = argc > 2 && std::string_view(argv[2]) == "window";
  if (interval_ms <= 0 || (argc > 2 && !window_only)) {
    std::fprintf(stderr, "usage: %s [interval_ms [window]]\n", argv[0]);
    return 2;
  }
  std::signal(SIGTERM, Stop);
  std::signal(SIGINT, Stop);

  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    std::fprintf(stderr, "screen_animator: cannot connect to the display\n");
    return 1;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const uint16_t width = screen->width_in_pixels;
  const uint16_t height = screen->height_in_pixels;
  const uint16_t block_width = window_only ? 640 : height / 4;
  const uint16_t block_height = window_only ? 360 : height / 4;

  const xcb_window_t background = MapWindow(connection, screen, 0, 0, width, height, 0x000000);
  const xcb_window_t mover =
      MapWindow(connection, screen, 0, 0, block_width, block_height, 0xFFFFFF);
  Sync(connection);

  const auto interval = std::chrono::milliseconds(interval_ms);
  auto next = std::chrono::steady_clock::now();
  for (uint32_t tick = 0; g_running != 0; ++tick) {
    const uint32_t shade = (tick * 4) & 0xFF;
    const uint32_t rgb = (shade << 16) | ((255 - shade) << 8) | ((shade * 3) & 0xFF);
    const xcb_window_t recoloured = window_only ? mover : background;
    xcb_change_window_attributes(connection, recoloured, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(connection, 0, recoloured, 0, 0, 0, 0);
    const uint32_t position[] = {(tick * 16) % (width - block_width),
                                 (tick * 9) % (height - block_height)};
    xcb_configure_window(connection, mover, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    Sync(connection);
    if (xcb_connection_has_error(connection) != 0) {
      break;
    }
    // A late tick moves the schedule rather than being followed by a burst of catch-up ticks.
    next = std::max(next + interval, std::chrono::steady_clock::now());
    std::this_thread::sleep_until(next);
  }
  xcb_disconnect(connection);
  return 0;
}
