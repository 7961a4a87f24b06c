#pragma once

#include <memory>
#include <string>

#include "app/tray_model.h"

namespace orvane {

// The desktop's side of the tray: draws the model's icon, tooltip and menu, shows
// notifications and reports clicks to the model. One implementation per platform.
class TrayShell {
 public:
  virtual ~TrayShell() = default;

  // Starts the tray thread and returns once the icon is up or has failed (the host runs
  // on without one). The model outlives the shell's thread.
  virtual void Start(TrayModel& model) = 0;
  // Removes the icon and joins the tray thread.
  virtual void Stop() = 0;
  // Shows the model's current tooltip.
  virtual void RefreshTooltip() = 0;
  virtual void ShowNotification(const std::string& title, const std::string& text) = 0;
};

std::unique_ptr<TrayShell> CreateTrayShell();

}  // namespace orvane
