#include "app/tray_icon.h"

namespace orvane {

TrayIcon::TrayIcon(std::unique_ptr<TrayShell> shell) : shell_(std::move(shell)) {}

TrayIcon::~TrayIcon() {
  Stop();
}

void TrayIcon::Start() {
  if (!started_) {
    started_ = true;
    shell_->Start(model_);
  }
}

// The update lock is not held here: an action running on the tray thread may be waiting
// for it, and the shell's Stop joins that thread.
void TrayIcon::Stop() {
  if (started_) {
    started_ = false;
    shell_->Stop();
  }
}

void TrayIcon::SetTooltip(const std::string& text) {
  std::lock_guard<std::mutex> lock(update_mutex_);
  model_.SetTooltip(text);
  shell_->RefreshTooltip();
}

void TrayIcon::ShowNotification(const std::string& title, const std::string& text) {
  std::lock_guard<std::mutex> lock(update_mutex_);
  shell_->ShowNotification(title, text);
}

}  // namespace orvane
