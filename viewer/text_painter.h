#pragma once

#include <SDL_render.h>

#include <string>
#include <vector>

typedef struct _TTF_Font TTF_Font;

namespace orvane::viewer {

// Lines of text on a dark box, for the statistics overlay and the pairing prompt. Without
// its font (fonts-dejavu-core) it draws only the box.
class TextPainter {
 public:
  TextPainter() = default;
  ~TextPainter();
  TextPainter(const TextPainter&) = delete;
  TextPainter& operator=(const TextPainter&) = delete;

  bool Open(int point_size);
  // At (x, y), or centred in the output when x is negative.
  void Draw(SDL_Renderer* renderer, const std::vector<std::string>& lines, int x, int y);

 private:
  TTF_Font* font_ = nullptr;
  int line_height_ = 16;
};

}  // namespace orvane::viewer
