#include "integration/glib_service_thread.h"

#include <utility>

namespace orvane::testing {

GlibServiceThread::GlibServiceThread()
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {}

GlibServiceThread::~GlibServiceThread() {
  Stop();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
}

void GlibServiceThread::Start(const std::string& bus_address,
                              std::function<void(GDBusConnection*)> set_up) {
  thread_ =
      std::thread([this, bus_address, set_up = std::move(set_up)] { Serve(bus_address, set_up); });
}

void GlibServiceThread::Serve(const std::string& bus_address,
                              const std::function<void(GDBusConnection*)>& set_up) {
  g_main_context_push_thread_default(context_);
  connection_ = g_dbus_connection_new_for_address_sync(
      bus_address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (connection_ != nullptr) {
    set_up(connection_);
    set_up_.store(true);
  }
  g_main_loop_run(loop_);
  for (const guint owner : owners_) {
    g_bus_unown_name(owner);
  }
  if (connection_ != nullptr) {
    for (const guint object : exported_) {
      g_dbus_connection_unregister_object(connection_, object);
    }
    g_dbus_connection_flush_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
  }
  while (g_main_context_iteration(context_, FALSE)) {
  }
  g_main_context_pop_thread_default(context_);
}

void GlibServiceThread::Export(const std::string& path, GDBusInterfaceInfo* interface,
                               const GDBusInterfaceVTable* vtable, gpointer self) {
  exported_.push_back(g_dbus_connection_register_object(connection_, path.c_str(), interface,
                                                        vtable, self, nullptr, nullptr));
}

void GlibServiceThread::Own(const char* name) {
  ++names_wanted_;
  owners_.push_back(g_bus_own_name_on_connection(
      connection_, name, G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer self) {
        ++static_cast<GlibServiceThread*>(self)->names_owned_;
      },
      nullptr, this, nullptr));
}

void GlibServiceThread::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  GSource* quit = g_idle_source_new();
  g_source_set_callback(
      quit,
      [](gpointer loop) {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      loop_, nullptr);
  g_source_attach(quit, context_);
  g_source_unref(quit);
  thread_.join();
}

}  // namespace orvane::testing
