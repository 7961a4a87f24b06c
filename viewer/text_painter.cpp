#include "viewer/text_painter.h"

#include <SDL_ttf.h>

#include <algorithm>

namespace orvane::viewer {
namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr int kPadding = 6;

}  // namespace

TextPainter::~TextPainter() {
  if (font_ != nullptr) {
    TTF_CloseFont(font_);
  }
}

bool TextPainter::Open(int point_size) {
  if (TTF_WasInit() == 0 && TTF_Init() != 0) {
    return false;
  }
  font_ = TTF_OpenFont(kFontFile, point_size);
  if (font_ == nullptr) {
    return false;
  }
  line_height_ = TTF_FontLineSkip(font_);
  return true;
}

void TextPainter::Draw(SDL_Renderer* renderer, const std::vector<std::string>& lines, int x,
                       int y) {
  std::vector<SDL_Texture*> textures;
  int width = 0;
  for (const std::string& line : lines) {
    SDL_Texture* texture = nullptr;
    if (font_ != nullptr && !line.empty()) {
      SDL_Surface* surface = TTF_RenderUTF8_Blended(font_, line.c_str(), {255, 255, 255, 255});
      if (surface != nullptr) {
        width = std::max(width, surface->w);
        texture = SDL_CreateTextureFromSurface(renderer, surface);
        SDL_FreeSurface(surface);
      }
    }
    textures.push_back(texture);
  }
  const int height = line_height_ * static_cast<int>(lines.size());
  if (x < 0) {
    int output_width = 0;
    int output_height = 0;
    SDL_GetRendererOutputSize(renderer, &output_width, &output_height);
    x = (output_width - width) / 2;
    y = (output_height - height) / 2;
  }
  const SDL_Rect box{x - kPadding, y - kPadding, width + 2 * kPadding, height + 2 * kPadding};
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 180);
  SDL_RenderFillRect(renderer, &box);
  for (size_t i = 0; i < textures.size(); ++i) {
    if (textures[i] == nullptr) {
      continue;
    }
    SDL_Rect place{x, y + line_height_ * static_cast<int>(i), 0, 0};
    SDL_QueryTexture(textures[i], nullptr, nullptr, &place.w, &place.h);
    SDL_RenderCopy(renderer, textures[i], nullptr, &place);
    SDL_DestroyTexture(textures[i]);
  }
}

}  // namespace orvane::viewer
