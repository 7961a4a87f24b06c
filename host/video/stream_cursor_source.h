#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "video/cursor_source.h"
#include "video/stream_metadata.h"

namespace orvane {

// The cursor of a screen-cast stream whose producer sends it as metadata instead of
// drawing it into the picture. The stream's consumer writes it; the session's cursor
// tracker reads it, so the pointer reaches the client as cursor updates as it does on
// X11. Shared between threads.
class StreamCursorFeed {
 public:
  // Where the stream's top-left corner lies on the desktop.
  void SetStreamOrigin(int32_t x, int32_t y);
  // One buffer's cursor metadata.
  void Update(const StreamCursor& cursor);
  // No stream runs: nothing to say about the pointer.
  void Clear();
  // The stream draws the cursor into its picture: no cursor updates may add another.
  void SetDrawnInPicture(bool drawn);
  bool drawn_in_picture() const;

  bool ReadPointer(CursorPointer& pointer) const;
  bool ReadImage(CursorImage& image) const;

 private:
  mutable std::mutex mutex_;
  bool known_ = false;
  bool drawn_in_picture_ = false;
  int32_t origin_x_ = 0;
  int32_t origin_y_ = 0;
  StreamCursor cursor_;
  // The last image the stream sent, and how many images it has sent.
  StreamCursorBitmap image_;
  int32_t image_hotspot_x_ = 0;
  int32_t image_hotspot_y_ = 0;
  uint64_t image_serial_ = 0;
};

// The cursor of the stream while one sends it, else that of `fallback` (the X server's,
// when capture is not a screen cast), if there is one; none while a stream draws the
// cursor into its picture.
class StreamCursorSource final : public CursorSource {
 public:
  StreamCursorSource(std::shared_ptr<const StreamCursorFeed> feed,
                     std::unique_ptr<CursorSource> fallback = nullptr)
      : feed_(std::move(feed)), fallback_(std::move(fallback)) {}

  bool ReadPointer(CursorPointer& pointer) override;
  bool ReadImage(CursorImage& image) override;

 private:
  std::shared_ptr<const StreamCursorFeed> feed_;
  std::unique_ptr<CursorSource> fallback_;
  bool from_stream_ = false;
};

}  // namespace orvane
