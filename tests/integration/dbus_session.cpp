#include "integration/dbus_session.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/log_capture.h"

namespace orvane::testing {
namespace {

constexpr const char* kFakeDesktopXml = R"xml(
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem">
      <arg type="s" name="service" direction="in"/>
    </method>
    <method name="RegisterStatusNotifierHost">
      <arg type="s" name="service" direction="in"/>
    </method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" name="app_name" direction="in"/>
      <arg type="u" name="replaces_id" direction="in"/>
      <arg type="s" name="app_icon" direction="in"/>
      <arg type="s" name="summary" direction="in"/>
      <arg type="s" name="body" direction="in"/>
      <arg type="as" name="actions" direction="in"/>
      <arg type="a{sv}" name="hints" direction="in"/>
      <arg type="i" name="expire_timeout" direction="in"/>
      <arg type="u" name="id" direction="out"/>
    </method>
    <method name="GetCapabilities">
      <arg type="as" name="capabilities" direction="out"/>
    </method>
  </interface>
</node>)xml";

GDBusNodeInfo* FakeDesktopInfo() {
  static GDBusNodeInfo* const info = g_dbus_node_info_new_for_xml(kFakeDesktopXml, nullptr);
  return info;
}

}  // namespace

DbusDaemon::DbusDaemon(const std::filesystem::path& folder) {
  const std::filesystem::path config = folder / "session-bus.conf";
  std::ofstream(config) << "<busconfig>\n"
                           "  <type>session</type>\n"
                           "  <listen>unix:dir="
                        << folder.string()
                        << "</listen>\n"
                           "  <auth>EXTERNAL</auth>\n"
                           "  <policy context=\"default\">\n"
                           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                           "    <allow eavesdrop=\"true\"/>\n"
                           "    <allow own=\"*\"/>\n"
                           "  </policy>\n"
                           "</busconfig>\n";
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    return;
  }
  const std::string config_argument = "--config-file=" + config.string();
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    execlp("dbus-daemon", "dbus-daemon", config_argument.c_str(), "--nofork", "--print-address",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  std::string line;
  char c = 0;
  while (read(pipe_fds[0], &c, 1) == 1 && c != '\n') {
    line += c;
  }
  close(pipe_fds[0]);
  address_ = line;
}

DbusDaemon::~DbusDaemon() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

FakeDesktop::FakeDesktop(const std::string& bus_address, bool with_watcher, bool with_notifications)
    : with_watcher_(with_watcher), with_notifications_(with_notifications) {
  service_.Start(bus_address, [this](GDBusConnection*) {
    static const GDBusInterfaceVTable vtable = {OnMethodCall, OnGetProperty, nullptr, {}};
    const auto serve = [&](const char* name, const char* path, int interface) {
      service_.Export(path, FakeDesktopInfo()->interfaces[interface], &vtable, this);
      service_.Own(name);
    };
    if (with_watcher_) {
      serve("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", 0);
    }
    if (with_notifications_) {
      serve("org.freedesktop.Notifications", "/org/freedesktop/Notifications", 1);
    }
  });
  WaitUntil([this] { return ready(); });
}

FakeDesktop::~FakeDesktop() {
  service_.Stop();
}

void FakeDesktop::OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                               const gchar* method_name, GVariant* parameters,
                               GDBusMethodInvocation* invocation, gpointer self) {
  auto* desktop = static_cast<FakeDesktop*>(self);
  const std::string method = method_name;
  std::lock_guard<std::mutex> lock(desktop->mutex_);
  if (method == "RegisterStatusNotifierItem") {
    const gchar* service = nullptr;
    g_variant_get(parameters, "(&s)", &service);
    desktop->registered_.emplace_back(service);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else if (method == "Notify") {
    const gchar* app_name = nullptr;
    const gchar* app_icon = nullptr;
    const gchar* summary = nullptr;
    const gchar* body = nullptr;
    g_variant_get(parameters, "(&su&s&s&sasa{sv}i)", &app_name, nullptr, &app_icon, &summary, &body,
                  nullptr, nullptr, nullptr);
    desktop->notifications_.push_back({app_name, app_icon, summary, body});
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(u)", static_cast<guint32>(desktop->notifications_.size())));
  } else if (method == "GetCapabilities") {
    const gchar* capabilities[] = {"body", nullptr};
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", capabilities));
  } else {
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
}

GVariant* FakeDesktop::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                     const gchar* property_name, GError**, gpointer self) {
  auto* desktop = static_cast<FakeDesktop*>(self);
  const std::string name = property_name;
  if (name == "RegisteredStatusNotifierItems") {
    std::lock_guard<std::mutex> lock(desktop->mutex_);
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    for (const std::string& item : desktop->registered_) {
      g_variant_builder_add(&items, "s", item.c_str());
    }
    return g_variant_builder_end(&items);
  }
  if (name == "IsStatusNotifierHostRegistered") {
    return g_variant_new_boolean(TRUE);
  }
  return g_variant_new_int32(0);
}

std::vector<std::string> FakeDesktop::RegisteredItems() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return registered_;
}

std::vector<FakeDesktop::Notification> FakeDesktop::Notifications() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifications_;
}

BusClient::BusClient(const std::string& bus_address) {
  connection_ = g_dbus_connection_new_for_address_sync(
      bus_address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
}

BusClient::~BusClient() {
  if (connection_ != nullptr) {
    g_object_unref(connection_);
  }
}

GVariant* BusClient::Call(const std::string& service, const char* path, const char* interface,
                          const char* method, GVariant* parameters, std::string* error) {
  GError* failure = nullptr;
  GVariant* reply =
      g_dbus_connection_call_sync(connection_, service.c_str(), path, interface, method, parameters,
                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &failure);
  if (reply == nullptr) {
    if (error != nullptr) {
      *error = failure->message;
    }
    g_error_free(failure);
  }
  return reply;
}

GVariant* BusClient::Property(const std::string& service, const char* path, const char* interface,
                              const char* name) {
  GVariant* reply = Call(service, path, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", interface, name));
  if (reply == nullptr) {
    return nullptr;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  g_variant_unref(reply);
  return value;
}

}  // namespace orvane::testing
