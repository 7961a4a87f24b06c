#pragma once

#include <SDL_render.h>
#include <SDL_video.h>

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/letterbox.h"
#include "viewer/text_painter.h"

struct AVFrame;

namespace orvane::viewer {

struct HostCursor;

// The window, its renderer (accelerated when there is one, SDL's software renderer
// otherwise) and the picture's texture: decoded planes are uploaded as they are, YUV to
// a YUV texture, and converted to RGB only by the renderer while drawing.
class VideoWindow {
 public:
  VideoWindow() = default;
  ~VideoWindow();
  VideoWindow(const VideoWindow&) = delete;
  VideoWindow& operator=(const VideoWindow&) = delete;

  bool Open(int width, int height, bool fullscreen);
  void ToggleFullscreen();
  uint32_t window_id() const;

  // False for a picture format it cannot show (see last_error).
  bool Upload(const AVFrame* frame);
  // Draws the picture letterboxed, the host's cursor, then the text boxes, and presents.
  void Render(const HostCursor& cursor, const std::vector<std::string>& overlay,
              const std::vector<std::string>& message);

  void OutputSize(int& width, int& height) const;
  int stream_width() const { return texture_width_; }
  int stream_height() const { return texture_height_; }
  const std::string& last_error() const { return last_error_; }

 private:
  void DrawCursor(const HostCursor& cursor, const PictureRect& picture);

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  uint32_t texture_format_ = 0;
  int texture_width_ = 0;
  int texture_height_ = 0;
  SDL_Texture* cursor_texture_ = nullptr;
  uint64_t cursor_version_ = 0;
  TextPainter text_;
  std::string last_error_;
};

}  // namespace orvane::viewer
