#pragma once

#include <string>
#include <utility>

namespace orvane {

// What a screen-cast source tells the client when the desktop stopped sharing, and when
// its stream could not be read.
inline constexpr const char* kSharingEndedNotice =
    "The computer stopped sharing its screen. Start the stream again to share it.";
inline constexpr const char* kStreamUnreadableNotice =
    "The computer's screen could not be read. Check that PipeWire runs, then start the stream "
    "again.";

// How a screen-cast source gives up for the rest of a stream: it logs why and leaves the
// client one notice, in its user's words, of what to do.
class CaptureSourceStop {
 public:
  void Stop(const char* log_line, const char* notice);
  bool stopped() const { return stopped_; }
  std::string TakeNotice() { return std::exchange(notice_, std::string()); }

 private:
  bool stopped_ = false;
  std::string notice_;
};

}  // namespace orvane
