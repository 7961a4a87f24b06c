#include "video/mutter_remote_desktop_gdbus.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "base/logger.h"
#include "video/session_bus_gdbus.h"

namespace orvane {
namespace {

constexpr const char* kRemoteDesktopName = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kRemoteDesktopPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kRemoteDesktopSession = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* kScreenCastName = "org.gnome.Mutter.ScreenCast";
constexpr const char* kScreenCastPath = "/org/gnome/Mutter/ScreenCast";
constexpr const char* kScreenCastSession = "org.gnome.Mutter.ScreenCast.Session";
constexpr const char* kScreenCastStream = "org.gnome.Mutter.ScreenCast.Stream";
constexpr const char* kDisplayConfigName = "org.gnome.Mutter.DisplayConfig";
constexpr const char* kDisplayConfigPath = "/org/gnome/Mutter/DisplayConfig";
constexpr uint32_t kShiftLeftKeysym = 0xFFE1;
constexpr double kOffDesktop = -100000.0;
constexpr uint32_t kCursorEmbedded = 1;
constexpr uint32_t kCursorMetadata = 2;
constexpr int kCallTimeoutMs = 10000;
// How long Mutter may take to announce the stream's node after the start.
constexpr gint64 kNodeWaitUs = 10 * G_USEC_PER_SEC;

constexpr const char* kUserHint =
    "Mutter's remote desktop must run in a GNOME Wayland session of this user; choose "
    "--capture-backend portal to share through the desktop's dialog instead";

struct NodeWait {
  bool seen = false;
  uint32_t node_id = 0;
};

void OnStreamAdded(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                   GVariant* parameters, gpointer data) {
  auto* wait = static_cast<NodeWait*>(data);
  if (!wait->seen && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(u)"))) {
    g_variant_get(parameters, "(u)", &wait->node_id);
    wait->seen = true;
  }
}

GDBusConnection* OpenSessionBus() {
  std::string error;
  GDBusConnection* connection = ConnectSessionBus(error);
  if (connection == nullptr) {
    LOG_ERROR("[Capture] Session bus unavailable for Mutter's remote desktop: %s", error.c_str());
  }
  return connection;
}

bool NameHasOwner(GDBusConnection* connection, const char* name) {
  GVariant* reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
      kCallTimeoutMs, nullptr, nullptr);
  if (reply == nullptr) {
    return false;
  }
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned != FALSE;
}

}  // namespace

MutterRemoteDesktop::MutterRemoteDesktop() = default;

MutterRemoteDesktop::~MutterRemoteDesktop() {
  Stop();
  if (connection_ != nullptr) {
    g_object_unref(connection_);
  }
}

bool MutterRemoteDesktop::ServiceOnBus() {
  // Quietly: this only informs the capture choice.
  std::string error;
  GDBusConnection* connection = ConnectSessionBus(error);
  if (connection == nullptr) {
    return false;
  }
  const bool owned = NameHasOwner(connection, kRemoteDesktopName);
  g_dbus_connection_close_sync(connection, nullptr, nullptr);
  g_object_unref(connection);
  return owned;
}

bool MutterRemoteDesktop::Connect() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection_ != nullptr && !g_dbus_connection_is_closed(connection_)) {
    return true;
  }
  if (connection_ != nullptr) {
    g_object_unref(connection_);
  }
  connection_ = OpenSessionBus();
  return connection_ != nullptr;
}

GVariant* MutterRemoteDesktop::Call(const char* path, const char* interface, const char* method,
                                    GVariant* parameters, const GVariantType* reply_type) {
  const char* name = g_str_has_prefix(interface, kScreenCastName)      ? kScreenCastName
                     : g_str_has_prefix(interface, kDisplayConfigName) ? kDisplayConfigName
                                                                       : kRemoteDesktopName;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection_, name, path, interface, method,
                                                parameters, reply_type, G_DBUS_CALL_FLAGS_NONE,
                                                kCallTimeoutMs, nullptr, &error);
  if (reply == nullptr) {
    LOG_ERROR("[Capture] Mutter refused %s.%s: %s. %s", interface, method, error->message,
              kUserHint);
    g_clear_error(&error);
  }
  return reply;
}

