#include "app/dbus_object_gdbus.h"

namespace orvane {

bool DbusObjectRegistration::Register(GDBusConnection* connection, const char* path,
                                      GDBusInterfaceInfo* interface,
                                      const GDBusInterfaceVTable* vtable, gpointer user_data,
                                      GError** error) {
  id_ = g_dbus_connection_register_object(connection, path, interface, vtable, user_data, nullptr,
                                          error);
  return id_ != 0;
}

void DbusObjectRegistration::Unregister(GDBusConnection* connection) {
  if (id_ != 0) {
    g_dbus_connection_unregister_object(connection, id_);
    id_ = 0;
  }
}

}  // namespace orvane
