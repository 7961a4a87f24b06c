#include <gio/gio.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "app/dbus_menu_gdbus.h"
#include "app/status_notifier_item_gdbus.h"
#include "app/tray_shell.h"
#include "base/logger.h"
#include "platform/process.h"

namespace orvane {
namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kIconFile = "hicolor/scalable/apps/orvane-display.svg";

// The session bus as GDBus would find it, short of starting one: the address in the
// environment, else the per-user bus socket. Empty when there is none.
std::string SessionBusAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
      address != nullptr && address[0] != '\0') {
    return address;
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && runtime[0] == '/') {
    const std::filesystem::path socket = std::filesystem::path(runtime) / "bus";
    std::error_code error;
    if (std::filesystem::is_socket(socket, error)) {
      gchar* escaped = g_dbus_address_escape_value(socket.c_str());
      std::string address = std::string("unix:path=") + escaped;
      g_free(escaped);
      return address;
    }
  }
  return {};
}

// The icon theme folder installed with the program (share/icons beside bin/), or the
// one the build puts next to the executable.
std::filesystem::path IconThemePath() {
  const std::filesystem::path executable_directory = ExecutableDirectory();
  for (const std::filesystem::path& candidate :
       {executable_directory.parent_path() / "share" / "icons", executable_directory / "icons"}) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate / kIconFile, error)) {
      return candidate.lexically_normal();
    }
  }
  return {};
}

// The tray as a StatusNotifierItem on the session bus, with notifications through
// org.freedesktop.Notifications. Without a session bus, or without a watcher (no tray
// on the desktop), the host runs on without an icon.
class GdbusTrayShell : public TrayShell {
 public:
  ~GdbusTrayShell() override { Stop(); }

  void Start(TrayModel& model) override;
  void Stop() override;
  void RefreshTooltip() override;
  void ShowNotification(const std::string& title, const std::string& text) override;

 private:
  void Run(TrayModel& model, std::promise<void>& ready);
  GDBusConnection* Connect() const;
  void RegisterWithWatcher();

  static void OnNameAcquired(GDBusConnection* connection, const gchar* name, gpointer self);
  static void OnWatcherAppeared(GDBusConnection* connection, const gchar* name, const gchar* owner,
                                gpointer self);
  static void OnWatcherVanished(GDBusConnection* connection, const gchar* name, gpointer self);
  static void OnRegistered(GObject* source, GAsyncResult* result, gpointer self);
  static gboolean QuitLoop(gpointer loop);

  std::thread thread_;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;

  // Other threads use the connection for signals and notifications while it is up.
  std::mutex connection_mutex_;
  GDBusConnection* connection_ = nullptr;
  std::string icon_path_;

  // Tray thread only.
  DbusMenuExport* menu_ = nullptr;
  std::string item_name_;
  bool name_acquired_ = false;
  bool watcher_present_ = false;
  bool told_no_watcher_ = false;
};

void GdbusTrayShell::Start(TrayModel& model) {
  if (thread_.joinable()) {
    return;
  }
  std::promise<void> ready;
  std::future<void> started = ready.get_future();
  thread_ = std::thread([this, &model, &ready] { Run(model, ready); });
  started.wait();
}

void GdbusTrayShell::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  // An idle source quits the loop even if it has not started to run yet.
  if (loop_ != nullptr) {
    GSource* quit = g_idle_source_new();
    g_source_set_callback(quit, QuitLoop, loop_, nullptr);
    g_source_attach(quit, context_);
    g_source_unref(quit);
  }
  thread_.join();
  if (loop_ != nullptr) {
    g_main_loop_unref(loop_);
    loop_ = nullptr;
  }
  if (context_ != nullptr) {
    g_main_context_unref(context_);
    context_ = nullptr;
  }
}

