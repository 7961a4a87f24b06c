#include "integration/fake_portal.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <utility>

#include "support/log_capture.h"
#include "support/pipewire_test_producer.h"

namespace orvane::testing {
namespace {

constexpr const char* kPortalXml = R"xml(
<node>
  <interface name="org.freedesktop.portal.ScreenCast">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="SelectSources">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="OpenPipeWireRemote">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="h" name="fd" direction="out"/>
    </method>
    <property name="AvailableSourceTypes" type="u" access="read"/>
    <property name="AvailableCursorModes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>)xml";

GDBusNodeInfo* PortalInfo() {
  static GDBusNodeInfo* const info = g_dbus_node_info_new_for_xml(kPortalXml, nullptr);
  return info;
}

struct PendingResponse {
  GDBusConnection* connection;
  std::string destination;
  std::string path;
  uint32_t code;
  GVariant* results;
};

gboolean EmitResponse(gpointer data) {
  auto* response = static_cast<PendingResponse*>(data);
  g_dbus_connection_emit_signal(
      response->connection, response->destination.c_str(), response->path.c_str(),
      "org.freedesktop.portal.Request", "Response",
      g_variant_new("(u@a{sv})", response->code, response->results), nullptr);
  delete response;
  return G_SOURCE_REMOVE;
}

}  // namespace

FakePortal::FakePortal(const std::string& bus_address, std::string pipewire_socket,
                       uint32_t node_id)
    : pipewire_socket_(std::move(pipewire_socket)), node_id_(node_id) {
  service_.Start(bus_address, [this](GDBusConnection* connection) {
    connection_ = connection;
    service_.Export("/org/freedesktop/portal/desktop", PortalInfo()->interfaces[0], VTable(), this);
    service_.Own("org.freedesktop.portal.Desktop");
  });
  WaitUntil([this] { return ready(); });
}

FakePortal::~FakePortal() {
  service_.Stop();
}

bool FakePortal::ready() const {
  return service_.ready();
}

std::string FakePortal::PathPart(const std::string& sender) {
  std::string part;
  for (const char c : sender) {
    if (c != ':') {
      part += c == '.' ? '_' : c;
    }
  }
  return part;
}

void FakePortal::Refuse(GDBusMethodInvocation* invocation, const std::string& why) {
  protocol_errors_.push_back(why);
  g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.Failed",
                                             why.c_str());
}

bool FakePortal::Answer(const std::string& sender, GVariant* options,
                        GDBusMethodInvocation* invocation, uint32_t code, GVariant* results) {
  const gchar* token = nullptr;
  if (!g_variant_lookup(options, "handle_token", "&s", &token) || token[0] == '\0') {
    Refuse(invocation, "no handle_token");
    g_variant_unref(g_variant_ref_sink(results));
    return false;
  }
  const std::string path =
      "/org/freedesktop/portal/desktop/request/" + PathPart(sender) + "/" + token;
  g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", path.c_str()));
  // After the reply, as a desktop's dialog answers later.
  GSource* later = g_timeout_source_new(20);
  g_source_set_callback(
      later, EmitResponse,
      new PendingResponse{connection_, sender, path, code, g_variant_ref_sink(results)}, nullptr);
  g_source_attach(later, service_.context());
  g_source_unref(later);
  return true;
}

FakePortal::Session* FakePortal::OwnSession(const std::string& sender, const char* path,
                                            GDBusMethodInvocation* invocation) {
  const auto found = sessions_.find(path);
  if (found == sessions_.end() || found->second.owner != sender) {
    Refuse(invocation, std::string("no session of the caller at ") + path);
    return nullptr;
  }
  return &found->second;
}

