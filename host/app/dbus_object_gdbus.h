#pragma once

#include <gio/gio.h>

namespace orvane {

// One object exported on a bus connection until it is unregistered.
class DbusObjectRegistration {
 public:
  bool Register(GDBusConnection* connection, const char* path, GDBusInterfaceInfo* interface,
                const GDBusInterfaceVTable* vtable, gpointer user_data, GError** error);
  // Does nothing when nothing is registered.
  void Unregister(GDBusConnection* connection);

 private:
  guint id_ = 0;
};

}  // namespace orvane
