#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "integration/glib_service_thread.h"

namespace orvane::testing {

// org.freedesktop.portal.Desktop's ScreenCast interface as a desktop serves it, strict
// about its protocol: every call but OpenPipeWireRemote must carry a handle_token and
// answers through the Response signal of the Request object that token names, sent to
// the caller alone after the call returned; sessions belong to their caller, and Start
// needs SelectSources first. It hands out connections to a PipeWire daemon's socket and a
// node id, records the restore tokens it is given, issues a new one with every start,
// and can refuse. Serves on its own thread.
class FakePortal {
 public:
  FakePortal(const std::string& bus_address, std::string pipewire_socket, uint32_t node_id);
  ~FakePortal();
  FakePortal(const FakePortal&) = delete;
  FakePortal& operator=(const FakePortal&) = delete;

  bool ready() const;
  // The answer of the next Start: 0 shares, 1 is the user's refusal, 2 an error.
  void SetStartResponse(uint32_t code);

  struct Selection {
    std::string restore_token;  // empty when none was sent
    uint32_t cursor_mode = 0;
    uint32_t persist_mode = 0;
  };
  std::vector<Selection> Selections() const;
  std::vector<std::string> IssuedTokens() const;
  int starts() const;
  int closed_sessions() const;
  // Calls refused for breaking the protocol, with why.
  std::vector<std::string> ProtocolErrors() const;

 private:
  struct Session {
    std::string owner;
    bool sources_selected = false;
    bool started = false;
  };

  void Handle(const std::string& sender, const std::string& path, const std::string& interface,
              const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation);
  // Replies with the request path and schedules the Response; false (error replied) when
  // the options name no usable handle_token.
  bool Answer(const std::string& sender, GVariant* options, GDBusMethodInvocation* invocation,
              uint32_t code, GVariant* results);
  Session* OwnSession(const std::string& sender, const char* path,
                      GDBusMethodInvocation* invocation);
  void Refuse(GDBusMethodInvocation* invocation, const std::string& why);
  static std::string PathPart(const std::string& sender);

  static const GDBusInterfaceVTable* VTable();
  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* object_path, const gchar* interface_name,
                           const gchar* method_name, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* object_path, const gchar* interface_name,
                                 const gchar* property_name, GError** error, gpointer self);

  const std::string pipewire_socket_;
  const uint32_t node_id_;
  // The service's connection, used on its thread.
  GDBusConnection* connection_ = nullptr;
  mutable std::mutex mutex_;
  uint32_t start_response_ = 0;
  std::map<std::string, Session> sessions_;
  std::vector<Selection> selections_;
  std::vector<std::string> issued_tokens_;
  std::vector<std::string> protocol_errors_;
  int starts_ = 0;
  int closed_sessions_ = 0;
  // Last: it stops first, while the members its thread uses are still there.
  GlibServiceThread service_;
};

}  // namespace orvane::testing
