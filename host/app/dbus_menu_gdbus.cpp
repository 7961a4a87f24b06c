#include "app/dbus_menu_gdbus.h"

#include <string>
#include <vector>

namespace orvane {
namespace {

constexpr const char* kInterface = "com.canonical.dbusmenu";

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="com.canonical.dbusmenu">
    <method name="GetLayout">
      <arg type="i" name="parentId" direction="in"/>
      <arg type="i" name="recursionDepth" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="u" name="revision" direction="out"/>
      <arg type="(ia{sv}av)" name="layout" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="as" name="propertyNames" direction="in"/>
      <arg type="a(ia{sv})" name="properties" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="name" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" name="id" direction="in"/>
      <arg type="s" name="eventId" direction="in"/>
      <arg type="v" name="data" direction="in"/>
      <arg type="u" name="timestamp" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg type="a(isvu)" name="events" direction="in"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg type="i" name="id" direction="in"/>
      <arg type="b" name="needUpdate" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg type="ai" name="ids" direction="in"/>
      <arg type="ai" name="updatesNeeded" direction="out"/>
      <arg type="ai" name="idErrors" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg type="a(ia{sv})" name="updatedProps"/>
      <arg type="a(ias)" name="removedProps"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg type="u" name="revision"/>
      <arg type="i" name="parent"/>
    </signal>
    <signal name="ItemActivationRequested">
      <arg type="i" name="id"/>
      <arg type="u" name="timestamp"/>
    </signal>
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
  </interface>
</node>)xml";

// One entry of the exported tree. Commands keep their command ids; the root is 0.
struct MenuNode {
  int32_t id = 0;
  TrayMenuItem item;
  std::vector<MenuNode> children;
};

std::vector<MenuNode> Nodes(const std::vector<TrayMenuItem>& items, int32_t& next_id) {
  std::vector<MenuNode> nodes;
  for (const TrayMenuItem& item : items) {
    MenuNode node;
    node.id = item.kind == TrayMenuItem::Kind::kCommand ? static_cast<int32_t>(item.id) : next_id++;
    node.item = item;
    node.children = Nodes(item.children, next_id);
    node.item.children.clear();
    nodes.push_back(std::move(node));
  }
  return nodes;
}

MenuNode Tree(const std::vector<TrayMenuItem>& items) {
  int32_t next_id = 1;
  MenuNode root;
  root.item.kind = TrayMenuItem::Kind::kSubmenu;
  root.children = Nodes(items, next_id);
  return root;
}

const MenuNode* Find(const MenuNode& node, int32_t id) {
  if (node.id == id) {
    return &node;
  }
  for (const MenuNode& child : node.children) {
    if (const MenuNode* found = Find(child, id)) {
      return found;
    }
  }
  return nullptr;
}

void CollectAll(const MenuNode& node, std::vector<const MenuNode*>& out) {
  out.push_back(&node);
  for (const MenuNode& child : node.children) {
    CollectAll(child, out);
  }
}

// An underscore marks a mnemonic in dbusmenu labels; a literal one is doubled.
std::string Label(const std::string& text) {
  std::string label;
  for (const char c : text) {
    label += c;
    if (c == '_') {
      label += '_';
    }
  }
  return label;
}

// Empty `names` asks for every property.
bool Wanted(const std::vector<std::string>& names, const char* name) {
  if (names.empty()) {
    return true;
  }
  for (const std::string& wanted : names) {
    if (wanted == name) {
      return true;
    }
  }
  return false;
}

GVariant* Properties(const MenuNode& node, const std::vector<std::string>& names) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  const TrayMenuItem& item = node.item;
  const auto add = [&](const char* name, auto make_value) {
    if (Wanted(names, name)) {
      g_variant_builder_add(&builder, "{sv}", name, make_value());
    }
  };
  switch (item.kind) {
    case TrayMenuItem::Kind::kSeparator:
      add("type", [] { return g_variant_new_string("separator"); });
      break;
    case TrayMenuItem::Kind::kSubmenu:
      if (node.id != 0) {
        add("label", [&] { return g_variant_new_string(Label(item.text).c_str()); });
      }
      add("children-display", [] { return g_variant_new_string("submenu"); });
      break;
    case TrayMenuItem::Kind::kCommand:
      add("label", [&] { return g_variant_new_string(Label(item.text).c_str()); });
      if (!item.enabled) {
        add("enabled", [] { return g_variant_new_boolean(FALSE); });
      }
      if (item.checkable) {
        add("toggle-type", [] { return g_variant_new_string("radio"); });
        add("toggle-state", [&] { return g_variant_new_int32(item.checked ? 1 : 0); });
      }
      break;
  }
  return g_variant_builder_end(&builder);
}

