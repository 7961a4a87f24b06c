#pragma once

#include <cstdint>
#include <span>

namespace orvane {

// Pointer frame flags. The values are those of the Windows pointer API, which every
// platform's sink reads as the neutral vocabulary of a contact's state.
namespace pointer_flag {
inline constexpr uint32_t kInRange = 0x00000002;
inline constexpr uint32_t kInContact = 0x00000004;
inline constexpr uint32_t kFirstButton = 0x00000010;
inline constexpr uint32_t kSecondButton = 0x00000020;
inline constexpr uint32_t kPrimary = 0x00002000;
inline constexpr uint32_t kCanceled = 0x00008000;
inline constexpr uint32_t kDown = 0x00010000;
inline constexpr uint32_t kUpdate = 0x00020000;
inline constexpr uint32_t kUp = 0x00040000;
}  // namespace pointer_flag

// The area input maps onto, in the pixels the platform positions pointers in.
struct DesktopRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// One finger of a touch frame.
struct TouchContact {
  uint32_t pointer_id = 0;  // unique within the session, from 100 upward
  int32_t x = 0;            // desktop pixels
  int32_t y = 0;
  uint32_t pressure = 0;  // 1..1024
  uint32_t flags = 0;     // pointer_flag bits
};

enum class PenButtonChange : uint32_t {
  kNone = 0,
  kFirstButtonDown = 1,
  kFirstButtonUp = 2,
};

// One frame of the pen. A frame with `in_range` false takes the pen away from the screen.
struct PenSample {
  int32_t x = 0;  // desktop pixels
  int32_t y = 0;
  uint32_t flags = 0;  // pointer_flag bits
  PenButtonChange button_change = PenButtonChange::kNone;
  bool barrel = false;      // the barrel button is held
  bool in_contact = false;  // the tip touches the screen after this frame
  bool in_range = false;    // the pen is near the screen after this frame
  uint32_t pressure = 0;    // 1..1024, also while hovering
  int32_t tilt_x = 0;       // degrees, -90..90
  int32_t tilt_y = 0;
  uint32_t rotation = 0;  // degrees, 0..359
};

// Mouse button transitions; the values are those of the Windows mouse input flags.
namespace mouse_button {
inline constexpr uint32_t kLeftDown = 0x0002;
inline constexpr uint32_t kLeftUp = 0x0004;
inline constexpr uint32_t kRightDown = 0x0008;
inline constexpr uint32_t kRightUp = 0x0010;
}  // namespace mouse_button

// One mouse record: an optional absolute move, then the button transitions in the order
// left down, left up, right down, right up.
struct MouseRecord {
  bool move = false;
  int32_t x = 0;  // desktop pixels
  int32_t y = 0;
  uint32_t buttons = 0;  // mouse_button bits
};

struct KeyRecord {
  uint16_t virtual_key = 0;  // a Windows virtual-key code
  bool up = false;
  bool extended = false;
};

struct SinkResult {
  bool ok = true;
  uint32_t error = 0;  // the platform's error code when !ok

  static SinkResult Failure(uint32_t error) { return {false, error}; }
};

// What a platform offers the injector: native touch frames, a pen device, an absolute
// mouse and a keyboard. A sink only translates records into the platform's calls; every
// decision about what to inject is the injector's. Used from one thread at a time.
class InputSink {
 public:
  virtual ~InputSink() = default;

  virtual bool touch_available() const = 0;
  // One frame: every contact still touching, each in its new state.
  virtual SinkResult InjectTouch(std::span<const TouchContact> contacts) = 0;

  virtual bool pen_available() const = 0;
  virtual SinkResult InjectPen(const PenSample& sample) = 0;

  virtual void SendMouse(const MouseRecord& record) = 0;
  virtual void SendKey(const KeyRecord& record) = 0;

  // The monitor being streamed, by its capture output index: input maps onto it. An
  // index the platform does not have means the first monitor, as capture falls back.
  virtual void SetStreamedOutput(uint32_t /*output_index*/) {}
  // The area input maps onto (the streamed monitor), in desktop pixels. Read for every
  // event that needs it: monitors may change at any time.
  virtual DesktopRect Desktop() = 0;
};

}  // namespace orvane
