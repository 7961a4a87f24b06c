#include "video/session_bus_gdbus.h"

namespace orvane {

GDBusConnection* ConnectSessionBus(std::string& error) {
  GError* failure = nullptr;
  GDBusConnection* connection = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &failure);
  if (address != nullptr) {
    connection = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &failure);
    g_free(address);
  }
  if (connection == nullptr) {
    error = failure != nullptr ? failure->message : "no address";
    g_clear_error(&failure);
  }
  return connection;
}

void IterateUntil(GMainContext* context, const std::function<bool()>& done) {
  GSource* waker = g_timeout_source_new(100);
  g_source_set_callback(
      waker, [](gpointer) { return gboolean{G_SOURCE_CONTINUE}; }, nullptr, nullptr);
  g_source_attach(waker, context);
  while (!done()) {
    g_main_context_iteration(context, TRUE);
  }
  g_source_destroy(waker);
  g_source_unref(waker);
}

}  // namespace orvane
