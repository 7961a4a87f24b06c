#include "integration/fake_mutter.h"

#include <cstdio>
#include <utility>

#include "support/log_capture.h"

namespace orvane::testing {
namespace {

constexpr const char* kMutterXml = R"xml(
<node>
  <interface name="org.gnome.Mutter.RemoteDesktop">
    <method name="CreateSession">
      <arg name="session_path" type="o" direction="out"/>
    </method>
  </interface>
  <interface name="org.gnome.Mutter.RemoteDesktop.Session">
    <property name="SessionId" type="s" access="read"/>
    <method name="Start"/>
    <method name="Stop"/>
    <signal name="Closed"/>
    <method name="NotifyKeyboardKeysym">
      <arg name="keysym" type="u" direction="in"/>
      <arg name="state" type="b" direction="in"/>
    </method>
    <method name="NotifyPointerButton">
      <arg name="button" type="i" direction="in"/>
      <arg name="state" type="b" direction="in"/>
    </method>
    <method name="NotifyPointerMotionAbsolute">
      <arg name="stream" type="s" direction="in"/>
      <arg name="x" type="d" direction="in"/>
      <arg name="y" type="d" direction="in"/>
    </method>
    <method name="NotifyPointerMotionRelative">
      <arg name="dx" type="d" direction="in"/>
      <arg name="dy" type="d" direction="in"/>
    </method>
    <method name="NotifyTouchDown">
      <arg name="stream" type="s" direction="in"/>
      <arg name="slot" type="u" direction="in"/>
      <arg name="x" type="d" direction="in"/>
      <arg name="y" type="d" direction="in"/>
    </method>
    <method name="NotifyTouchMotion">
      <arg name="stream" type="s" direction="in"/>
      <arg name="slot" type="u" direction="in"/>
      <arg name="x" type="d" direction="in"/>
      <arg name="y" type="d" direction="in"/>
    </method>
    <method name="NotifyTouchUp">
      <arg name="slot" type="u" direction="in"/>
    </method>
  </interface>
  <interface name="org.gnome.Mutter.ScreenCast">
    <method name="CreateSession">
      <arg name="properties" type="a{sv}" direction="in"/>
      <arg name="session_path" type="o" direction="out"/>
    </method>
  </interface>
  <interface name="org.gnome.Mutter.ScreenCast.Session">
    <method name="Start"/>
    <method name="Stop"/>
    <method name="RecordMonitor">
      <arg name="connector" type="s" direction="in"/>
      <arg name="properties" type="a{sv}" direction="in"/>
      <arg name="stream_path" type="o" direction="out"/>
    </method>
    <method name="RecordVirtual">
      <arg name="properties" type="a{sv}" direction="in"/>
      <arg name="stream_path" type="o" direction="out"/>
    </method>
  </interface>
  <interface name="org.gnome.Mutter.ScreenCast.Stream">
    <signal name="PipeWireStreamAdded">
      <arg name="node_id" type="u"/>
    </signal>
    <property name="Parameters" type="a{sv}" access="read"/>
  </interface>
  <interface name="org.gnome.Mutter.DisplayConfig">
    <method name="GetCurrentState">
      <arg name="serial" direction="out" type="u"/>
      <arg name="monitors" direction="out" type="a((ssss)a(siiddada{sv})a{sv})"/>
      <arg name="logical_monitors" direction="out" type="a(iiduba(ssss)a{sv})"/>
      <arg name="properties" direction="out" type="a{sv}"/>
    </method>
  </interface>
</node>)xml";

enum Interface {
  kRemoteDesktop,
  kRemoteSession,
  kScreenCast,
  kCastSession,
  kStream,
  kDisplayConfig
};

// Two monitors side by side, listed right one first: the primary DP-1 at the left and
// HDMI-1 at the right.
GVariant* CurrentState() {
  GVariantBuilder logical;
  g_variant_builder_init(&logical, G_VARIANT_TYPE("a(iiduba(ssss)a{sv})"));
  const struct {
    int32_t x;
    bool primary;
    const char* connector;
  } monitors[] = {{1920, false, "HDMI-1"}, {0, true, "DP-1"}};
  for (const auto& monitor : monitors) {
    GVariantBuilder members;
    g_variant_builder_init(&members, G_VARIANT_TYPE("a(ssss)"));
    g_variant_builder_add(&members, "(ssss)", monitor.connector, "VND", "Screen", "0001");
    g_variant_builder_add(&logical, "(iidub@a(ssss)@a{sv})", monitor.x, 0, 1.0, 0u, monitor.primary,
                          g_variant_builder_end(&members),
                          g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
  }
  return g_variant_new(
      "(u@a((ssss)a(siiddada{sv})a{sv})@a(iiduba(ssss)a{sv})@a{sv})", 1u,
      g_variant_new_array(G_VARIANT_TYPE("((ssss)a(siiddada{sv})a{sv})"), nullptr, 0),
      g_variant_builder_end(&logical), g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
}

GDBusNodeInfo* MutterInfo() {
  static GDBusNodeInfo* const info = g_dbus_node_info_new_for_xml(kMutterXml, nullptr);
  return info;
}

struct PendingSignal {
  GDBusConnection* connection;
  std::string destination;
  std::string path;
  uint32_t node_id;
};

gboolean EmitStreamAdded(gpointer data) {
  auto* pending = static_cast<PendingSignal*>(data);
  g_dbus_connection_emit_signal(pending->connection, pending->destination.c_str(),
                                pending->path.c_str(), "org.gnome.Mutter.ScreenCast.Stream",
                                "PipeWireStreamAdded", g_variant_new("(u)", pending->node_id),
                                nullptr);
  delete pending;
  return G_SOURCE_REMOVE;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::vector<std::string> SessionCalls(std::vector<std::string> through_start,
                                      const std::vector<std::string>& after) {
  for (const char* call :
       {"NotifyPointerMotionRelative dx=0 dy=0", "NotifyKeyboardKeysym keysym=0xffe1 down",
        "NotifyKeyboardKeysym keysym=0xffe1 up", "NotifyTouchDown slot=0 x=-100000 y=-100000",
        "NotifyTouchUp slot=0"}) {
    through_start.push_back(call);
  }
  through_start.insert(through_start.end(), after.begin(), after.end());
  return through_start;
}

FakeMutter::FakeMutter(const std::string& bus_address, uint32_t node_id, uint32_t width,
                       uint32_t height)
    : node_id_(node_id), width_(width), height_(height) {
  service_.Start(bus_address, [this](GDBusConnection* connection) {
    connection_ = connection;
    Register("/org/gnome/Mutter/RemoteDesktop", kRemoteDesktop);
    Register("/org/gnome/Mutter/ScreenCast", kScreenCast);
    Register("/org/gnome/Mutter/DisplayConfig", kDisplayConfig);
    for (const char* name : {"org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.ScreenCast",
                             "org.gnome.Mutter.DisplayConfig"}) {
      service_.Own(name);
    }
  });
  WaitUntil([this] { return ready(); });
}

FakeMutter::~FakeMutter() {
  service_.Stop();
}

bool FakeMutter::ready() const {
  return service_.ready();
}

void FakeMutter::RefuseRecording() {
  std::lock_guard<std::mutex> lock(mutex_);
  refuse_recording_ = true;
}

std::vector<std::string> FakeMutter::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeMutter::ProtocolErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_errors_;
}

void FakeMutter::Register(const std::string& path, int interface) {
  service_.Export(path, MutterInfo()->interfaces[interface], VTable(), this);
}

void FakeMutter::Refuse(GDBusMethodInvocation* invocation, const std::string& why) {
  protocol_errors_.push_back(why);
  g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                             why.c_str());
}

const GDBusInterfaceVTable* FakeMutter::VTable() {
  static const GDBusInterfaceVTable table = {OnMethodCall, OnGetProperty, nullptr, {}};
  return &table;
}

void FakeMutter::OnMethodCall(GDBusConnection*, const gchar* sender, const gchar* object_path,
                              const gchar* interface_name, const gchar* method_name,
                              GVariant* parameters, GDBusMethodInvocation* invocation,
                              gpointer self) {
  static_cast<FakeMutter*>(self)->Handle(sender, object_path, interface_name, method_name,
                                         parameters, invocation);
}

GVariant* FakeMutter::OnGetProperty(GDBusConnection*, const gchar*, const gchar* object_path,
                                    const gchar*, const gchar* property_name, GError** error,
                                    gpointer self) {
  auto* mutter = static_cast<FakeMutter*>(self);
  std::lock_guard<std::mutex> lock(mutter->mutex_);
  const std::string path = object_path;
  const std::string property = property_name;
  if (property == "SessionId") {
    const auto session = mutter->remote_sessions_.find(path);
    if (session != mutter->remote_sessions_.end()) {
      return g_variant_new_string(session->second.id.c_str());
    }
  } else if (property == "Parameters") {
    GVariantBuilder parameters;
    g_variant_builder_init(&parameters, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&parameters, "{sv}", "position", g_variant_new("(ii)", 0, 0));
    // A virtual monitor's size is what the stream negotiates, not known beforehand.
    if (!mutter->virtual_streams_[path]) {
      g_variant_builder_add(&parameters, "{sv}", "size",
                            g_variant_new("(ii)", static_cast<int32_t>(mutter->width_),
                                          static_cast<int32_t>(mutter->height_)));
    }
    return g_variant_builder_end(&parameters);
  }
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no such property");
  return nullptr;
}

void FakeMutter::Handle(const std::string& sender, const std::string& path,
                        const std::string& interface, const std::string& method,
                        GVariant* parameters, GDBusMethodInvocation* invocation) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (interface == "org.gnome.Mutter.DisplayConfig" && method == "GetCurrentState") {
    g_dbus_method_invocation_return_value(invocation, CurrentState());
    return;
  }
  if (interface == "org.gnome.Mutter.RemoteDesktop" && method == "CreateSession") {
    const std::string session =
        "/org/gnome/Mutter/RemoteDesktop/Session/u" + std::to_string(++serial_);
    remote_sessions_[session] = {sender, "rd" + std::to_string(serial_), {}, false, false};
    Register(session, kRemoteSession);
    calls_.push_back("RemoteDesktop.CreateSession");
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", session.c_str()));
    return;
  }
  if (interface == "org.gnome.Mutter.ScreenCast" && method == "CreateSession") {
    const gchar* id = nullptr;
    GVariant* properties = g_variant_get_child_value(parameters, 0);
    const bool tied = g_variant_lookup(properties, "remote-desktop-session-id", "&s", &id);
    std::string remote_path;
    for (auto& [candidate, session] : remote_sessions_) {
      if (tied && session.id == id && session.owner == sender && session.cast_path.empty()) {
        remote_path = candidate;
      }
    }
    g_variant_unref(properties);
    if (remote_path.empty()) {
      Refuse(invocation, "ScreenCast.CreateSession without a remote-desktop session of the caller");
      return;
    }
    const std::string session =
        "/org/gnome/Mutter/ScreenCast/Session/u" + std::to_string(++serial_);
    cast_sessions_[session] = {sender, remote_path, {}};
    remote_sessions_[remote_path].cast_path = session;
    Register(session, kCastSession);
    calls_.push_back("ScreenCast.CreateSession");
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", session.c_str()));
    return;
  }
  if (interface == "org.gnome.Mutter.RemoteDesktop.Session") {
    HandleRemoteSession(sender, path, method, parameters, invocation);
    return;
  }
  if (interface == "org.gnome.Mutter.ScreenCast.Session") {
    HandleCastSession(sender, path, method, parameters, invocation);
    return;
  }
  Refuse(invocation, "unexpected " + interface + "." + method);
}

void FakeMutter::HandleCastSession(const std::string& sender, const std::string& path,
                                   const std::string& method, GVariant* parameters,
                                   GDBusMethodInvocation* invocation) {
  const auto found = cast_sessions_.find(path);
  if (found == cast_sessions_.end() || found->second.owner != sender) {
    Refuse(invocation, method + " on a screen-cast session of another caller");
    return;
  }
  CastSession& cast = found->second;
  if (method == "Start" || method == "Stop") {
    Refuse(invocation,
           "a remote-desktop driven screen cast is started and stopped by its "
           "remote-desktop session");
    return;
  }
  const RemoteSession& remote = remote_sessions_[cast.remote_path];
  if (remote.started || remote.stopped || !cast.stream_path.empty()) {
    Refuse(invocation, method + " after the session started, or a second time");
    return;
  }
  GVariant* properties = g_variant_get_child_value(parameters, method == "RecordMonitor" ? 1 : 0);
  uint32_t cursor_mode = 0;
  const bool has_cursor_mode = g_variant_lookup(properties, "cursor-mode", "u", &cursor_mode);
  g_variant_unref(properties);
  if (!has_cursor_mode || cursor_mode > 2) {
    Refuse(invocation, method + " without a cursor mode of 0, 1 or 2");
    return;
  }
  if (refuse_recording_) {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                               "Unknown monitor");
    return;
  }
  cast.stream_path = "/org/gnome/Mutter/ScreenCast/Stream/u" + std::to_string(++serial_);
  virtual_streams_[cast.stream_path] = method == "RecordVirtual";
  Register(cast.stream_path, kStream);
  std::string call = method;
  if (method == "RecordMonitor") {
    const gchar* connector = nullptr;
    g_variant_get_child(parameters, 0, "&s", &connector);
    call += std::string(" connector=") + (connector[0] != '\0' ? connector : "(primary)");
  }
  calls_.push_back(call + " cursor-mode=" + std::to_string(cursor_mode));
  g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", cast.stream_path.c_str()));
}

