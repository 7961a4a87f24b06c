#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "app/tray_model.h"
#include "app/tray_shell.h"

namespace orvane {

// The host's notification-area icon: its model, and the shell that shows it. Tooltip and
// notification updates come from several threads and are applied one at a time.
class TrayIcon {
 public:
  explicit TrayIcon(std::unique_ptr<TrayShell> shell = CreateTrayShell());
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  TrayModel& model() { return model_; }

  void Start();
  void Stop();
  void SetTooltip(const std::string& text);
  void ShowNotification(const std::string& title, const std::string& text);

 private:
  TrayModel model_;
  std::unique_ptr<TrayShell> shell_;
  std::mutex update_mutex_;
  bool started_ = false;
};

}  // namespace orvane
