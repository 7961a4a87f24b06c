#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace orvane::testing {

// One picture of a stream the reference client recorded, decoded by an independent decoder
// (ffmpeg) as RGB.
class DecodedPicture {
 public:
  // The picture at `index` (from 0) of `video`, `width`×`height` as decoded or, with
  // `scale`, scaled to that size; ffmpeg works in `folder`. Not valid when it cannot be
  // decoded at that size, with why in error().
  DecodedPicture(const std::filesystem::path& video, int index, uint32_t width, uint32_t height,
                 bool scale, const std::filesystem::path& folder);

  bool valid() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // Red, green or blue (`channel` 0 to 2) at (x, y); 0 when not valid.
  uint8_t At(uint32_t x, uint32_t y, int channel) const;

 private:
  uint32_t width_;
  std::string pixels_;
  std::string error_;
};

}  // namespace orvane::testing
