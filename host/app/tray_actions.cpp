#include "app/tray_actions.h"

#include <atomic>
#include <memory>

#include "session/host_session.h"

namespace orvane {
namespace {

// Stops the running session, if any; true when there was one.
bool StopActiveSession(AppState& state) {
  if (const std::shared_ptr<HostSession> session = state.active_session.Get()) {
    session->RequestStop();
    return true;
  }
  return false;
}

}  // namespace

TrayActions MakeTrayActions(AppState& state, TrayActionServices services) {
  auto shared = std::make_shared<TrayActionServices>(std::move(services));
  TrayActions actions;
  actions.open_console = [shared] {
    if (shared->open_console) {
      shared->open_console();
    }
  };
  actions.exit = [&state] {
    state.relaunch_on_console_close.store(false);
    state.RequestShutdown();
    StopActiveSession(state);
  };
  actions.disconnect = [&state, shared] {
    const std::shared_ptr<HostSession> session = state.active_session.Get();
    if (session && state.client_connected.load()) {
      session->RequestStop();
      shared->notify("Active client disconnected.");
    } else {
      shared->notify("No active client to disconnect.");
    }
  };
  actions.usb_setup = [shared] {
    shared->notify(shared->prepare_usb_route()
                       ? "USB connection prepared."
                       : "USB setup failed. Check cable, adb, and device authorization.");
  };
  actions.select_monitor = [&state, shared](uint32_t index) {
    const uint32_t count = state.monitor_count.load();
    const uint32_t last = count == 0 ? 0 : count - 1;
    if (index > last) {
      shared->notify("Selected monitor is unavailable on this system.");
      return;
    }
    state.capture_output_index.store(index);
    shared->notify(StopActiveSession(state)
                       ? "Capture source updated. Reconnecting stream with new monitor."
                       : "Capture source updated for next stream.");
  };
  // The monitor streamed before the desktop was extended, streamed again once it is not.
  auto output_before = std::make_shared<std::atomic<uint32_t>>(0);
  actions.set_extended = [&state, shared, output_before](bool extend) {
    TrayExtendOutcome outcome;
    if (extend) {
      const uint32_t previous = state.capture_output_index.load();
      if (const std::optional<uint32_t> output = shared->add_extended_display()) {
        output_before->store(previous);
        state.capture_output_index.store(*output);
        outcome.extended = true;
        shared->notify(StopActiveSession(state)
                           ? "Desktop extended. Reconnecting stream with the new display."
                           : "Desktop extended for the next stream.");
      } else {
        shared->notify("The desktop cannot be extended here. The log says why.");
      }
    } else {
      shared->remove_extended_display();
      state.capture_output_index.store(output_before->load());
      shared->notify(StopActiveSession(state) ? "Extended display removed. Reconnecting stream."
                                              : "Extended display removed.");
    }
    state.monitor_count.store(shared->count_monitors());
    if (state.capture_output_index.load() >= state.monitor_count.load()) {
      state.capture_output_index.store(0);
    }
    outcome.output_index = state.capture_output_index.load();
    outcome.monitor_count = state.monitor_count.load();
    return outcome;
  };
  actions.select_backend = [&state, shared](const std::string& name, const std::string& title) {
    state.capture_backend.store(name);
    const std::string text = "Capture backend set to " + title + ".";
    shared->notify(StopActiveSession(state) ? text + " Reconnecting stream." : text);
  };
  return actions;
}

}  // namespace orvane
