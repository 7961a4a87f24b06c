#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "protocol/pending_clipboard.h"
#include "services/clipboard_backend.h"
#include "services/clipboard_data.h"

namespace orvane {

// Keeps the computer's clipboard and the client's in step: local changes go to a
// callback, the client's updates are written to the clipboard. What the host wrote is
// not reported back as a local change when the clipboard offers it again, e.g. when a
// clipboard manager takes it over.
class ClipboardMonitor {
 public:
  using ChangeCallback = ClipboardBackend::ChangeCallback;

  ClipboardMonitor() = default;
  ~ClipboardMonitor();
  ClipboardMonitor(const ClipboardMonitor&) = delete;
  ClipboardMonitor& operator=(const ClipboardMonitor&) = delete;

  // Watches `backend`'s clipboard; `on_change` gets each local change on the backend's
  // thread. Without a backend (the platform offers none) nothing is watched or written.
  void Start(std::unique_ptr<ClipboardBackend> backend, ChangeCallback on_change);
  // Ends the watch; waits for a running callback to return.
  void Stop();

  // Writes what the client sent: its text, then its image, which replaces the text.
  void Apply(const PendingClipboard& pending);

 private:
  void OnLocalChange(const ClipboardData& data);
  // Remembers `content` as the host's own while `write` places it; false when it failed.
  template <typename Write>
  bool WriteOwn(ClipboardData content, Write write);

  std::unique_ptr<ClipboardBackend> backend_;
  ChangeCallback on_change_;
  std::mutex mutex_;
  // The host's latest write, until a local change brings something else.
  std::optional<ClipboardData> written_;
};

}  // namespace orvane