void FakeMutter::HandleRemoteSession(const std::string& sender, const std::string& path,
                                     const std::string& method, GVariant* parameters,
                                     GDBusMethodInvocation* invocation) {
  const auto found = remote_sessions_.find(path);
  if (found == remote_sessions_.end() || found->second.owner != sender) {
    Refuse(invocation, method + " on a remote-desktop session of another caller");
    return;
  }
  RemoteSession& session = found->second;
  if (method == "Start") {
    const auto cast = cast_sessions_.find(session.cast_path);
    if (session.started || session.stopped || cast == cast_sessions_.end() ||
        cast->second.stream_path.empty()) {
      Refuse(invocation, "Start without a recording screen cast, or a second time");
      return;
    }
    session.started = true;
    calls_.push_back("Start");
    g_dbus_method_invocation_return_value(invocation, nullptr);
    // The stream's node follows the answer, as the compositor announces it.
    GSource* later = g_idle_source_new();
    g_source_set_callback(
        later, EmitStreamAdded,
        new PendingSignal{connection_, sender, cast->second.stream_path, node_id_}, nullptr);
    g_source_attach(later, service_.context());
    g_source_unref(later);
    return;
  }
  if (method == "Stop") {
    if (session.stopped) {
      Refuse(invocation, "Stop of a stopped session");
      return;
    }
    session.stopped = true;
    calls_.push_back("Stop");
    g_dbus_method_invocation_return_value(invocation, nullptr);
    g_dbus_connection_emit_signal(connection_, sender.c_str(), path.c_str(),
                                  "org.gnome.Mutter.RemoteDesktop.Session", "Closed", nullptr,
                                  nullptr);
    return;
  }
  if (!CheckNotify(session, method, parameters, invocation)) {
    return;
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

bool FakeMutter::CheckNotify(RemoteSession& session, const std::string& method,
                             GVariant* parameters, GDBusMethodInvocation* invocation) {
  if (!session.started || session.stopped) {
    Refuse(invocation, method + " outside a started session");
    return false;
  }
  const std::string stream = cast_sessions_[session.cast_path].stream_path;
  std::string call = method;
  if (method == "NotifyKeyboardKeysym") {
    uint32_t keysym = 0;
    gboolean state = FALSE;
    g_variant_get(parameters, "(ub)", &keysym, &state);
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", keysym);
    call += std::string(" keysym=") + text + (state ? " down" : " up");
  } else if (method == "NotifyPointerButton") {
    int32_t button = 0;
    gboolean state = FALSE;
    g_variant_get(parameters, "(ib)", &button, &state);
    call += " button=" + std::to_string(button) + (state ? " down" : " up");
  } else if (method == "NotifyPointerMotionRelative") {
    double dx = 0;
    double dy = 0;
    g_variant_get(parameters, "(dd)", &dx, &dy);
    call += " dx=" + Number(dx) + " dy=" + Number(dy);
  } else if (method == "NotifyTouchUp") {
    uint32_t slot = 0;
    g_variant_get(parameters, "(u)", &slot);
    call += " slot=" + std::to_string(slot);
  } else {
    const gchar* target = nullptr;
    uint32_t slot = 0;
    double x = 0;
    double y = 0;
    if (method == "NotifyPointerMotionAbsolute") {
      g_variant_get(parameters, "(&sdd)", &target, &x, &y);
    } else {
      g_variant_get(parameters, "(&sudd)", &target, &slot, &x, &y);
      call += " slot=" + std::to_string(slot);
    }
    if (stream != target) {
      Refuse(invocation, method + " on a stream this session did not create: " + target);
      return false;
    }
    call += " x=" + Number(x) + " y=" + Number(y);
  }
  calls_.push_back(call);
  return true;
}

}  // namespace orvane::testing
