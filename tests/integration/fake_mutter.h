#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integration/glib_service_thread.h"

namespace orvane::testing {

// GNOME Mutter's remote-desktop and screen-cast services as the compositor serves them,
// strict about their order: sessions belong to their caller; a screen-cast session must
// name a remote-desktop session of the same caller; RecordMonitor and RecordVirtual
// (with a cursor mode) only on such a session and before it starts; the screen cast is
// started only through its remote-desktop session, which then announces the stream's
// PipeWire node; Notify* only while started and with the stream it created. Records every call it
// accepts, in order, and every call it refuses, with why. Its DisplayConfig lists two monitors:
// DP-1 (primary) left of HDMI-1. Serves on its own thread. The calls of one session as Mutter sees
// them: `through_start` (ending with its Start), the events the host sends right after it to make
// the session's input devices, then `after`.
std::vector<std::string> SessionCalls(std::vector<std::string> through_start,
                                      const std::vector<std::string>& after);

class FakeMutter {
 public:
  // `node_id` is announced for every stream; `width` x `height` is the stream's size.
  FakeMutter(const std::string& bus_address, uint32_t node_id, uint32_t width, uint32_t height);
  ~FakeMutter();
  FakeMutter(const FakeMutter&) = delete;
  FakeMutter& operator=(const FakeMutter&) = delete;

  bool ready() const;
  // Answers RecordMonitor and RecordVirtual with an error from now on.
  void RefuseRecording();

  // "RemoteDesktop.CreateSession", "RecordMonitor connector=DP-1 cursor-mode=2", "Start",
  // "NotifyTouchDown slot=0 x=10 y=20", "Stop"...
  std::vector<std::string> Calls() const;
  std::vector<std::string> ProtocolErrors() const;

 private:
  struct RemoteSession {
    std::string owner;
    std::string id;
    std::string cast_path;  // the screen-cast session tied to it
    bool started = false;
    bool stopped = false;
  };
  struct CastSession {
    std::string owner;
    std::string remote_path;
    std::string stream_path;
  };

  void Handle(const std::string& sender, const std::string& path, const std::string& interface,
              const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation);
  void HandleRemoteSession(const std::string& sender, const std::string& path,
                           const std::string& method, GVariant* parameters,
                           GDBusMethodInvocation* invocation);
  void HandleCastSession(const std::string& sender, const std::string& path,
                         const std::string& method, GVariant* parameters,
                         GDBusMethodInvocation* invocation);
  // Checks a Notify call; false (error replied) when it breaks the rules.
  bool CheckNotify(RemoteSession& session, const std::string& method, GVariant* parameters,
                   GDBusMethodInvocation* invocation);
  void Register(const std::string& path, int interface);
  void Refuse(GDBusMethodInvocation* invocation, const std::string& why);

  static const GDBusInterfaceVTable* VTable();
  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* object_path, const gchar* interface_name,
                           const gchar* method_name, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* object_path, const gchar* interface_name,
                                 const gchar* property_name, GError** error, gpointer self);

  const uint32_t node_id_;
  const uint32_t width_;
  const uint32_t height_;
  // The service's connection, used on its thread.
  GDBusConnection* connection_ = nullptr;
  mutable std::mutex mutex_;
  bool refuse_recording_ = false;
  int serial_ = 0;
  std::map<std::string, RemoteSession> remote_sessions_;
  std::map<std::string, CastSession> cast_sessions_;
  std::map<std::string, bool> virtual_streams_;
  std::vector<std::string> calls_;
  std::vector<std::string> protocol_errors_;
  // Last: it stops first, while the members its thread uses are still there.
  GlibServiceThread service_;
};

}  // namespace orvane::testing