void MutterRemoteDesktop::ReadParameters(MutterStream& stream) {
  GVariant* reply =
      Call(stream_path_.c_str(), "org.freedesktop.DBus.Properties", "Get",
           g_variant_new("(ss)", kScreenCastStream, "Parameters"), G_VARIANT_TYPE("(v)"));
  if (reply == nullptr) {
    return;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_VARDICT)) {
    gint32 a = 0;
    gint32 b = 0;
    if (g_variant_lookup(value, "position", "(ii)", &a, &b)) {
      stream.x = a;
      stream.y = b;
    }
    if (g_variant_lookup(value, "size", "(ii)", &a, &b) && a > 0 && b > 0) {
      stream.width = static_cast<uint32_t>(a);
      stream.height = static_cast<uint32_t>(b);
    }
  }
  g_variant_unref(value);
  g_variant_unref(reply);
}

std::string MutterRemoteDesktop::ConnectorAt(uint32_t output_index) {
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kDisplayConfigName, kDisplayConfigPath, kDisplayConfigName, "GetCurrentState",
      nullptr, G_VARIANT_TYPE("(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
  if (reply == nullptr) {
    return "";
  }
  // Each logical monitor's position and the connector of its first monitor.
  std::vector<std::tuple<int32_t, int32_t, std::string>> monitors;
  GVariant* logical = g_variant_get_child_value(reply, 2);
  GVariantIter iter;
  g_variant_iter_init(&iter, logical);
  while (GVariant* entry = g_variant_iter_next_value(&iter)) {
    gint32 x = 0;
    gint32 y = 0;
    GVariant* members = g_variant_get_child_value(entry, 5);
    g_variant_get_child(entry, 0, "i", &x);
    g_variant_get_child(entry, 1, "i", &y);
    if (g_variant_n_children(members) > 0) {
      const gchar* connector = nullptr;
      g_variant_get_child(members, 0, "(&ssss)", &connector, nullptr, nullptr, nullptr);
      if (connector != nullptr) {
        monitors.emplace_back(x, y, connector);
      }
    }
    g_variant_unref(members);
    g_variant_unref(entry);
  }
  g_variant_unref(logical);
  g_variant_unref(reply);
  std::sort(monitors.begin(), monitors.end());
  return output_index < monitors.size() ? std::get<2>(monitors[output_index]) : "";
}

MutterOutcome MutterRemoteDesktop::Start(const MutterRecording& recording, MutterStream& stream) {
  const MutterOutcome outcome = StartSession(recording, stream);
  refused_last_start_.store(outcome == MutterOutcome::kRefused);
  return outcome;
}

MutterOutcome MutterRemoteDesktop::StartSession(const MutterRecording& recording,
                                                MutterStream& stream) {
  Stop();
  if (!Connect()) {
    return MutterOutcome::kUnavailable;
  }
  if (!NameHasOwner(connection_, kRemoteDesktopName) ||
      !NameHasOwner(connection_, kScreenCastName)) {
    LOG_ERROR("[Capture] Mutter's remote desktop and screen cast are not on the session bus. %s",
              kUserHint);
    return MutterOutcome::kUnavailable;
  }
  // The remote-desktop session drives the screen cast tied to it: both start and stop
  // with it, and input goes to the streams it casts.
  GVariant* reply =
      Call(kRemoteDesktopPath, kRemoteDesktopName, "CreateSession", nullptr, G_VARIANT_TYPE("(o)"));
  if (reply == nullptr) {
    return MutterOutcome::kRefused;
  }
  std::string session_path;
  {
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    session_path = path;
    g_variant_unref(reply);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_path_ = session_path;
  }
  reply = Call(session_path.c_str(), "org.freedesktop.DBus.Properties", "Get",
               g_variant_new("(ss)", kRemoteDesktopSession, "SessionId"), G_VARIANT_TYPE("(v)"));
  std::string session_id;
  if (reply != nullptr) {
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
      session_id = g_variant_get_string(value, nullptr);
    }
    g_variant_unref(value);
    g_variant_unref(reply);
  }
  if (session_id.empty()) {
    Stop();
    return MutterOutcome::kRefused;
  }

  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&properties, "{sv}", "remote-desktop-session-id",
                        g_variant_new_string(session_id.c_str()));
  reply = Call(kScreenCastPath, kScreenCastName, "CreateSession",
               g_variant_new("(a{sv})", &properties), G_VARIANT_TYPE("(o)"));
  if (reply == nullptr) {
    Stop();
    return MutterOutcome::kRefused;
  }
  std::string cast_path;
  {
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    cast_path = path;
    g_variant_unref(reply);
  }

  GVariantBuilder record;
  g_variant_builder_init(&record, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(
      &record, "{sv}", "cursor-mode",
      g_variant_new_uint32(recording.cursor_as_metadata ? kCursorMetadata : kCursorEmbedded));
  const bool virtual_monitor = recording.virtual_width != 0 && recording.virtual_height != 0;
  // An empty connector records the primary monitor.
  const std::string connector = virtual_monitor ? "" : ConnectorAt(recording.output_index);
  reply = virtual_monitor
              ? Call(cast_path.c_str(), kScreenCastSession, "RecordVirtual",
                     g_variant_new("(a{sv})", &record), G_VARIANT_TYPE("(o)"))
              : Call(cast_path.c_str(), kScreenCastSession, "RecordMonitor",
                     g_variant_new("(sa{sv})", connector.c_str(), &record), G_VARIANT_TYPE("(o)"));
  if (reply == nullptr) {
    Stop();
    return MutterOutcome::kRefused;
  }
  std::string stream_path;
  {
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    stream_path = path;
    g_variant_unref(reply);
  }

  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  NodeWait wait;
  // Subscribed before the start: the node may be announced before Start returns. Only
  // Mutter's own announcement counts.
  const guint subscription = g_dbus_connection_signal_subscribe(
      connection_, kScreenCastName, kScreenCastStream, "PipeWireStreamAdded", stream_path.c_str(),
      nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnStreamAdded, &wait, nullptr);
  reply = Call(session_path.c_str(), kRemoteDesktopSession, "Start", nullptr, nullptr);
  bool started = reply != nullptr;
  if (reply != nullptr) {
    g_variant_unref(reply);
    const gint64 deadline = g_get_monotonic_time() + kNodeWaitUs;
    IterateUntil(context, [&] { return wait.seen || g_get_monotonic_time() >= deadline; });
  }
  g_dbus_connection_signal_unsubscribe(connection_, subscription);
  while (g_main_context_iteration(context, FALSE)) {
  }
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);

  {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = started;
    stream_path_ = stream_path;
  }
  if (!started || !wait.seen) {
    if (started) {
      LOG_ERROR("[Capture] Mutter started the session but announced no PipeWire stream. %s",
                kUserHint);
    }
    Stop();
    return MutterOutcome::kRefused;
  }
  MakeInputDevices();
  stream = MutterStream{};
  stream.node_id = wait.node_id;
  ReadParameters(stream);
  if (virtual_monitor) {
    // The virtual monitor takes the size the stream negotiates; ask for the one wanted.
    stream.width = recording.virtual_width;
    stream.height = recording.virtual_height;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream.width != 0 && stream.height != 0) {
      area_ = StreamArea{stream.width, stream.height};
    }
  }
  LOG_INFO("[Capture] Mutter is casting %s%s to PipeWire node %u",
           virtual_monitor     ? "a virtual monitor"
           : connector.empty() ? "the primary monitor"
                               : "monitor ",
           connector.c_str(), stream.node_id);
  return MutterOutcome::kStarted;
}