// `depth` -1 takes every level below the node, 0 none.
GVariant* Layout(const MenuNode& node, int32_t depth, const std::vector<std::string>& names) {
  GVariantBuilder children;
  g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
  if (depth != 0) {
    for (const MenuNode& child : node.children) {
      g_variant_builder_add(&children, "v", Layout(child, depth < 0 ? depth : depth - 1, names));
    }
  }
  return g_variant_new("(i@a{sv}av)", node.id, Properties(node, names), &children);
}

std::vector<std::string> Strings(GVariant* array) {
  std::vector<std::string> strings;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  const gchar* text = nullptr;
  while (g_variant_iter_next(&iter, "&s", &text)) {
    strings.emplace_back(text);
  }
  return strings;
}

std::vector<int32_t> Ints(GVariant* array) {
  std::vector<int32_t> ints;
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  gint32 value = 0;
  while (g_variant_iter_next(&iter, "i", &value)) {
    ints.push_back(value);
  }
  return ints;
}

GVariant* IntArray(const std::vector<int32_t>& ints) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("ai"));
  for (const int32_t value : ints) {
    g_variant_builder_add(&builder, "i", value);
  }
  return g_variant_builder_end(&builder);
}

GDBusNodeInfo* Introspection() {
  static GDBusNodeInfo* const info = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return info;
}

}  // namespace

bool DbusMenuExport::Register(GDBusConnection* connection, GError** error) {
  static const GDBusInterfaceVTable vtable = {OnMethodCall, OnGetProperty, nullptr, {}};
  return registration_.Register(connection, kObjectPath, Introspection()->interfaces[0], &vtable,
                                this, error);
}

void DbusMenuExport::Unregister(GDBusConnection* connection) {
  registration_.Unregister(connection);
}

void DbusMenuExport::EmitLayoutUpdated(GDBusConnection* connection) {
  const uint32_t revision = ++revision_;
  g_dbus_connection_emit_signal(connection, nullptr, kObjectPath, kInterface, "LayoutUpdated",
                                g_variant_new("(ui)", revision, 0), nullptr);
}

void DbusMenuExport::OnMethodCall(GDBusConnection* connection, const gchar*, const gchar*,
                                  const gchar*, const gchar* method_name, GVariant* parameters,
                                  GDBusMethodInvocation* invocation, gpointer self) {
  static_cast<DbusMenuExport*>(self)->HandleMethod(connection, method_name, parameters, invocation);
}

GVariant* DbusMenuExport::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                        const gchar* property_name, GError** error, gpointer) {
  const std::string name = property_name;
  if (name == "Version") {
    return g_variant_new_uint32(3);
  }
  if (name == "TextDirection") {
    return g_variant_new_string("ltr");
  }
  if (name == "Status") {
    return g_variant_new_string("normal");
  }
  if (name == "IconThemePath") {
    return g_variant_new_strv(nullptr, 0);
  }
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property_name);
  return nullptr;
}

