#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace orvane {

// Selection data too large for one request goes to its requestor in pieces (the INCR
// protocol): the requestor deletes the property to ask for the next piece, and an empty
// piece ends the transfer. Used on the selection owner's thread; the event filter asks
// from the display's event thread which windows are being served.
class X11IncrTransfers {
 public:
  X11IncrTransfers(xcb_connection_t* connection, xcb_atom_t incr_atom, size_t piece_size)
      : connection_(connection), incr_atom_(incr_atom), piece_size_(piece_size) {}

  size_t piece_size() const { return piece_size_; }
  // Announces `bytes` of `type` in `property` of `requestor`; the pieces follow as the
  // requestor deletes the property.
  void Begin(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
             std::vector<uint8_t> bytes);
  // A property was deleted: the next piece of a transfer to it, if any.
  void OnPropertyDeleted(xcb_window_t window, xcb_atom_t property);
  // Forgets transfers whose requestor stopped asking.
  void DropStale(std::chrono::steady_clock::time_point now);
  // Any thread.
  bool Serves(xcb_window_t window) const;

 private:
  struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    std::vector<uint8_t> bytes;
    size_t sent = 0;
    std::chrono::steady_clock::time_point last_progress;
  };
  void Finish(size_t index);

  xcb_connection_t* const connection_;
  const xcb_atom_t incr_atom_;
  const size_t piece_size_;
  std::vector<Transfer> transfers_;
  mutable std::mutex windows_mutex_;
  std::vector<xcb_window_t> windows_;
};

}  // namespace orvane
