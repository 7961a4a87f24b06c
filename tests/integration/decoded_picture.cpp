#include "integration/decoded_picture.h"

#include "integration/run_shell.h"
#include "support/file_contents.h"

namespace orvane::testing {

DecodedPicture::DecodedPicture(const std::filesystem::path& video, int index, uint32_t width,
                               uint32_t height, bool scale, const std::filesystem::path& folder)
    : width_(width) {
  const std::filesystem::path frame = folder / "frame.rgb";
  const std::filesystem::path log = folder / "ffmpeg.log";
  std::string filter = "select=eq(n\\," + std::to_string(index) + ")";
  if (scale) {
    filter += ",scale=" + std::to_string(width) + ":" + std::to_string(height);
  }
  if (RunShell("ffmpeg -v error -y -i '" + video.string() + "' -vf '" + filter +
                   "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + frame.string() + "'",
               log) != 0) {
    error_ = "ffmpeg failed: " + ReadFile(log);
    return;
  }
  pixels_ = ReadFile(frame);
  if (pixels_.size() != size_t{width} * height * 3) {
    error_ = "picture " + std::to_string(index) + " has " + std::to_string(pixels_.size()) +
             " bytes, not " + std::to_string(width) + "x" + std::to_string(height) + " RGB";
    pixels_.clear();
  }
}

uint8_t DecodedPicture::At(uint32_t x, uint32_t y, int channel) const {
  const size_t at = (size_t{y} * width_ + x) * 3 + static_cast<size_t>(channel);
  return at < pixels_.size() ? static_cast<uint8_t>(pixels_[at]) : 0;
}

}  // namespace orvane::testing
