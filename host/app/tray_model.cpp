#include "app/tray_model.h"

#include <algorithm>

namespace orvane {

std::string CutToCharacters(const std::string& text, size_t characters) {
  size_t counted = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && counted++ == characters) {
      return text.substr(0, i);
    }
  }
  return text;
}

void TrayModel::SetActions(TrayActions actions) {
  std::lock_guard<std::mutex> lock(mutex_);
  actions_ = std::move(actions);
}

void TrayModel::SetTooltip(const std::string& text) {
  std::string cut = CutToCharacters(text, kTooltipCharacters);
  std::lock_guard<std::mutex> lock(mutex_);
  state_.tooltip = std::move(cut);
}

void TrayModel::SetConnected(bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.connected = connected;
}

void TrayModel::SetOutputIndex(uint32_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.output_index = index;
}

void TrayModel::SetMonitorCount(uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.monitor_count = count;
}

void TrayModel::SetCaptureSources(std::vector<TrayCaptureSource> sources) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.capture_sources = std::move(sources);
}

void TrayModel::SetCaptureChoice(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.capture_choice = name;
}

void TrayModel::SetExtend(bool available, bool extended) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_.extend_available = available;
  state_.extended = extended;
}

std::string TrayModel::Tooltip() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_.tooltip;
}

TrayMenuState TrayModel::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

bool TrayModel::HandleCommand(uint32_t id) {
  // The action runs without the lock: it may well change the tray's state itself.
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (id) {
      case kTrayOpen:
        action = actions_.open_console;
        break;
      case kTrayDisconnect:
        if (state_.connected) {
          action = actions_.disconnect;
        }
        break;
      case kTrayExit:
        action = actions_.exit;
        break;
      case kTrayUsbSetup:
        action = actions_.usb_setup;
        break;
      case kTrayExtend:
        if (state_.extend_available && actions_.set_extended) {
          action = [this, set = actions_.set_extended, want = !state_.extended] {
            const TrayExtendOutcome outcome = set(want);
            std::lock_guard<std::mutex> lock(mutex_);
            state_.extended = outcome.extended;
            state_.output_index = outcome.output_index;
            state_.monitor_count = outcome.monitor_count;
          };
        }
        break;
      case kTrayBackendAuto:
        if (actions_.select_backend) {
          state_.capture_choice = "auto";
          action = [select = actions_.select_backend] { select("auto", "Auto"); };
        }
        break;
      default:
        if (id >= kTrayBackendOthersFirst) {
          const size_t index = id - kTrayBackendOthersFirst + 1;
          if (index < state_.capture_sources.size() && state_.capture_sources[index].available &&
              actions_.select_backend) {
            const TrayCaptureSource& source = state_.capture_sources[index];
            state_.capture_choice = source.name;
            action = [select = actions_.select_backend, source] {
              select(source.name, source.title);
            };
          }
          break;
        }
        if (id >= kTrayMonitorFirst && id <= kTrayMonitorLast) {
          const uint32_t index = id - kTrayMonitorFirst;
          if (index < std::max<uint32_t>(state_.monitor_count, 1) && actions_.select_monitor) {
            state_.output_index = index;
            action = [select = actions_.select_monitor, index] { select(index); };
          }
        }
        break;
    }
  }
  if (!action) {
    return false;
  }
  action();
  return true;
}

}  // namespace orvane
