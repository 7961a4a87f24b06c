#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integration/glib_service_thread.h"

namespace orvane::testing {

// A private session bus: dbus-daemon on a socket in `folder`, with no service
// activation, so nothing but what a test starts answers on it.
class DbusDaemon {
 public:
  explicit DbusDaemon(const std::filesystem::path& folder);
  ~DbusDaemon();
  DbusDaemon(const DbusDaemon&) = delete;
  DbusDaemon& operator=(const DbusDaemon&) = delete;

  // Empty when the daemon did not start.
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// What a desktop offers the tray on the session bus, as far as a test needs it: a
// StatusNotifierWatcher that records registrations and a notification server that
// records notifications. Serves on its own thread.
class FakeDesktop {
 public:
  struct Notification {
    std::string app_name;
    std::string app_icon;
    std::string summary;
    std::string body;
  };

  FakeDesktop(const std::string& bus_address, bool with_watcher, bool with_notifications);
  ~FakeDesktop();
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  // True once the names it serves are its own.
  bool ready() const { return service_.ready(); }
  std::vector<std::string> RegisteredItems() const;
  std::vector<Notification> Notifications() const;

 private:
  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* object_path, const gchar* interface_name,
                           const gchar* method_name, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* object_path, const gchar* interface_name,
                                 const gchar* property_name, GError** error, gpointer self);

  const bool with_watcher_;
  const bool with_notifications_;
  mutable std::mutex mutex_;
  std::vector<std::string> registered_;
  std::vector<Notification> notifications_;
  // Last: it stops first, while the members its thread uses are still there.
  GlibServiceThread service_;
};

// A client connection to the bus for the test's own calls.
class BusClient {
 public:
  explicit BusClient(const std::string& bus_address);
  ~BusClient();
  BusClient(const BusClient&) = delete;
  BusClient& operator=(const BusClient&) = delete;

  bool connected() const { return connection_ != nullptr; }
  // The reply, or nullptr (with `error` set) on failure; the caller unrefs it.
  GVariant* Call(const std::string& service, const char* path, const char* interface,
                 const char* method, GVariant* parameters, std::string* error = nullptr);
  // One property's value, or nullptr; the caller unrefs it.
  GVariant* Property(const std::string& service, const char* path, const char* interface,
                     const char* name);

 private:
  GDBusConnection* connection_ = nullptr;
};

}  // namespace orvane::testing