void MutterRemoteDesktop::Stop() {
  std::string session_path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_path = std::exchange(session_path_, std::string());
    stream_path_.clear();
    started_ = false;
    area_.reset();
  }
  if (session_path.empty() || connection_ == nullptr) {
    return;
  }
  // Stopping the remote-desktop session stops the screen cast tied to it.
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kRemoteDesktopName, session_path.c_str(), kRemoteDesktopSession, "Stop", nullptr,
      nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
  if (reply != nullptr) {
    g_variant_unref(reply);
  }
}

void MutterRemoteDesktop::NoteStreamSize(uint32_t width, uint32_t height) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_ && width != 0 && height != 0) {
    area_ = StreamArea{width, height};
  }
}

std::optional<StreamArea> MutterRemoteDesktop::Area() {
  std::lock_guard<std::mutex> lock(mutex_);
  return area_;
}

bool MutterRemoteDesktop::Notify(const char* method, GVariant* parameters) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_ || connection_ == nullptr) {
    if (parameters != nullptr) {
      g_variant_unref(g_variant_ref_sink(parameters));
    }
    return false;
  }
  // No reply awaited: input must not wait on the compositor, and one connection keeps
  // the order of the events.
  g_dbus_connection_call(connection_, kRemoteDesktopName, session_path_.c_str(),
                         kRemoteDesktopSession, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
                         -1, nullptr, nullptr, nullptr);
  return true;
}

