#pragma once

#include <gio/gio.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "input/remote_desktop_input.h"

namespace orvane {

// What to record: a monitor of the desktop, or a virtual monitor of the given size that
// the compositor adds for as long as the stream runs.
struct MutterRecording {
  uint16_t virtual_width = 0;  // 0: a monitor of the desktop
  uint16_t virtual_height = 0;
  // Which monitor, counted left to right (then top to bottom) from 0; the primary one
  // where the desktop does not list its monitors or has fewer.
  uint32_t output_index = 0;
  // The cursor as stream metadata, else drawn into the picture.
  bool cursor_as_metadata = true;
};

struct MutterStream {
  uint32_t node_id = 0;
  // Where the recorded monitor lies on the desktop and its size, when Mutter says.
  int32_t x = 0;
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

enum class MutterOutcome {
  kStarted,
  // No session bus, or no Mutter on it.
  kUnavailable,
  // Mutter answered with an error, or sent no stream.
  kRefused,
};

// A screen cast and input session through GNOME Mutter's own D-Bus interfaces, without a
// dialog: a remote-desktop session, a screen-cast session tied to it that records a
// monitor or a virtual one, Start, and the stream's PipeWire node from its
// PipeWireStreamAdded signal (read on the session's own PipeWire daemon). Input goes to
// the same session in the stream's coordinates. Start and Stop come from one thread;
// input may come from another.
class MutterRemoteDesktop final : public RemoteDesktopInput {
 public:
  MutterRemoteDesktop();
  ~MutterRemoteDesktop() override;
  MutterRemoteDesktop(const MutterRemoteDesktop&) = delete;
  MutterRemoteDesktop& operator=(const MutterRemoteDesktop&) = delete;

  // True when Mutter's remote-desktop service has its name on the session bus.
  static bool ServiceOnBus();
  // Mutter answered the last Start with an error (not: was absent).
  bool refused_last_start() const { return refused_last_start_.load(); }

  // Runs the whole start on the calling thread. Logs what went wrong and what the user
  // can do.
  MutterOutcome Start(const MutterRecording& recording, MutterStream& stream);
  // Stops the session a Start opened: the compositor stops casting (and removes a
  // virtual monitor). Safe when none runs.
  void Stop();
  // The stream's picture has this size (a virtual monitor's follows the negotiation).
  void NoteStreamSize(uint32_t width, uint32_t height);

  std::optional<StreamArea> Area() override;
  bool PointerMotionAbsolute(double x, double y) override;
  bool PointerButton(int32_t button, bool pressed) override;
  bool KeyboardKeysym(uint32_t keysym, bool pressed) override;
  bool TouchDown(uint32_t slot, double x, double y) override;
  bool TouchMotion(uint32_t slot, double x, double y) override;
  bool TouchUp(uint32_t slot) override;

 private:
  bool Connect();
  MutterOutcome StartSession(const MutterRecording& recording, MutterStream& stream);
  // Calls a method and returns its reply, or nullptr with the error logged.
  GVariant* Call(const char* path, const char* interface, const char* method, GVariant* parameters,
                 const GVariantType* reply_type);
  // Sends an input request to the running session without waiting for its answer.
  bool Notify(const char* method, GVariant* parameters);
  void MakeInputDevices();
  void ReadParameters(MutterStream& stream);
  // The connector of the monitor at `output_index`, or "" (the primary monitor).
  std::string ConnectorAt(uint32_t output_index);

  // Guards what input reads: the connection and the session's paths.
  std::mutex mutex_;
  GDBusConnection* connection_ = nullptr;
  std::string session_path_;  // the remote-desktop session's
  std::string stream_path_;   // the screen-cast stream's
  bool started_ = false;
  std::optional<StreamArea> area_;
  std::atomic<bool> refused_last_start_{false};
};

}  // namespace orvane
