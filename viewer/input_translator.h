#pragma once

#include <SDL_events.h>

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "protocol/orvane_protocol_v1.pb.h"
#include "viewer/letterbox.h"

namespace orvane::viewer {

// Turns the window's mouse, finger and key events into the host's InputEvents. The mouse
// is finger 0 (or, in pen mode, a pen that hovers while no button is held, with the right
// button as its barrel button); real fingers get the ids from 1 up while they touch.
// Points on the bars around the picture start nothing; a held contact that strays onto
// them stays at the picture's edge.
class InputTranslator {
 public:
  using Events = std::vector<orvane::protocol::v1::InputEvent>;

  void SetLayout(int window_width, int window_height, int stream_width, int stream_height);
  void set_pen_mode(bool on) { pen_mode_ = on; }
  bool pen_mode() const { return pen_mode_; }

  Events Translate(const SDL_Event& event);
  // Lifts every held key, button and finger, e.g. when the window loses the focus: the
  // host would otherwise keep them pressed.
  Events ReleaseAll();

 private:
  std::optional<NormalizedPoint> Map(float x, float y, bool clamp) const;
  Events Mouse(const SDL_Event& event);
  Events Finger(const SDL_Event& event);
  Events Key(const SDL_Event& event);

  PictureRect picture_;
  int window_width_ = 0;
  int window_height_ = 0;
  int stream_width_ = 0;
  int stream_height_ = 0;
  bool pen_mode_ = false;
  bool mouse_down_ = false;
  bool pen_down_ = false;
  bool pen_in_range_ = false;
  bool barrel_ = false;
  NormalizedPoint last_mouse_;
  std::map<SDL_FingerID, uint32_t> fingers_;
  std::map<uint32_t, NormalizedPoint> finger_points_;
  std::set<uint16_t> held_keys_;
};

}  // namespace orvane::viewer
