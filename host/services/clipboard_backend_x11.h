#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/x11_display_source.h"
#include "services/clipboard_backend.h"
#include "services/selection_transfer_x11.h"

namespace orvane {

// The X11 CLIPBOARD selection on the shared display. XFixes reports each new owner; the
// backend then reads the owner's text (UTF8_STRING, else STRING or TEXT) and PNG image.
// Written content is served as the selection's owner: text as UTF8_STRING, STRING and
// TEXT, images as image/png, pieces by INCR when larger than one request.
class X11ClipboardBackend : public ClipboardBackend {
 public:
  explicit X11ClipboardBackend(std::shared_ptr<X11DisplaySource> displays)
      : displays_(std::move(displays)) {}
  ~X11ClipboardBackend() override;

  bool Start(ChangeCallback on_change) override;
  void Stop() override;
  bool SetText(const std::string& text) override;
  bool SetImage(const std::vector<uint8_t>& png) override;

 private:
  struct Atoms {
    xcb_atom_t clipboard, targets, utf8_string, text, incr, png, property;
  };
  // What the host offers while it owns the selection.
  struct Offer {
    std::string text;
    std::vector<uint8_t> png;
    bool is_image = false;
  };

  bool InternAtoms();
  void Run();
  // Everything the thread does with an event it was not waiting for.
  void Handle(const xcb_generic_event_t& event);
  void Serve(const xcb_selection_request_event_t& request);
  bool TakeOwnership(Offer offer);
  // The next event `wanted` accepts, handling the others meanwhile; empty at the deadline
  // or when the watch ends.
  X11Event Await(const std::function<bool(const xcb_generic_event_t&)>& wanted,
                 std::chrono::steady_clock::time_point deadline);
  void ReadClipboard(xcb_timestamp_t time);
  // The owner's data for `target`, and the type it came as.
  std::optional<std::vector<uint8_t>> Convert(xcb_atom_t target, xcb_timestamp_t time,
                                              xcb_atom_t* type);
  std::optional<std::vector<uint8_t>> ReadProperty(xcb_atom_t* type);
  // The pieces of an INCR transfer, and the type they came as.
  std::optional<std::vector<uint8_t>> ReceiveIncr(xcb_atom_t* type);
  std::optional<std::string> ReadText(const std::vector<xcb_atom_t>& targets, xcb_timestamp_t time);
  bool IsSelectionNotify(const xcb_generic_event_t& event) const;

  const std::shared_ptr<X11DisplaySource> displays_;
  std::shared_ptr<X11Display> display_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = XCB_NONE;
  Atoms atoms_{};
  uint8_t selection_notify_type_ = 0;  // XFixes'
  // Shared with the event filter, which may still run while the backend lets go.
  std::shared_ptr<X11IncrTransfers> transfers_;
  std::shared_ptr<X11EventQueue> events_;
  ChangeCallback on_change_;
  std::atomic<bool> running_{false};
  std::thread thread_;
  // Thread only: a new owner appeared while another read was under way.
  std::optional<xcb_timestamp_t> read_pending_;

  std::mutex offer_mutex_;
  Offer offer_;
  bool serving_ = false;  // the window exists and may own the selection
};

}  // namespace orvane