gboolean GdbusTrayShell::QuitLoop(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

void GdbusTrayShell::RefreshTooltip() {
  std::lock_guard<std::mutex> lock(connection_mutex_);
  if (connection_ != nullptr) {
    StatusNotifierItemExport::EmitNewToolTip(connection_);
    // The menu's first entry shows the tooltip too.
    menu_->EmitLayoutUpdated(connection_);
  }
}

void GdbusTrayShell::ShowNotification(const std::string& title, const std::string& text) {
  std::lock_guard<std::mutex> lock(connection_mutex_);
  if (connection_ == nullptr) {
    return;
  }
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  // No reply is awaited: a missing notification server costs nothing but the message.
  g_dbus_connection_call(
      connection_, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
      "org.freedesktop.Notifications", "Notify",
      g_variant_new("(susssasa{sv}i)", StatusNotifierItemExport::kTitle, 0u, icon_path_.c_str(),
                    title.c_str(), text.c_str(), &actions, &hints, -1),
      nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

GDBusConnection* GdbusTrayShell::Connect() const {
  const std::string address = SessionBusAddress();
  if (address.empty()) {
    LOG_INFO("[Tray] No session bus; running without a tray icon");
    return nullptr;
  }
  GError* error = nullptr;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (connection == nullptr) {
    LOG_INFO("[Tray] Session bus unavailable (%s); running without a tray icon", error->message);
    g_error_free(error);
  }
  return connection;
}

void GdbusTrayShell::Run(TrayModel& model, std::promise<void>& ready) {
  GDBusConnection* connection = Connect();
  if (connection == nullptr) {
    ready.set_value();
    return;
  }
  context_ = g_main_context_new();
  loop_ = g_main_loop_new(context_, FALSE);
  g_main_context_push_thread_default(context_);

  const std::filesystem::path theme = IconThemePath();
  DbusMenuExport menu(model);
  StatusNotifierItemExport item(model, theme.string());
  GError* error = nullptr;
  if (!menu.Register(connection, &error) || !item.Register(connection, &error)) {
    LOG_WARN("[Tray] Cannot export the tray icon: %s", error->message);
    g_error_free(error);
  }
  menu_ = &menu;
  item_name_ = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
  const guint owner =
      g_bus_own_name_on_connection(connection, item_name_.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
                                   OnNameAcquired, nullptr, this, nullptr);
  const guint watch =
      g_bus_watch_name_on_connection(connection, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                     OnWatcherAppeared, OnWatcherVanished, this, nullptr);
  {
    std::lock_guard<std::mutex> lock(connection_mutex_);
    connection_ = connection;
    icon_path_ = theme.empty() ? StatusNotifierItemExport::kIconName : (theme / kIconFile).string();
  }
  ready.set_value();

  g_main_loop_run(loop_);

  {
    std::lock_guard<std::mutex> lock(connection_mutex_);
    connection_ = nullptr;
  }
  g_bus_unwatch_name(watch);
  g_bus_unown_name(owner);
  item.Unregister(connection);
  menu.Unregister(connection);
  menu_ = nullptr;
  // Notifications still queued must leave before the connection goes.
  g_dbus_connection_flush_sync(connection, nullptr, nullptr);
  g_object_unref(connection);
  // Let the sources the calls above left behind run down before the context goes.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  g_main_context_pop_thread_default(context_);
}

void GdbusTrayShell::RegisterWithWatcher() {
  if (!name_acquired_ || !watcher_present_) {
    return;
  }
  GDBusConnection* connection = nullptr;
  {
    std::lock_guard<std::mutex> lock(connection_mutex_);
    connection = connection_;
  }
  if (connection == nullptr) {
    return;
  }
  g_dbus_connection_call(connection, kWatcherName, "/StatusNotifierWatcher", kWatcherName,
                         "RegisterStatusNotifierItem", g_variant_new("(s)", item_name_.c_str()),
                         nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, OnRegistered, this);
}

void GdbusTrayShell::OnNameAcquired(GDBusConnection*, const gchar*, gpointer self) {
  auto* shell = static_cast<GdbusTrayShell*>(self);
  shell->name_acquired_ = true;
  shell->RegisterWithWatcher();
}

void GdbusTrayShell::OnWatcherAppeared(GDBusConnection*, const gchar*, const gchar*,
                                       gpointer self) {
  auto* shell = static_cast<GdbusTrayShell*>(self);
  shell->watcher_present_ = true;
  shell->RegisterWithWatcher();
}

void GdbusTrayShell::OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self) {
  auto* shell = static_cast<GdbusTrayShell*>(self);
  shell->watcher_present_ = false;
  if (!shell->told_no_watcher_) {
    shell->told_no_watcher_ = true;
    LOG_INFO("[Tray] No StatusNotifierWatcher on the session bus; running without a tray icon");
  }
}

void GdbusTrayShell::OnRegistered(GObject* source, GAsyncResult* result, gpointer) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply == nullptr) {
    LOG_WARN("[Tray] StatusNotifierWatcher refused the tray icon: %s", error->message);
    g_error_free(error);
    return;
  }
  g_variant_unref(reply);
  LOG_INFO("[Tray] System tray icon created");
}

}  // namespace

std::unique_ptr<TrayShell> CreateTrayShell() {
  return std::make_unique<GdbusTrayShell>();
}

}  // namespace orvane
