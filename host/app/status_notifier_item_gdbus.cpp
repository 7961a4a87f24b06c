#include "app/status_notifier_item_gdbus.h"

#include "app/dbus_menu_gdbus.h"

namespace orvane {
namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
    </method>
    <method name="Activate">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
    </method>
    <method name="SecondaryActivate">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
    </method>
    <method name="Scroll">
      <arg type="i" name="delta" direction="in"/>
      <arg type="s" name="orientation" direction="in"/>
    </method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus">
      <arg type="s" name="status"/>
    </signal>
  </interface>
</node>)xml";

GDBusNodeInfo* Introspection() {
  static GDBusNodeInfo* const info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return info;
}

GVariant* NoPixmaps() {
  return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

}  // namespace

bool StatusNotifierItemExport::Register(GDBusConnection* connection, GError** error) {
  static const GDBusInterfaceVTable vtable = {OnMethodCall, OnGetProperty, nullptr, {}};
  return registration_.Register(connection, kObjectPath, Introspection()->interfaces[0], &vtable,
                                this, error);
}

void StatusNotifierItemExport::Unregister(GDBusConnection* connection) {
  registration_.Unregister(connection);
}

void StatusNotifierItemExport::EmitNewToolTip(GDBusConnection* connection) {
  g_dbus_connection_emit_signal(connection, nullptr, kObjectPath, kInterface, "NewToolTip", nullptr,
                                nullptr);
}

void StatusNotifierItemExport::OnMethodCall(GDBusConnection*, const gchar*, const gchar*,
                                            const gchar*, const gchar* method_name, GVariant*,
                                            GDBusMethodInvocation* invocation, gpointer self) {
  // The host shows the exported menu itself; only a plain click means anything here.
  // The answer goes first: the action may take a while.
  g_dbus_method_invocation_return_value(invocation, nullptr);
  if (std::string(method_name) == "Activate") {
    static_cast<StatusNotifierItemExport*>(self)->model_.Activate();
  }
}

GVariant* StatusNotifierItemExport::OnGetProperty(GDBusConnection*, const gchar*, const gchar*,
                                                  const gchar*, const gchar* property_name,
                                                  GError** error, gpointer self) {
  GVariant* value = static_cast<StatusNotifierItemExport*>(self)->Property(property_name);
  if (value == nullptr) {
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s",
                property_name);
  }
  return value;
}

GVariant* StatusNotifierItemExport::Property(const std::string& name) const {
  if (name == "Category") {
    return g_variant_new_string("ApplicationStatus");
  }
  if (name == "Id") {
    return g_variant_new_string(kIconName);
  }
  if (name == "Title") {
    return g_variant_new_string(kTitle);
  }
  if (name == "Status") {
    return g_variant_new_string("Active");
  }
  if (name == "WindowId") {
    return g_variant_new_int32(0);
  }
  if (name == "IconName") {
    return g_variant_new_string(kIconName);
  }
  if (name == "IconThemePath") {
    return g_variant_new_string(icon_theme_path_.c_str());
  }
  if (name == "IconPixmap" || name == "OverlayIconPixmap" || name == "AttentionIconPixmap") {
    return NoPixmaps();
  }
  if (name == "OverlayIconName" || name == "AttentionIconName" || name == "AttentionMovieName") {
    return g_variant_new_string("");
  }
  if (name == "ToolTip") {
    const std::string tooltip = model_.Tooltip();
    return g_variant_new("(s@a(iiay)ss)", kIconName, NoPixmaps(), tooltip.c_str(), "");
  }
  if (name == "ItemIsMenu") {
    return g_variant_new_boolean(FALSE);
  }
  if (name == "Menu") {
    return g_variant_new_object_path(DbusMenuExport::kObjectPath);
  }
  return nullptr;
}

}  // namespace orvane