void DbusMenuExport::HandleMethod(GDBusConnection* connection, const gchar* method_name,
                                  GVariant* parameters, GDBusMethodInvocation* invocation) {
  const std::string method = method_name;
  const MenuNode tree = Tree(model_.Menu());
  if (method == "GetLayout") {
    gint32 parent = 0;
    gint32 depth = -1;
    GVariant* names = nullptr;
    g_variant_get(parameters, "(ii@as)", &parent, &depth, &names);
    const std::vector<std::string> wanted = Strings(names);
    g_variant_unref(names);
    const MenuNode* node = Find(tree, parent);
    if (node == nullptr) {
      g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                            "No menu item %d", parent);
      return;
    }
    g_dbus_method_invocation_return_value(
        invocation,
        g_variant_new("(u@(ia{sv}av))", revision_.load(), Layout(*node, depth, wanted)));
  } else if (method == "GetGroupProperties") {
    GVariant* ids = nullptr;
    GVariant* names = nullptr;
    g_variant_get(parameters, "(@ai@as)", &ids, &names);
    const std::vector<int32_t> asked = Ints(ids);
    const std::vector<std::string> wanted = Strings(names);
    g_variant_unref(ids);
    g_variant_unref(names);
    std::vector<const MenuNode*> nodes;
    if (asked.empty()) {
      CollectAll(tree, nodes);
    }
    for (const int32_t id : asked) {
      if (const MenuNode* node = Find(tree, id)) {
        nodes.push_back(node);
      }
    }
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(ia{sv})"));
    for (const MenuNode* node : nodes) {
      g_variant_builder_add(&builder, "(i@a{sv})", node->id, Properties(*node, wanted));
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &builder));
  } else if (method == "GetProperty") {
    gint32 id = 0;
    const gchar* name = nullptr;
    g_variant_get(parameters, "(i&s)", &id, &name);
    const MenuNode* node = Find(tree, id);
    GVariant* value = nullptr;
    if (node != nullptr) {
      GVariant* properties = Properties(*node, {name});
      value = g_variant_lookup_value(properties, name, nullptr);
      g_variant_unref(g_variant_ref_sink(properties));
    }
    if (value == nullptr) {
      g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                            "No property %s on menu item %d", name, id);
      return;
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
    g_variant_unref(value);
  } else if (method == "Event") {
    gint32 id = 0;
    const gchar* event_id = nullptr;
    g_variant_get(parameters, "(i&svu)", &id, &event_id, nullptr, nullptr);
    const std::string event = event_id;
    if (Find(tree, id) == nullptr) {
      g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                            "No menu item %d", id);
      return;
    }
    // The caller gets its answer first: a command may run for seconds (adb).
    g_dbus_method_invocation_return_value(invocation, nullptr);
    Click(connection, id, event.c_str());
  } else if (method == "EventGroup") {
    GVariant* events = nullptr;
    g_variant_get(parameters, "(@a(isvu))", &events);
    std::vector<int32_t> clicked;
    std::vector<int32_t> unknown;
    GVariantIter iter;
    g_variant_iter_init(&iter, events);
    gint32 id = 0;
    const gchar* event_id = nullptr;
    while (g_variant_iter_next(&iter, "(i&svu)", &id, &event_id, nullptr, nullptr)) {
      if (Find(tree, id) == nullptr) {
        unknown.push_back(id);
      } else if (std::string(event_id) == "clicked") {
        clicked.push_back(id);
      }
    }
    g_variant_unref(events);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai)", IntArray(unknown)));
    for (const int32_t clicked_id : clicked) {
      Click(connection, clicked_id, "clicked");
    }
  } else if (method == "AboutToShow") {
    // The menu is built anew from the model's state each time: always worth fetching.
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", TRUE));
  } else if (method == "AboutToShowGroup") {
    GVariant* ids = nullptr;
    g_variant_get(parameters, "(@ai)", &ids);
    std::vector<int32_t> found;
    std::vector<int32_t> unknown;
    for (const int32_t id : Ints(ids)) {
      (Find(tree, id) != nullptr ? found : unknown).push_back(id);
    }
    g_variant_unref(ids);
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(@ai@ai)", IntArray(found), IntArray(unknown)));
  } else {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                          "No method %s", method_name);
  }
}

void DbusMenuExport::Click(GDBusConnection* connection, int32_t id, const gchar* event_id) {
  if (std::string(event_id) != "clicked" || id <= 0) {
    return;
  }
  if (model_.HandleCommand(static_cast<uint32_t>(id))) {
    EmitLayoutUpdated(connection);
  }
}

}  // namespace orvane
