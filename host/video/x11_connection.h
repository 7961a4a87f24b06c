#pragma once

#include <xcb/xcb.h>

#include <string>

namespace orvane {

// An owned xcb connection and the screen it designates.
class X11Connection {
 public:
  X11Connection() = default;
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  // Connects to `display_name`, or to $DISPLAY when it is empty. False (with nothing
  // held) when the server cannot be reached.
  bool Open(const std::string& display_name);
  void Close();

  bool open() const { return connection_ != nullptr; }
  // True once the server went away or the stream broke; the connection is then useless.
  bool lost() const;
  xcb_connection_t* get() const { return connection_; }
  xcb_screen_t* screen() const { return screen_; }
  // True when root window images arrive as 4-byte little-endian xRGB pixels, which is
  // BGRA in memory; capture relies on it to hand the bytes over unconverted.
  bool RootIsBgra32() const;

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_screen_t* screen_ = nullptr;
};

}  // namespace orvane
