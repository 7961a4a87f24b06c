#include "services/selection_transfer_x11.h"

#include <algorithm>

namespace orvane {
namespace {

// A requestor that asks for nothing this long has gone away or given up.
constexpr auto kStaleAfter = std::chrono::seconds(10);

void SelectPropertyChanges(xcb_connection_t* connection, xcb_window_t window, bool on) {
  const uint32_t mask = on ? XCB_EVENT_MASK_PROPERTY_CHANGE : XCB_EVENT_MASK_NO_EVENT;
  xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
}

}  // namespace

void X11IncrTransfers::Begin(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
                             std::vector<uint8_t> bytes) {
  {
    std::lock_guard<std::mutex> lock(windows_mutex_);
    windows_.push_back(requestor);
  }
  // Deletions must be seen from the first one on, so the watch comes before the offer.
  SelectPropertyChanges(connection_, requestor, true);
  const auto size = static_cast<uint32_t>(bytes.size());
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, requestor, property, incr_atom_, 32, 1,
                      &size);
  transfers_.push_back(
      {requestor, property, type, std::move(bytes), 0, std::chrono::steady_clock::now()});
}

void X11IncrTransfers::OnPropertyDeleted(xcb_window_t window, xcb_atom_t property) {
  const auto found = std::find_if(transfers_.begin(), transfers_.end(), [&](const Transfer& t) {
    return t.requestor == window && t.property == property;
  });
  if (found == transfers_.end()) {
    return;
  }
  Transfer& transfer = *found;
  const size_t piece = std::min(piece_size_, transfer.bytes.size() - transfer.sent);
  xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, property, transfer.type, 8,
                      static_cast<uint32_t>(piece), transfer.bytes.data() + transfer.sent);
  transfer.last_progress = std::chrono::steady_clock::now();
  if (piece == 0) {
    Finish(static_cast<size_t>(found - transfers_.begin()));
  } else {
    transfer.sent += piece;
  }
  xcb_flush(connection_);
}

void X11IncrTransfers::DropStale(std::chrono::steady_clock::time_point now) {
  for (size_t i = transfers_.size(); i-- > 0;) {
    if (now - transfers_[i].last_progress > kStaleAfter) {
      Finish(i);
    }
  }
}

void X11IncrTransfers::Finish(size_t index) {
  const xcb_window_t requestor = transfers_[index].requestor;
  transfers_.erase(transfers_.begin() + static_cast<std::ptrdiff_t>(index));
  const bool still_served =
      std::any_of(transfers_.begin(), transfers_.end(),
                  [&](const Transfer& t) { return t.requestor == requestor; });
  if (!still_served) {
    SelectPropertyChanges(connection_, requestor, false);
  }
  std::lock_guard<std::mutex> lock(windows_mutex_);
  windows_.erase(std::find(windows_.begin(), windows_.end(), requestor));
}

bool X11IncrTransfers::Serves(xcb_window_t window) const {
  std::lock_guard<std::mutex> lock(windows_mutex_);
  return std::find(windows_.begin(), windows_.end(), window) != windows_.end();
}

}  // namespace orvane
