#pragma once

#include <gio/gio.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

namespace orvane {

// The screen the desktop agreed to share: a PipeWire connection and the node to read.
struct PortalStream {
  int fd = -1;  // owned by the receiver
  uint32_t node_id = 0;
  // Where the shared monitor lies on the desktop, when the desktop says.
  int32_t x = 0;
  int32_t y = 0;
  // The cursor comes as stream metadata, not drawn into the picture.
  bool cursor_as_metadata = false;
};

enum class PortalOutcome {
  kStarted,
  // The user declined in the desktop's dialog.
  kRefused,
  // The desktop ended the request or session (or answered with an error).
  kEnded,
  // No ScreenCast portal on the session bus, or the bus cannot be reached.
  kUnavailable,
  // Stopped by Cancel.
  kCancelled,
};

// A screen cast through org.freedesktop.portal.ScreenCast on the session bus:
// CreateSession, SelectSources (one monitor; the cursor as metadata where offered, else
// drawn in; kept until revoked), Start, OpenPipeWireRemote. Each call answers through a
// Request object's Response signal. The restore token of every start replaces the stored
// one, which the next start hands back, so the desktop asks the user only once. One bus
// connection serves every start for the life of this object.
class PortalScreenCast {
 public:
  explicit PortalScreenCast(std::filesystem::path token_file);
  ~PortalScreenCast();
  PortalScreenCast(const PortalScreenCast&) = delete;
  PortalScreenCast& operator=(const PortalScreenCast&) = delete;

  // Runs the whole start on the calling thread; it waits as long as the user takes to
  // answer the desktop's dialog, or until Cancel. Logs what went wrong and what the
  // user can do.
  PortalOutcome Start(PortalStream& stream);
  // Ends a Start that is waiting, from any thread; the next Start waits only after Rearm.
  void Cancel();
  void Rearm() { cancelled_.store(false); }
  // Closes the portal session a Start opened, so the desktop stops sharing.
  void CloseSession();

 private:
  bool Connect();
  // Calls `method` of the ScreenCast interface with a handle_token in its options (the
  // last argument, built by the caller as the rest) and waits for the Response.
  PortalOutcome Request(const char* method, GVariant* arguments_before_options,
                        GVariantBuilder* options, GVariant** results);
  std::string NextToken();
  uint32_t ReadProperty(const char* name, uint32_t fallback);

  const std::filesystem::path token_file_;
  GDBusConnection* connection_ = nullptr;
  std::string sender_path_;  // the unique name as request paths spell it
  uint32_t token_serial_ = 0;
  std::mutex mutex_;
  std::string session_handle_;
  GMainContext* waiting_context_ = nullptr;
  std::atomic<bool> cancelled_{false};
};

}  // namespace orvane
