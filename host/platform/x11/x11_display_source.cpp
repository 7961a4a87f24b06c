#include "platform/x11/x11_display_source.h"

namespace orvane {

X11DisplaySource::X11DisplaySource(std::string display_name)
    : display_name_(std::move(display_name)) {}

std::shared_ptr<X11Display> X11DisplaySource::Get() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (display_ == nullptr || display_->lost()) {
    display_ = X11Display::Open(display_name_);
  }
  return display_;
}

}  // namespace orvane
