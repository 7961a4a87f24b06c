#include "services/clipboard_monitor.h"

#include "base/logger.h"

namespace orvane {

ClipboardMonitor::~ClipboardMonitor() {
  Stop();
}

void ClipboardMonitor::Start(std::unique_ptr<ClipboardBackend> backend, ChangeCallback on_change) {
  Stop();
  backend_ = std::move(backend);
  on_change_ = std::move(on_change);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.reset();
  }
  if (backend_) {
    backend_->Start([this](const ClipboardData& data) { OnLocalChange(data); });
  }
}

void ClipboardMonitor::Stop() {
  if (backend_) {
    backend_->Stop();
  }
}

void ClipboardMonitor::OnLocalChange(const ClipboardData& data) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (written_ == data) {
      return;
    }
    written_.reset();
  }
  LOG_INFO("[Clipboard] Updated (text=%d image=%d image_bytes=%zu)", data.has_text ? 1 : 0,
           data.has_image ? 1 : 0, data.image.size());
  if (on_change_) {
    on_change_(data);
  }
}

template <typename Write>
bool ClipboardMonitor::WriteOwn(ClipboardData content, Write write) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = content;
  }
  if (write()) {
    return true;
  }
  // The clipboard still holds what was there; a local copy of it must not be taken for
  // the host's own.
  std::lock_guard<std::mutex> lock(mutex_);
  if (written_ == content) {
    written_.reset();
  }
  return false;
}

void ClipboardMonitor::Apply(const PendingClipboard& pending) {
  if (!backend_) {
    return;
  }
  if (!pending.text.empty()) {
    ClipboardData text;
    text.text = pending.text;
    text.has_text = true;
    if (WriteOwn(std::move(text), [&] { return backend_->SetText(pending.text); })) {
      LOG_INFO_COLLAPSED("[Clipboard] Set text from remote (%zu chars)", pending.text.size());
    }
  }
  if (!pending.image_data.empty()) {
    ClipboardData image;
    image.image.assign(pending.image_data.begin(), pending.image_data.end());
    image.mime_type = kPngMimeType;
    image.has_image = true;
    const std::vector<uint8_t> png = image.image;
    if (WriteOwn(std::move(image), [&] { return backend_->SetImage(png); })) {
      LOG_INFO_COLLAPSED("[Clipboard] Set image from remote (%u bytes)",
                         static_cast<unsigned>(png.size()));
    }
  }
}

}  // namespace orvane