void FakePortal::Handle(const std::string& sender, const std::string& path,
                        const std::string& interface, const std::string& method,
                        GVariant* parameters, GDBusMethodInvocation* invocation) {
  std::lock_guard<std::mutex> lock(mutex_);
  GVariantBuilder results;
  g_variant_builder_init(&results, G_VARIANT_TYPE_VARDICT);
  if (interface == "org.freedesktop.portal.Session") {
    ++closed_sessions_;
    sessions_.erase(path);
    g_dbus_method_invocation_return_value(invocation, nullptr);
    return;
  }
  if (method == "CreateSession") {
    GVariant* options = g_variant_get_child_value(parameters, 0);
    const gchar* token = nullptr;
    if (!g_variant_lookup(options, "session_handle_token", "&s", &token)) {
      Refuse(invocation, "no session_handle_token");
    } else {
      const std::string session =
          "/org/freedesktop/portal/desktop/session/" + PathPart(sender) + "/" + token;
      g_variant_builder_add(&results, "{sv}", "session_handle",
                            g_variant_new_string(session.c_str()));
      if (Answer(sender, options, invocation, 0, g_variant_builder_end(&results))) {
        sessions_[session] = Session{sender};
        service_.Export(session, PortalInfo()->interfaces[1], VTable(), this);
      }
      g_variant_unref(options);
      return;
    }
    g_variant_unref(options);
  } else if (method == "SelectSources") {
    const gchar* session_path = nullptr;
    GVariant* options = nullptr;
    g_variant_get(parameters, "(&o@a{sv})", &session_path, &options);
    if (Session* session = OwnSession(sender, session_path, invocation)) {
      Selection selection;
      const gchar* token = nullptr;
      if (g_variant_lookup(options, "restore_token", "&s", &token)) {
        selection.restore_token = token;
      }
      g_variant_lookup(options, "cursor_mode", "u", &selection.cursor_mode);
      g_variant_lookup(options, "persist_mode", "u", &selection.persist_mode);
      if (Answer(sender, options, invocation, 0, g_variant_builder_end(&results))) {
        session->sources_selected = true;
        selections_.push_back(selection);
      }
    }
    g_variant_unref(options);
  } else if (method == "Start") {
    const gchar* session_path = nullptr;
    GVariant* options = nullptr;
    g_variant_get(parameters, "(&o&s@a{sv})", &session_path, nullptr, &options);
    Session* session = OwnSession(sender, session_path, invocation);
    if (session != nullptr && !session->sources_selected) {
      Refuse(invocation, "Start before SelectSources");
    } else if (session != nullptr) {
      ++starts_;
      if (start_response_ == 0) {
        const std::string token = "restore-" + std::to_string(issued_tokens_.size() + 1);
        issued_tokens_.push_back(token);
        GVariantBuilder properties;
        g_variant_builder_init(&properties, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&properties, "{sv}", "position", g_variant_new("(ii)", 0, 0));
        g_variant_builder_add(&properties, "{sv}", "source_type", g_variant_new_uint32(1));
        GVariantBuilder streams;
        g_variant_builder_init(&streams, G_VARIANT_TYPE("a(ua{sv})"));
        g_variant_builder_add(&streams, "(u@a{sv})", node_id_, g_variant_builder_end(&properties));
        g_variant_builder_add(&results, "{sv}", "streams", g_variant_builder_end(&streams));
        g_variant_builder_add(&results, "{sv}", "restore_token",
                              g_variant_new_string(token.c_str()));
        session->started = true;
      }
      Answer(sender, options, invocation, start_response_, g_variant_builder_end(&results));
    }
    g_variant_unref(options);
    g_variant_builder_clear(&results);
    return;
  } else if (method == "OpenPipeWireRemote") {
    const gchar* session_path = nullptr;
    g_variant_get(parameters, "(&oa{sv})", &session_path, nullptr);
    Session* session = OwnSession(sender, session_path, invocation);
    if (session != nullptr && !session->started) {
      Refuse(invocation, "OpenPipeWireRemote before a started session");
    } else if (session != nullptr) {
      const int fd = ConnectPipeWireSocket(pipewire_socket_.c_str());
      GUnixFDList* fds = g_unix_fd_list_new();
      const gint index = g_unix_fd_list_append(fds, fd, nullptr);
      close(fd);
      g_dbus_method_invocation_return_value_with_unix_fd_list(invocation,
                                                              g_variant_new("(h)", index), fds);
      g_object_unref(fds);
    }
  }
  g_variant_builder_clear(&results);
}

void FakePortal::OnMethodCall(GDBusConnection*, const gchar* sender, const gchar* object_path,
                              const gchar* interface_name, const gchar* method_name,
                              GVariant* parameters, GDBusMethodInvocation* invocation,
                              gpointer self) {
  static_cast<FakePortal*>(self)->Handle(sender, object_path, interface_name, method_name,
                                         parameters, invocation);
}

GVariant* FakePortal::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                    const gchar* property_name, GError**, gpointer) {
  const std::string name = property_name;
  if (name == "version") {
    return g_variant_new_uint32(4);
  }
  // Monitors and windows; hidden, embedded and metadata cursors.
  return g_variant_new_uint32(name == "AvailableCursorModes" ? 7 : 3);
}

const GDBusInterfaceVTable* FakePortal::VTable() {
  static const GDBusInterfaceVTable vtable = {OnMethodCall, OnGetProperty, nullptr, {}};
  return &vtable;
}

void FakePortal::SetStartResponse(uint32_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  start_response_ = code;
}

std::vector<FakePortal::Selection> FakePortal::Selections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return selections_;
}

std::vector<std::string> FakePortal::IssuedTokens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return issued_tokens_;
}

int FakePortal::starts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return starts_;
}

int FakePortal::closed_sessions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_sessions_;
}

std::vector<std::string> FakePortal::ProtocolErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_errors_;
}

}  // namespace orvane::testing
