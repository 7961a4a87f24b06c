// Keeps an X display showing one desktop workload until it is terminated, so that a
// capturer driven by damage events sees what a user's desktop would give it:
//   whole         (default) one window covers the screen and changes colour every tick,
//                 with a block sliding across it: motion as well as a full-screen change
//   window        the background stays still; only a 640x360 window moves and changes
//   idle          a desktop with a text window is drawn once and never changes
//   typing        a text window gains one character per tick
//   scrolling     a text window scrolls up by one line per tick, a new line at the bottom
//   corner-video  a 640x360 moving pattern in the bottom-right corner redrawn every tick
//
// Usage: screen_animator [interval_ms [mode]]   (default 10; the display comes from DISPLAY)
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t g_running = 1;

void Stop(int) {
  g_running = 0;
}

enum class Mode { kWhole, kWindow, kIdle, kTyping, kScrolling, kCornerVideo };

std::optional<Mode> ParseMode(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, Mode>, 6> kNames = {{
      {"whole", Mode::kWhole},
      {"window", Mode::kWindow},
      {"idle", Mode::kIdle},
      {"typing", Mode::kTyping},
      {"scrolling", Mode::kScrolling},
      {"corner-video", Mode::kCornerVideo},
  }};
  for (const auto& [text, mode] : kNames) {
    if (text == name) {
      return mode;
    }
  }
  return std::nullopt;
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

xcb_gcontext_t MakePen(xcb_connection_t* connection, xcb_window_t window, uint32_t rgb) {
  const xcb_gcontext_t pen = xcb_generate_id(connection);
  // No exposures: the scroll copies within a window that is never covered.
  const uint32_t values[] = {rgb, 0};
  xcb_create_gc(connection, pen, window, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
  return pen;
}

// Waits until the server has drawn everything asked so far, so ticks cannot pile up in
// the connection faster than the display shows them.
void Sync(xcb_connection_t* connection) {
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

// Text without a font server: each character is a 5x7 dot pattern drawn 2x, picked by a
// hash of its position, so lines look like varied text to the encoder but are repeatable.
constexpr int kDot = 2;
constexpr int kCellWidth = 6 * kDot;
constexpr int kLineHeight = 10 * kDot;

uint32_t Hash(uint32_t value) {
  value ^= value >> 16;
  value *= 0x7FEB352D;
  value ^= value >> 15;
  value *= 0x846CA68B;
  value ^= value >> 16;
  return value;
}

void DrawCharacter(xcb_connection_t* connection, xcb_window_t window, xcb_gcontext_t ink, int x,
                   int y, uint32_t seed) {
  // Every sixth character of a line is a space, as in prose.
  if (seed % 6 == 5) {
    return;
  }
  const uint64_t bits = (static_cast<uint64_t>(Hash(seed * 2 + 1)) << 32) | Hash(seed * 2);
  std::vector<xcb_rectangle_t> dots;
  for (int bit = 0; bit < 35; ++bit) {
    if (((bits >> bit) & 1U) != 0) {
      dots.push_back({static_cast<int16_t>(x + (bit % 5) * kDot),
                      static_cast<int16_t>(y + (bit / 5) * kDot), kDot, kDot});
    }
  }
  xcb_poly_fill_rectangle(connection, window, ink, static_cast<uint32_t>(dots.size()), dots.data());
}

void DrawLine(xcb_connection_t* connection, xcb_window_t window, xcb_gcontext_t ink, int y,
              int columns, uint32_t line) {
  // Lines end at varying lengths, like paragraphs.
  const int length = columns / 2 + static_cast<int>(Hash(line * 131) % (columns / 2));
  for (int column = 0; column < length; ++column) {
    DrawCharacter(connection, window, ink, 8 + column * kCellWidth, y + 4,
                  line * 1000 + static_cast<uint32_t>(column));
  }
}

// A text window of a quiet desktop: white, in the middle of a grey background.
struct TextWindow {
  xcb_window_t window;
  xcb_gcontext_t ink;
  xcb_gcontext_t paper;
  uint16_t width;
  uint16_t height;
  int columns;
  int lines;
};

TextWindow MapTextWindow(xcb_connection_t* connection, const xcb_screen_t* screen) {
  TextWindow text{};
  text.width = 1200;
  text.height = 800;
  text.window = MapWindow(connection, screen, 160, 120, text.width, text.height, 0xFFFFFF);
  text.ink = MakePen(connection, text.window, 0x202020);
  text.paper = MakePen(connection, text.window, 0xFFFFFF);
  text.columns = (text.width - 16) / kCellWidth;
  text.lines = text.height / kLineHeight;
  return text;
}

void FillText(xcb_connection_t* connection, const TextWindow& text, int lines) {
  for (int line = 0; line < lines; ++line) {
    DrawLine(connection, text.window, text.ink, line * kLineHeight, text.columns,
             static_cast<uint32_t>(line));
  }
}

// A 640x360 picture whose every pixel moves each tick: diagonal bands of shifting colour,
// as decoded video changes its whole rectangle.
void DrawVideoFrame(xcb_connection_t* connection, xcb_window_t window, xcb_gcontext_t pen,
                    uint32_t tick) {
  constexpr int kBand = 20;
  for (int band = 0; band < 640 / kBand + 360 / kBand + 1; ++band) {
    const uint32_t shade = (static_cast<uint32_t>(band) * 23 + tick * 5) & 0xFF;
    const uint32_t rgb = (shade << 16) | (((shade * 7) & 0xFF) << 8) | ((255 - shade) & 0xFF);
    xcb_change_gc(connection, pen, XCB_GC_FOREGROUND, &rgb);
    // A band is a column strip offset by the tick, so the picture scrolls sideways.
    const int x = band * kBand - static_cast<int>(tick * 3 % kBand);
    const xcb_rectangle_t strip = {static_cast<int16_t>(x), 0, kBand, 360};
    xcb_poly_fill_rectangle(connection, window, pen, 1, &strip);
  }
  const xcb_rectangle_t ball = {static_cast<int16_t>(tick * 7 % 600),
                                static_cast<int16_t>(tick * 4 % 320), 40, 40};
  const uint32_t white = 0xFFFFFF;
  xcb_change_gc(connection, pen, XCB_GC_FOREGROUND, &white);
  xcb_poly_fill_rectangle(connection, window, pen, 1, &ball);
}

}  // namespace

int main(int argc, char** argv) {
  const int interval_ms = argc > 1 ? std::atoi(argv[1]) : 10;
  const std::optional<Mode> mode = argc > 2 ? ParseMode(argv[2]) : Mode::kWhole;
  if (interval_ms <= 0 || !mode) {
    std::fprintf(stderr,
                 "usage: %s [interval_ms [whole|window|idle|typing|scrolling|corner-video]]\n",
                 argv[0]);
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
  const bool moving_block = *mode == Mode::kWhole || *mode == Mode::kWindow;
  const uint16_t block_width = *mode == Mode::kWindow ? 640 : height / 4;
  const uint16_t block_height = *mode == Mode::kWindow ? 360 : height / 4;

  const uint32_t backdrop = moving_block ? 0x000000 : 0x3A6EA5;
  const xcb_window_t background = MapWindow(connection, screen, 0, 0, width, height, backdrop);
  xcb_window_t mover = XCB_NONE;
  if (moving_block) {
    mover = MapWindow(connection, screen, 0, 0, block_width, block_height, 0xFFFFFF);
  }
  std::optional<TextWindow> text;
  if (!moving_block) {
    text = MapTextWindow(connection, screen);
    Sync(connection);
    // Typing starts on an empty page; the other desktops show a full one.
    FillText(connection, *text, *mode == Mode::kTyping ? 0 : text->lines);
  }
  xcb_window_t video = XCB_NONE;
  xcb_gcontext_t video_pen = 0;
  if (*mode == Mode::kCornerVideo) {
    video = MapWindow(connection, screen, static_cast<int16_t>(width - 640 - 16),
                      static_cast<int16_t>(height - 360 - 16), 640, 360, 0x000000);
    video_pen = MakePen(connection, video, 0x000000);
  }
  Sync(connection);

  const auto interval = std::chrono::milliseconds(interval_ms);
  auto next = std::chrono::steady_clock::now();
  uint32_t scrolled_lines = 0;
  for (uint32_t tick = 0; g_running != 0; ++tick) {
    switch (*mode) {
      case Mode::kWhole:
      case Mode::kWindow: {
        const uint32_t shade = (tick * 4) & 0xFF;
        const uint32_t rgb = (shade << 16) | ((255 - shade) << 8) | ((shade * 3) & 0xFF);
        const xcb_window_t recoloured = *mode == Mode::kWindow ? mover : background;
        xcb_change_window_attributes(connection, recoloured, XCB_CW_BACK_PIXEL, &rgb);
        xcb_clear_area(connection, 0, recoloured, 0, 0, 0, 0);
        // On a screen no larger than the block, the block stays put.
        const uint32_t room_x = std::max(1, width - block_width);
        const uint32_t room_y = std::max(1, height - block_height);
        const uint32_t position[] = {(tick * 16) % room_x, (tick * 9) % room_y};
        xcb_configure_window(connection, mover, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                             position);
        break;
      }
      case Mode::kIdle:
        break;
      case Mode::kTyping: {
        // The page fills line by line, then starts again on a cleared page.
        const uint32_t page = static_cast<uint32_t>(text->columns * text->lines);
        const uint32_t at = tick % page;
        if (at == 0 && tick > 0) {
          xcb_clear_area(connection, 0, text->window, 0, 0, 0, 0);
        }
        const int line = static_cast<int>(at) / text->columns;
        const int column = static_cast<int>(at) % text->columns;
        DrawCharacter(connection, text->window, text->ink, 8 + column * kCellWidth,
                      line * kLineHeight + 4, tick * 17);
        break;
      }
      case Mode::kScrolling: {
        const int16_t body = static_cast<int16_t>((text->lines - 1) * kLineHeight);
        xcb_copy_area(connection, text->window, text->window, text->ink, 0, kLineHeight, 0, 0,
                      text->width, static_cast<uint16_t>(body));
        const xcb_rectangle_t last = {0, body, text->width, kLineHeight};
        xcb_poly_fill_rectangle(connection, text->window, text->paper, 1, &last);
        DrawLine(connection, text->window, text->ink, body, text->columns,
                 static_cast<uint32_t>(text->lines) + scrolled_lines++);
        break;
      }
      case Mode::kCornerVideo:
        DrawVideoFrame(connection, video, video_pen, tick);
        break;
    }
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
