#pragma once

#include <cstddef>
#include <cstdint>

namespace orvane {

enum class CaptureStatus : uint32_t {
  kFrameReady = 0,
  // Nothing changed within the wait; counted as a timeout, not a failure.
  kNoNewFrame = 1,
  // The backend's objects are unusable and must be released and recreated.
  kInvalidated = 2,
  // This attempt failed; the backend keeps its objects and is tried again.
  kFailed = 3,
};

// One capture result: BGRA pixels, 4 bytes each, top row first. The pixels stay valid
// until the next capture call on the same backend or its release.
struct CapturedFrame {
  CaptureStatus status = CaptureStatus::kFailed;
  const uint8_t* data = nullptr;
  uint32_t row_pitch = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  bool protected_content_masked = false;
  // Bytes readable from `data`; lets the consumer refuse a frame that describes more
  // rows or columns than its memory holds.
  size_t data_size = 0;
  // The same picture as packed NV12 (width bytes per Y row, then the interleaved UV rows),
  // when the capturer keeps one up to date; else null. Valid as long as `data`.
  const uint8_t* nv12 = nullptr;
  // The capturer keeps `data` (and `nv12`) as they are until one of its captures returns
  // a new frame or it is released, so a still picture can be encoded again from them.
  bool kept_until_next_frame = false;
};

// True when the frame's rows and columns all lie inside its memory.
bool FrameFitsMemory(const CapturedFrame& frame);

}  // namespace orvane
