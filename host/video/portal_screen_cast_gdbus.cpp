#include "video/portal_screen_cast_gdbus.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include "base/logger.h"
#include "video/restore_token_file.h"
#include "video/session_bus_gdbus.h"

namespace orvane {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr uint32_t kMonitorSource = 1;
constexpr uint32_t kCursorEmbedded = 2;
constexpr uint32_t kCursorMetadata = 4;
// Kept until the user revokes it, so a restore token works across restarts.
constexpr uint32_t kPersistUntilRevoked = 2;
// How long one portal call may take to answer (the dialog is waited for apart).
constexpr int kCallTimeoutMs = 10000;

struct ResponseWait {
  bool answered = false;
  uint32_t code = 2;
  GVariant* results = nullptr;
};

void OnResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                GVariant* parameters, gpointer data) {
  auto* wait = static_cast<ResponseWait*>(data);
  if (wait->answered) {
    return;
  }
  wait->answered = true;
  g_variant_get(parameters, "(u@a{sv})", &wait->code, &wait->results);
}

}  // namespace

PortalScreenCast::PortalScreenCast(std::filesystem::path token_file)
    : token_file_(std::move(token_file)) {}

PortalScreenCast::~PortalScreenCast() {
  CloseSession();
  if (connection_ != nullptr) {
    g_object_unref(connection_);
  }
}

bool PortalScreenCast::Connect() {
  if (connection_ != nullptr && !g_dbus_connection_is_closed(connection_)) {
    return true;
  }
  if (connection_ != nullptr) {
    g_object_unref(connection_);
    connection_ = nullptr;
  }
  std::string error;
  connection_ = ConnectSessionBus(error);
  if (connection_ == nullptr) {
    LOG_ERROR("[Capture] Session bus unavailable for the ScreenCast portal: %s", error.c_str());
    return false;
  }
  // Request paths carry the unique name without its colon, dots as underscores.
  std::string name = g_dbus_connection_get_unique_name(connection_);
  sender_path_.clear();
  for (const char c : name) {
    if (c != ':') {
      sender_path_ += c == '.' ? '_' : c;
    }
  }
  return true;
}

std::string PortalScreenCast::NextToken() {
  return "orvane" + std::to_string(getpid()) + "_" + std::to_string(++token_serial_);
}

uint32_t PortalScreenCast::ReadProperty(const char* name, uint32_t fallback) {
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
      g_variant_new("(ss)", kScreenCast, name), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
      kCallTimeoutMs, nullptr, nullptr);
  if (reply == nullptr) {
    return fallback;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  const uint32_t result =
      g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(value) : fallback;
  g_variant_unref(value);
  g_variant_unref(reply);
  return result;
}

PortalOutcome PortalScreenCast::Request(const char* method, GVariant* arguments_before_options,
                                        GVariantBuilder* options, GVariant** results) {
  const std::string token = NextToken();
  const std::string path = "/org/freedesktop/portal/desktop/request/" + sender_path_ + "/" + token;
  g_variant_builder_add(options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));

  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_context_ = context;
  }
  ResponseWait wait;
  // Subscribed before the call: the answer may come before the call returns.
  guint subscription = g_dbus_connection_signal_subscribe(
      connection_, nullptr, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, OnResponse, &wait, nullptr);

  // The arguments: those the caller gave, then the options.
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_TUPLE);
  if (arguments_before_options != nullptr) {
    GVariantIter iter;
    g_variant_iter_init(&iter, arguments_before_options);
    while (GVariant* child = g_variant_iter_next_value(&iter)) {
      g_variant_builder_add_value(&arguments, child);
      g_variant_unref(child);
    }
    g_variant_unref(g_variant_ref_sink(arguments_before_options));
  }
  g_variant_builder_add_value(&arguments, g_variant_builder_end(options));
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kPortalName, kPortalPath, kScreenCast, method, g_variant_builder_end(&arguments),
      G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  PortalOutcome outcome = PortalOutcome::kEnded;
  if (reply == nullptr) {
    LOG_ERROR("[Capture] ScreenCast portal %s failed: %s", method, error->message);
    g_clear_error(&error);
  } else {
    const gchar* handle = nullptr;
    g_variant_get(reply, "(&o)", &handle);
    // A portal older than handle tokens picks its own path.
    if (path != handle) {
      g_dbus_connection_signal_unsubscribe(connection_, subscription);
      subscription = g_dbus_connection_signal_subscribe(
          connection_, nullptr, "org.freedesktop.portal.Request", "Response", handle, nullptr,
          G_DBUS_SIGNAL_FLAGS_NONE, OnResponse, &wait, nullptr);
    }
    g_variant_unref(reply);
    IterateUntil(context, [&] { return wait.answered || cancelled_.load(); });
    if (!wait.answered) {
      outcome = PortalOutcome::kCancelled;
    } else if (wait.code == 0) {
      outcome = PortalOutcome::kStarted;
    } else {
      outcome = wait.code == 1 ? PortalOutcome::kRefused : PortalOutcome::kEnded;
      LOG_WARN("[Capture] ScreenCast portal %s answered %u", method, wait.code);
    }
  }
  g_dbus_connection_signal_unsubscribe(connection_, subscription);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_context_ = nullptr;
  }
  while (g_main_context_iteration(context, FALSE)) {
  }
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  if (outcome == PortalOutcome::kStarted && results != nullptr) {
    *results = wait.results;
  } else if (wait.results != nullptr) {
    g_variant_unref(wait.results);
  }
  return outcome;
}

