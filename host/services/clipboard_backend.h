#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "services/clipboard_data.h"

namespace orvane {

// The computer's clipboard as the platform offers it.
class ClipboardBackend {
 public:
  using ChangeCallback = std::function<void(const ClipboardData& data)>;

  virtual ~ClipboardBackend() = default;

  // Starts watching on a thread of the backend: each change made by another program is
  // read and handed to `on_change` on that thread; changes made through SetText and
  // SetImage are not reported. False when the clipboard cannot be watched (logged).
  virtual bool Start(ChangeCallback on_change) = 0;
  // Ends the watch and joins its thread; the clipboard keeps what was set. Idempotent.
  virtual void Stop() = 0;

  // Replaces the clipboard's content; false when it could not be placed (failures other
  // than those of plain text are logged). Any thread.
  virtual bool SetText(const std::string& text) = 0;
  // `png` is a PNG file; one that does not decode leaves the clipboard unchanged.
  virtual bool SetImage(const std::vector<uint8_t>& png) = 0;
};

using ClipboardBackendFactory = std::function<std::unique_ptr<ClipboardBackend>()>;

}  // namespace orvane