// Mutter makes a session's virtual pointer, keyboard and touchscreen at their first press
// or motion, and windows learn of a new device only after that event has gone by: the first
// tap and the first key of every stream would reach the desktop but no window. Events that
// change nothing make the devices as the session starts: a pointer motion by nothing, a tap
// of Shift alone, and a touch far outside every monitor, where no window is.
void MutterRemoteDesktop::MakeInputDevices() {
  Notify("NotifyPointerMotionRelative", g_variant_new("(dd)", 0.0, 0.0));
  Notify("NotifyKeyboardKeysym", g_variant_new("(ub)", kShiftLeftKeysym, TRUE));
  Notify("NotifyKeyboardKeysym", g_variant_new("(ub)", kShiftLeftKeysym, FALSE));
  std::string stream;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stream = stream_path_;
  }
  Notify("NotifyTouchDown", g_variant_new("(sudd)", stream.c_str(), 0u, kOffDesktop, kOffDesktop));
  Notify("NotifyTouchUp", g_variant_new("(u)", 0u));
}

bool MutterRemoteDesktop::PointerMotionAbsolute(double x, double y) {
  std::string stream;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stream = stream_path_;
  }
  return Notify("NotifyPointerMotionAbsolute", g_variant_new("(sdd)", stream.c_str(), x, y));
}

bool MutterRemoteDesktop::PointerButton(int32_t button, bool pressed) {
  return Notify("NotifyPointerButton", g_variant_new("(ib)", button, pressed));
}

bool MutterRemoteDesktop::KeyboardKeysym(uint32_t keysym, bool pressed) {
  return Notify("NotifyKeyboardKeysym", g_variant_new("(ub)", keysym, pressed));
}

bool MutterRemoteDesktop::TouchDown(uint32_t slot, double x, double y) {
  std::string stream;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stream = stream_path_;
  }
  return Notify("NotifyTouchDown", g_variant_new("(sudd)", stream.c_str(), slot, x, y));
}

bool MutterRemoteDesktop::TouchMotion(uint32_t slot, double x, double y) {
  std::string stream;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stream = stream_path_;
  }
  return Notify("NotifyTouchMotion", g_variant_new("(sudd)", stream.c_str(), slot, x, y));
}

bool MutterRemoteDesktop::TouchUp(uint32_t slot) {
  return Notify("NotifyTouchUp", g_variant_new("(u)", slot));
}

}  // namespace orvane
