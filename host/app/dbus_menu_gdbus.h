#pragma once

#include <gio/gio.h>

#include <atomic>
#include <cstdint>

#include "app/dbus_object_gdbus.h"
#include "app/tray_model.h"

namespace orvane {

// The tray model's menu exported as com.canonical.dbusmenu, the menu a
// StatusNotifierItem points its host to. Menu ids are the command ids; separators and
// submenus take small ids of their own. Method calls arrive on the thread whose main
// context was the thread default at registration.
class DbusMenuExport {
 public:
  static constexpr const char* kObjectPath = "/MenuBar";

  explicit DbusMenuExport(TrayModel& model) : model_(model) {}
  DbusMenuExport(const DbusMenuExport&) = delete;
  DbusMenuExport& operator=(const DbusMenuExport&) = delete;

  bool Register(GDBusConnection* connection, GError** error);
  void Unregister(GDBusConnection* connection);
  // Tells menu hosts to fetch the layout again; any thread.
  void EmitLayoutUpdated(GDBusConnection* connection);

 private:
  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* object_path, const gchar* interface_name,
                           const gchar* method_name, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* object_path, const gchar* interface_name,
                                 const gchar* property_name, GError** error, gpointer self);
  void HandleMethod(GDBusConnection* connection, const gchar* method_name, GVariant* parameters,
                    GDBusMethodInvocation* invocation);
  // Runs a "clicked" event, then lets hosts see what it changed.
  void Click(GDBusConnection* connection, int32_t id, const gchar* event_id);

  TrayModel& model_;
  std::atomic<uint32_t> revision_{1};
  DbusObjectRegistration registration_;
};

}  // namespace orvane
