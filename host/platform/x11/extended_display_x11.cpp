#include <sys/uio.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/logger.h"
#include "platform/app_folders.h"
#include "platform/extend_placement.h"
#include "platform/extended_display.h"
#include "platform/grown_screen_record.h"

namespace orvane {
namespace {

// Naming the monitor lets a host find the one a killed host left behind and take it over
// instead of adding a second one.
constexpr char kMonitorName[] = "OrvaneDisplay";

template <typename T>
struct FreeReply {
  void operator()(T* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply<T>>;

// The X error's code, or 0 when the request went through.
uint8_t ErrorCode(xcb_connection_t* connection, xcb_void_cookie_t cookie) {
  Reply<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
  return error ? error->error_code : 0;
}

// RandR SetMonitor of a monitor without outputs, written out: the request function libxcb
// generates sends a wrong length now and then, and the server closes the connection.
uint8_t SetMonitor(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t name,
                   const PixelArea& area, PixelSize millimetres) {
  struct SetMonitorRequest {
    uint8_t major_opcode;
    uint8_t minor_opcode;
    uint16_t length;
    xcb_window_t window;
    xcb_randr_monitor_info_t info;
  } request{};
  request.window = root;
  request.info.name = name;
  request.info.x = static_cast<int16_t>(area.x);
  request.info.y = static_cast<int16_t>(area.y);
  request.info.width = static_cast<uint16_t>(area.width);
  request.info.height = static_cast<uint16_t>(area.height);
  request.info.width_in_millimeters = millimetres.width;
  request.info.height_in_millimeters = millimetres.height;
  // xcb_send_request writes the opcodes and the length, and may use the two parts
  // before the request.
  iovec parts[3] = {};
  parts[2].iov_base = &request;
  parts[2].iov_len = sizeof(request);
  const xcb_protocol_request_t protocol{1, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
  const xcb_void_cookie_t cookie{
      xcb_send_request(connection, XCB_REQUEST_CHECKED, parts + 2, &protocol)};
  return ErrorCode(connection, cookie);
}

struct MonitorList {
  std::vector<PixelArea> areas;
  std::vector<xcb_atom_t> names;
};

std::optional<MonitorList> ActiveMonitors(xcb_connection_t* connection, xcb_window_t root) {
  Reply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
      connection, xcb_randr_get_monitors(connection, root, 1), nullptr));
  if (!reply) {
    return std::nullopt;
  }
  MonitorList list;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    list.areas.push_back({it.data->x, it.data->y, it.data->width, it.data->height});
    list.names.push_back(it.data->name);
  }
  return list;
}

}  // namespace

struct ExtendedDisplay::Added {
  xcb_connection_t* connection = nullptr;
  xcb_window_t root = XCB_NONE;
  xcb_atom_t name = XCB_NONE;
  bool monitor_set = false;
  // The screen before it grew, in pixels and millimetres; none when it did not grow.
  std::optional<PixelSize> old_framebuffer;
  PixelSize old_millimetres;
  PixelSize grown_framebuffer;
  // Where the record of the growth is kept while the screen is grown.
  std::filesystem::path record_folder;

  ~Added() { xcb_disconnect(connection); }
};

namespace {

void Refuse(uint16_t width, uint16_t height, const std::string& why) {
  LOG_WARN("[Main] Cannot extend the desktop by %ux%u: %s; streaming the chosen monitor", width,
           height, why.c_str());
}

std::optional<PixelSize> CurrentFramebuffer(xcb_connection_t* connection, xcb_window_t root) {
  Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr));
  if (!geometry) {
    return std::nullopt;
  }
  return PixelSize{geometry->width, geometry->height};
}

// Deletes the monitor and puts the screen back to the size it had before the host grew
// it, unless someone else has resized it since.
void Undo(const ExtendedDisplay::Added& added) {
  xcb_connection_t* connection = added.connection;
  if (added.monitor_set) {
    const uint8_t error =
        ErrorCode(connection, xcb_randr_delete_monitor_checked(connection, added.root, added.name));
    if (error != 0) {
      LOG_WARN("[Main] Removing the extended monitor failed (X error %u)", error);
    } else {
      LOG_INFO("[Main] Extended monitor removed");
    }
  }
  if (!added.old_framebuffer) {
    return;
  }
  // The record is done with, whether the screen is to be put back or not.
  ForgetGrownScreen(added.record_folder);
  if (CurrentFramebuffer(connection, added.root) != added.grown_framebuffer) {
    return;
  }
  const PixelSize old = *added.old_framebuffer;
  const uint8_t error = ErrorCode(
      connection,
      xcb_randr_set_screen_size_checked(connection, added.root, static_cast<uint16_t>(old.width),
                                        static_cast<uint16_t>(old.height),
                                        added.old_millimetres.width, added.old_millimetres.height));
  if (error != 0) {
    LOG_WARN("[Main] Restoring the screen size %ux%u failed (X error %u)", old.width, old.height,
             error);
  } else {
    LOG_INFO("[Main] Screen restored to %ux%u", old.width, old.height);
  }
}

}  // namespace

bool ExtendedDisplay::Supported() {
  return true;
}

ExtendedDisplay::ExtendedDisplay() = default;

ExtendedDisplay::~ExtendedDisplay() {
  Remove();
}

