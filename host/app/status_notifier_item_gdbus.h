#pragma once

#include <gio/gio.h>

#include <string>

#include "app/dbus_object_gdbus.h"
#include "app/tray_model.h"

namespace orvane {

// The tray icon as an org.kde.StatusNotifierItem: title, status, tooltip and icon as
// properties, the menu at DbusMenuExport's path, a click on the icon as Activate.
// Method calls arrive on the thread whose main context was the thread default at
// registration.
class StatusNotifierItemExport {
 public:
  static constexpr const char* kObjectPath = "/StatusNotifierItem";
  static constexpr const char* kIconName = "orvane-display";
  static constexpr const char* kTitle = "Orvane Display";

  // `icon_theme_path`: a folder with hicolor/scalable/apps/orvane-display.svg, or empty
  // to leave the icon to the desktop's theme.
  StatusNotifierItemExport(TrayModel& model, std::string icon_theme_path)
      : model_(model), icon_theme_path_(std::move(icon_theme_path)) {}
  StatusNotifierItemExport(const StatusNotifierItemExport&) = delete;
  StatusNotifierItemExport& operator=(const StatusNotifierItemExport&) = delete;

  bool Register(GDBusConnection* connection, GError** error);
  void Unregister(GDBusConnection* connection);
  // Tells the host to read the tooltip again; any thread.
  static void EmitNewToolTip(GDBusConnection* connection);

 private:
  static void OnMethodCall(GDBusConnection* connection, const gchar* sender,
                           const gchar* object_path, const gchar* interface_name,
                           const gchar* method_name, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection* connection, const gchar* sender,
                                 const gchar* object_path, const gchar* interface_name,
                                 const gchar* property_name, GError** error, gpointer self);
  GVariant* Property(const std::string& name) const;

  TrayModel& model_;
  const std::string icon_theme_path_;
  DbusObjectRegistration registration_;
};

}  // namespace orvane
