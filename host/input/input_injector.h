#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "input/input_sink.h"

namespace orvane {

// Turns the client's touch, pen and key events into input on this computer, through the
// platform's sink. Coordinates are fractions of the streamed monitor, 0.0 to 1.0.
//
// Fingers become native touch contacts with ids of their own (from 100, never reused
// within a session); the pen becomes a pen device. Where the platform has neither, or an
// injection fails, the event is replayed as an absolute mouse. While the pen touches the
// screen, fingers are lifted and ignored (palm rejection). Keys always go to the
// keyboard, and those still held when the client goes are released.
//
// Touch frames follow the strictest native contract (Windows touch injection): every
// frame carries every contact still touching, a lift repeats the contact's last
// position, and a contact that gets no frame for about 100 ms is cancelled by the
// system, so contacts held still are injected again from Tick.
//
// Not thread-safe: its owner serialises the calls.
class InputInjector {
 public:
  // Milliseconds of a monotonic clock.
  using Clock = std::function<std::chrono::milliseconds()>;
  // How often contacts held still are injected again: well inside the system's limit.
  static constexpr std::chrono::milliseconds kHeldContactRefresh{50};

  explicit InputInjector(std::unique_ptr<InputSink> sink, Clock clock = SteadyClock);
  // Lifts and releases everything still held, then lets the sink go.
  ~InputInjector();
  InputInjector(const InputInjector&) = delete;
  InputInjector& operator=(const InputInjector&) = delete;

  // `action` is a TouchAction value.
  void InjectTouch(uint32_t action, uint32_t pointer_id, float x, float y, float pressure);
  // `action` is a PenAction value; bit 0 of `button_state` is the barrel button.
  void InjectPen(uint32_t action, float x, float y, float pressure, float tilt_x, float tilt_y,
                 float orientation, uint32_t button_state);
  // `action` is a KeyAction value; `key_code` a Windows virtual-key code.
  void InjectKey(uint32_t action, uint32_t key_code);

  // The client these came from is gone: lifts every finger and the pen, releases the
  // emulated buttons and every key still held, so nothing stays pressed.
  void ReleaseHeldInput();

  // Injects the held contacts again when their last frame is kHeldContactRefresh old.
  // Returns how long until it wants to be called again; nullopt while no finger touches.
  std::optional<std::chrono::milliseconds> Tick();

  // The capture output being streamed; positions map onto its monitor from now on.
  void SetStreamedOutput(uint32_t output_index);

 private:
  struct Point {
    int32_t x = 0;
    int32_t y = 0;
  };
  // The desktop is read once per event, and only for events that get that far.
  class LazyPoint;

  // Both return true when the event was handled (injected or deliberately dropped), false
  // when the caller must replay it as mouse input.
  bool InjectNativeTouch(uint32_t action, uint32_t pointer_id, LazyPoint& point, float pressure);
  bool InjectSyntheticPen(uint32_t action, LazyPoint& point, float pressure, float tilt_x,
                          float tilt_y, float orientation, uint32_t button_state);
  // Logs a failure (once per code); true when the sample went in.
  bool SendPenSample(const PenSample& sample);
  void EmulateTouch(uint32_t action, LazyPoint& point);
  void EmulatePen(uint32_t action, LazyPoint& point, uint32_t button_state);
  // One frame of every active contact as last injected, with `changed` in place of its
  // own stored record (or added, when it is new).
  std::vector<TouchContact> FrameWith(const TouchContact& changed) const;
  // Lifts every finger in one frame and the emulated left button.
  void CancelActiveContacts();
  static std::chrono::milliseconds SteadyClock();
  // A failure with the same code as the last one logged is not logged again.
  static bool IsNewError(std::optional<uint32_t>& last_logged, uint32_t error);

  std::unique_ptr<InputSink> sink_;
  Clock clock_;

  uint32_t next_pointer_id_ = 100;
  // Client pointer id -> contact pointer id of an active finger.
  std::unordered_map<uint32_t, uint32_t> pointer_ids_;
  // Contact pointer id -> the frame last injected for it, flags in their update form.
  std::map<uint32_t, TouchContact> contacts_;
  // When the last touch frame went out.
  std::chrono::milliseconds last_touch_frame_{0};
  // The left button held for a finger, and the right one for the pen's barrel button,
  // when they are emulated with the mouse.
  bool emulated_button_down_ = false;
  bool emulated_right_down_ = false;

  bool pen_in_contact_ = false;
  bool pen_in_range_ = false;
  float pen_x_ = 0.0f;
  float pen_y_ = 0.0f;

  // Virtual-key codes held down, in the order they went down.
  std::vector<uint16_t> held_keys_;

  std::optional<uint32_t> last_touch_error_;
  std::optional<uint32_t> last_pen_error_;
};

}  // namespace orvane