void PortalScreenCast::Cancel() {
  cancelled_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_context_ != nullptr) {
    g_main_context_wakeup(waiting_context_);
  }
}

PortalOutcome PortalScreenCast::Start(PortalStream& stream) {
  CloseSession();
  if (!Connect()) {
    return PortalOutcome::kUnavailable;
  }
  const uint32_t version = ReadProperty("version", 0);
  if (version == 0) {
    LOG_ERROR(
        "[Capture] No ScreenCast portal on the session bus; install xdg-desktop-portal and the "
        "portal of your desktop (GNOME, KDE, wlroots), or use --capture-backend x11shm on X11");
    return PortalOutcome::kUnavailable;
  }
  const uint32_t cursor_modes = ReadProperty("AvailableCursorModes", 0);
  const uint32_t cursor_mode = (cursor_modes & kCursorMetadata) != 0   ? kCursorMetadata
                               : (cursor_modes & kCursorEmbedded) != 0 ? kCursorEmbedded
                                                                       : 0;

  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  const std::string session_token = NextToken();
  g_variant_builder_add(&options, "{sv}", "session_handle_token",
                        g_variant_new_string(session_token.c_str()));
  GVariant* results = nullptr;
  PortalOutcome outcome = Request("CreateSession", nullptr, &options, &results);
  if (outcome != PortalOutcome::kStarted) {
    return outcome;
  }
  const gchar* handle = nullptr;
  if (!g_variant_lookup(results, "session_handle", "&s", &handle)) {
    g_variant_unref(results);
    LOG_ERROR("[Capture] ScreenCast portal gave no session handle");
    return PortalOutcome::kEnded;
  }
  const std::string session = handle;
  g_variant_unref(results);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_handle_ = session;
  }

  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kMonitorSource));
  g_variant_builder_add(&options, "{sv}", "multiple", g_variant_new_boolean(FALSE));
  if (cursor_mode != 0) {
    g_variant_builder_add(&options, "{sv}", "cursor_mode", g_variant_new_uint32(cursor_mode));
  }
  // Restoring a session came with version 4 of the interface.
  const std::string token = version >= 4 ? ReadRestoreToken(token_file_) : std::string();
  if (version >= 4) {
    g_variant_builder_add(&options, "{sv}", "persist_mode",
                          g_variant_new_uint32(kPersistUntilRevoked));
    if (!token.empty()) {
      g_variant_builder_add(&options, "{sv}", "restore_token", g_variant_new_string(token.c_str()));
    }
  }
  outcome = Request("SelectSources", g_variant_new("(o)", session.c_str()), &options, nullptr);
  if (outcome != PortalOutcome::kStarted) {
    CloseSession();
    return outcome;
  }

  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  outcome = Request("Start", g_variant_new("(os)", session.c_str(), ""), &options, &results);
  if (outcome != PortalOutcome::kStarted) {
    CloseSession();
    return outcome;
  }
  // A token is good for one start: the new one replaces it, or none is left.
  const gchar* new_token = nullptr;
  if (version >= 4) {
    g_variant_lookup(results, "restore_token", "&s", &new_token);
    if (!WriteRestoreToken(token_file_, new_token != nullptr ? new_token : "")) {
      LOG_WARN("[Capture] Could not store the screen-sharing permission in %s",
               token_file_.string().c_str());
    }
  }
  GVariant* streams = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  g_variant_unref(results);
  if (streams == nullptr || g_variant_n_children(streams) == 0) {
    if (streams != nullptr) {
      g_variant_unref(streams);
    }
    LOG_ERROR("[Capture] ScreenCast portal started without a stream");
    CloseSession();
    return PortalOutcome::kEnded;
  }
  GVariant* properties = nullptr;
  g_variant_get_child(streams, 0, "(u@a{sv})", &stream.node_id, &properties);
  g_variant_lookup(properties, "position", "(ii)", &stream.x, &stream.y);
  g_variant_unref(properties);
  g_variant_unref(streams);
  stream.cursor_as_metadata = cursor_mode == kCursorMetadata;

  GUnixFDList* fds = nullptr;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      connection_, kPortalName, kPortalPath, kScreenCast, "OpenPipeWireRemote",
      g_variant_new("(oa{sv})", session.c_str(), nullptr), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &fds, nullptr, &error);
  if (reply == nullptr) {
    LOG_ERROR("[Capture] ScreenCast portal OpenPipeWireRemote failed: %s", error->message);
    g_clear_error(&error);
    CloseSession();
    return PortalOutcome::kEnded;
  }
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  g_variant_unref(reply);
  stream.fd = fds != nullptr ? g_unix_fd_list_get(fds, index, nullptr) : -1;
  if (fds != nullptr) {
    g_object_unref(fds);
  }
  if (stream.fd < 0) {
    LOG_ERROR("[Capture] ScreenCast portal handed out no PipeWire connection");
    CloseSession();
    return PortalOutcome::kEnded;
  }
  LOG_INFO("[Capture] ScreenCast portal shares node %u at %+d%+d (cursor %s)", stream.node_id,
           stream.x, stream.y, stream.cursor_as_metadata ? "as metadata" : "in the picture");
  return PortalOutcome::kStarted;
}

void PortalScreenCast::CloseSession() {
  std::string session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session.swap(session_handle_);
  }
  if (session.empty() || connection_ == nullptr) {
    return;
  }
  GVariant* reply = g_dbus_connection_call_sync(
      connection_, kPortalName, session.c_str(), "org.freedesktop.portal.Session", "Close", nullptr,
      nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
  if (reply != nullptr) {
    g_variant_unref(reply);
  }
}

}  // namespace orvane
