#include "viewer/video_window.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "viewer/viewer_session.h"

namespace orvane::viewer {
namespace {

constexpr int kOverlayPoints = 13;

}  // namespace

VideoWindow::~VideoWindow() {
  if (cursor_texture_ != nullptr) {
    SDL_DestroyTexture(cursor_texture_);
  }
  if (texture_ != nullptr) {
    SDL_DestroyTexture(texture_);
  }
  if (renderer_ != nullptr) {
    SDL_DestroyRenderer(renderer_);
  }
  if (window_ != nullptr) {
    SDL_DestroyWindow(window_);
  }
}

bool VideoWindow::Open(int width, int height, bool fullscreen) {
  window_ = SDL_CreateWindow(
      "Orvane Viewer", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
      SDL_WINDOW_RESIZABLE | (fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0));
  if (window_ == nullptr) {
    last_error_ = SDL_GetError();
    return false;
  }
  // No vsync: a picture is shown the moment it is decoded, not at the next refresh.
  renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (renderer_ == nullptr) {
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
  }
  if (renderer_ == nullptr) {
    last_error_ = SDL_GetError();
    return false;
  }
  text_.Open(kOverlayPoints);
  return true;
}

void VideoWindow::ToggleFullscreen() {
  const bool full = (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
  SDL_SetWindowFullscreen(window_, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

uint32_t VideoWindow::window_id() const {
  return SDL_GetWindowID(window_);
}

void VideoWindow::OutputSize(int& width, int& height) const {
  SDL_GetRendererOutputSize(renderer_, &width, &height);
}

bool VideoWindow::Upload(const AVFrame* frame) {
  uint32_t format = 0;
  switch (frame->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P:
      format = SDL_PIXELFORMAT_IYUV;
      break;
    case AV_PIX_FMT_NV12:
      format = SDL_PIXELFORMAT_NV12;
      break;
    default:
      last_error_ =
          "pictures in pixel format " + std::to_string(frame->format) + " cannot be shown";
      return false;
  }
  if (texture_ == nullptr || format != texture_format_ || frame->width != texture_width_ ||
      frame->height != texture_height_) {
    if (texture_ != nullptr) {
      SDL_DestroyTexture(texture_);
    }
    texture_ = SDL_CreateTexture(renderer_, format, SDL_TEXTUREACCESS_STREAMING, frame->width,
                                 frame->height);
    if (texture_ == nullptr) {
      last_error_ = SDL_GetError();
      return false;
    }
    texture_format_ = format;
    texture_width_ = frame->width;
    texture_height_ = frame->height;
  }
  SDL_SetYUVConversionMode(frame->colorspace == AVCOL_SPC_BT709 ? SDL_YUV_CONVERSION_BT709
                                                                : SDL_YUV_CONVERSION_BT601);
  const int uploaded =
      format == SDL_PIXELFORMAT_NV12
          ? SDL_UpdateNVTexture(texture_, nullptr, frame->data[0], frame->linesize[0],
                                frame->data[1], frame->linesize[1])
          : SDL_UpdateYUVTexture(texture_, nullptr, frame->data[0], frame->linesize[0],
                                 frame->data[1], frame->linesize[1], frame->data[2],
                                 frame->linesize[2]);
  if (uploaded != 0) {
    last_error_ = SDL_GetError();
    return false;
  }
  return true;
}

void VideoWindow::Render(const HostCursor& cursor, const std::vector<std::string>& overlay,
                         const std::vector<std::string>& message) {
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  if (texture_ != nullptr) {
    int width = 0;
    int height = 0;
    OutputSize(width, height);
    const PictureRect picture = Letterbox(width, height, texture_width_, texture_height_);
    const SDL_Rect target{picture.x, picture.y, picture.width, picture.height};
    SDL_RenderCopy(renderer_, texture_, nullptr, &target);
    DrawCursor(cursor, picture);
  }
  if (!overlay.empty()) {
    text_.Draw(renderer_, overlay, 12, 12);
  }
  if (!message.empty()) {
    text_.Draw(renderer_, message, -1, -1);
  }
  SDL_RenderPresent(renderer_);
}

void VideoWindow::DrawCursor(const HostCursor& cursor, const PictureRect& picture) {
  if (!cursor.known || !cursor.visible || cursor.width == 0 || texture_width_ == 0) {
    return;
  }
  if (cursor_texture_ == nullptr || cursor.shape_version != cursor_version_) {
    if (cursor_texture_ != nullptr) {
      SDL_DestroyTexture(cursor_texture_);
    }
    // B, G, R, A bytes are ARGB8888 words on a little-endian machine.
    cursor_texture_ =
        SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC,
                          static_cast<int>(cursor.width), static_cast<int>(cursor.height));
    if (cursor_texture_ == nullptr) {
      return;
    }
    SDL_UpdateTexture(cursor_texture_, nullptr, cursor.bgra.data(),
                      static_cast<int>(cursor.width) * 4);
    SDL_SetTextureBlendMode(cursor_texture_, SDL_BLENDMODE_BLEND);
    cursor_version_ = cursor.shape_version;
  }
  // The host reports its desktop's pixels, which the stream shows at the picture's scale.
  const double scale = static_cast<double>(picture.width) / texture_width_;
  const SDL_Rect place{picture.x + static_cast<int>((cursor.x - cursor.hotspot_x) * scale),
                       picture.y + static_cast<int>((cursor.y - cursor.hotspot_y) * scale),
                       static_cast<int>(cursor.width * scale),
                       static_cast<int>(cursor.height * scale)};
  SDL_RenderCopy(renderer_, cursor_texture_, nullptr, &place);
}

}  // namespace orvane::viewer