std::optional<uint32_t> ExtendedDisplay::Add(uint16_t width, uint16_t height) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto added = std::make_unique<Added>();
  int screen_number = 0;
  added->connection = xcb_connect(nullptr, &screen_number);
  xcb_connection_t* connection = added->connection;
  if (xcb_connection_has_error(connection)) {
    Refuse(width, height, "no X display");
    return std::nullopt;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) {
    xcb_screen_next(&screens);
  }
  if (screens.rem == 0) {
    Refuse(width, height, "no X screen");
    return std::nullopt;
  }
  const xcb_screen_t& screen = *screens.data;
  added->root = screen.root;
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(connection, &xcb_randr_id);
  Reply<xcb_randr_query_version_reply_t> version(
      randr != nullptr && randr->present
          ? xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5),
                                          nullptr)
          : nullptr);
  if (!version || (version->major_version == 1 && version->minor_version < 5)) {
    Refuse(width, height, "the X server has no RandR 1.5 monitors");
    return std::nullopt;
  }
  Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, sizeof(kMonitorName) - 1, kMonitorName), nullptr));
  Reply<xcb_randr_get_screen_size_range_reply_t> range(xcb_randr_get_screen_size_range_reply(
      connection, xcb_randr_get_screen_size_range(connection, screen.root), nullptr));
  std::optional<MonitorList> monitors = ActiveMonitors(connection, screen.root);
  const std::optional<PixelSize> framebuffer = CurrentFramebuffer(connection, screen.root);
  if (!atom || !range || !monitors || !framebuffer) {
    Refuse(width, height, "the X server did not describe its screen");
    return std::nullopt;
  }
  added->name = atom->atom;
  std::vector<PixelArea> others;
  bool left_behind = false;
  for (size_t i = 0; i < monitors->areas.size(); ++i) {
    if (monitors->names[i] != added->name) {
      others.push_back(monitors->areas[i]);
    } else {
      left_behind = true;
    }
  }
  const char* display = std::getenv("DISPLAY");
  added->record_folder = AppDataFolder();
  std::optional<GrownScreen> record =
      added->record_folder.empty() ? std::nullopt : ReadGrownScreen(added->record_folder);
  // A host that was killed left its monitor and its grown screen: this one puts the
  // screen back at its end, unless someone has resized it since.
  if (left_behind && record && display != nullptr && record->display == display &&
      record->grown_pixels == *framebuffer) {
    added->old_framebuffer = record->old_pixels;
    added->old_millimetres = record->old_millimetres;
    added->grown_framebuffer = *framebuffer;
    LOG_INFO(
        "[Main] Taking over the extended monitor a stopped host left; the screen goes back "
        "to %ux%u at the end",
        record->old_pixels.width, record->old_pixels.height);
  }
  const ExtendPlacement placement = PlaceExtendedMonitor(
      others, *framebuffer, {range->max_width, range->max_height}, {width, height});
  if (!placement.refusal.empty()) {
    Refuse(width, height, placement.refusal);
    return std::nullopt;
  }
  // The density the screen was set up with, for the physical sizes RandR asks for.
  const auto millimetres = [&screen](PixelSize pixels) {
    return PixelSize{
        MillimetresAtSameDensity(pixels.width, screen.width_in_pixels, screen.width_in_millimeters),
        MillimetresAtSameDensity(pixels.height, screen.height_in_pixels,
                                 screen.height_in_millimeters)};
  };
  if (placement.framebuffer != *framebuffer) {
    const PixelSize grown_mm = millimetres(placement.framebuffer);
    const uint8_t error = ErrorCode(
        connection,
        xcb_randr_set_screen_size_checked(
            connection, screen.root, static_cast<uint16_t>(placement.framebuffer.width),
            static_cast<uint16_t>(placement.framebuffer.height), grown_mm.width, grown_mm.height));
    if (error != 0) {
      Refuse(width, height,
             "the X server refused to grow the screen to " +
                 std::to_string(placement.framebuffer.width) + "x" +
                 std::to_string(placement.framebuffer.height) + " (X error " +
                 std::to_string(error) + ")");
      return std::nullopt;
    }
    if (!added->old_framebuffer) {
      added->old_framebuffer = *framebuffer;
      added->old_millimetres = millimetres(*framebuffer);
    }
    added->grown_framebuffer = placement.framebuffer;
    if (!added->record_folder.empty() && display != nullptr) {
      WriteGrownScreen(added->record_folder, {display, *added->old_framebuffer,
                                              added->old_millimetres, placement.framebuffer});
    }
    LOG_INFO("[Main] Screen grown from %ux%u to %ux%u for the extended monitor", framebuffer->width,
             framebuffer->height, placement.framebuffer.width, placement.framebuffer.height);
  }
  const PixelArea& area = placement.monitor;
  // The server refuses a second monitor of the same name rather than replacing it.
  if (left_behind) {
    ErrorCode(connection, xcb_randr_delete_monitor_checked(connection, added->root, added->name));
  }
  const uint8_t error = SetMonitor(connection, added->root, added->name, area,
                                   millimetres({area.width, area.height}));
  added->monitor_set = error == 0;
  std::optional<uint32_t> index;
  if (const std::optional<MonitorList> now =
          added->monitor_set ? ActiveMonitors(connection, added->root) : std::nullopt) {
    for (size_t i = 0; i < now->names.size(); ++i) {
      if (now->names[i] == added->name) {
        index = static_cast<uint32_t>(i);
      }
    }
  }
  if (!index) {
    Refuse(width, height,
           error != 0 ? "the X server refused the monitor (X error " + std::to_string(error) + ")"
                      : "the X server does not list the added monitor");
    Undo(*added);
    return std::nullopt;
  }
  LOG_INFO("[Main] Extended the desktop: monitor %ux%u%+d%+d is output_index=%u", area.width,
           area.height, area.x, area.y, *index);
  added_ = std::move(added);
  return index;
}

void ExtendedDisplay::Remove() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (added_) {
    Undo(*added_);
    added_.reset();
  }
}

}  // namespace orvane
