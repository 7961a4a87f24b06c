#pragma once

#include <sys/types.h>

#include <string>

namespace orvane::testing {

// A private Xvfb server on a display number it picks itself (-displayfd), stopped when
// this object goes away.
class XvfbServer {
 public:
  // `screen` is Xvfb's WxHxD for screen 0.
  explicit XvfbServer(const std::string& screen);
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool started() const { return !display_.empty(); }
  // ":N", ready for connections once started() is true.
  const std::string& display() const { return display_; }
  // Terminates the server and waits for it; safe to call twice.
  void Stop();

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace orvane::testing
