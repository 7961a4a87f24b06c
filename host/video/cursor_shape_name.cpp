#include "video/cursor_shape_name.h"

#include <array>
#include <iterator>
#include <utility>

namespace orvane {
namespace {

using NameMapping = std::pair<std::string_view, std::string_view>;

// Only names that show the same glyph as the client's stock cursor: single-edge resize
// cursors ("left_side") and splitters ("col-resize") look different and stay custom.
constexpr NameMapping kXNames[] = {
    {"left_ptr", "arrow"},
    {"default", "arrow"},
    {"arrow", "arrow"},
    {"top_left_arrow", "arrow"},
    {"hand1", "hand"},
    {"hand2", "hand"},
    {"pointer", "hand"},
    {"pointing_hand", "hand"},
    {"xterm", "text"},
    {"text", "text"},
    {"ibeam", "text"},
    {"watch", "wait"},
    {"wait", "wait"},
    {"crosshair", "cross"},
    {"cross", "cross"},
    {"tcross", "cross"},
    {"sb_h_double_arrow", "resize_ew"},
    {"h_double_arrow", "resize_ew"},
    {"ew-resize", "resize_ew"},
    {"size_hor", "resize_ew"},
    {"sb_v_double_arrow", "resize_ns"},
    {"v_double_arrow", "resize_ns"},
    {"ns-resize", "resize_ns"},
    {"size_ver", "resize_ns"},
    {"fd_double_arrow", "resize_nesw"},
    {"nesw-resize", "resize_nesw"},
    {"size_bdiag", "resize_nesw"},
    {"bd_double_arrow", "resize_nwse"},
    {"nwse-resize", "resize_nwse"},
    {"size_fdiag", "resize_nwse"},
    {"fleur", "move"},
    {"move", "move"},
    {"all-scroll", "move"},
    {"size_all", "move"},
    {"not-allowed", "not_allowed"},
    {"crossed_circle", "not_allowed"},
    {"forbidden", "not_allowed"},
    {"circle", "not_allowed"},
    {"no-drop", "not_allowed"},
    {"dnd-no-drop", "not_allowed"},
    {"progress", "progress"},
    {"left_ptr_watch", "progress"},
    {"half-busy", "progress"},
};

struct SystemCursor {
  uint16_t id;
  std::string_view shape;
};

constexpr SystemCursor kSystemCursors[] = {
    {32512, "arrow"},       {32649, "hand"},      {32513, "text"},        {32514, "wait"},
    {32515, "cross"},       {32644, "resize_ew"}, {32645, "resize_ns"},   {32643, "resize_nesw"},
    {32642, "resize_nwse"}, {32646, "move"},      {32648, "not_allowed"}, {32650, "progress"},
};

constexpr auto kSystemCursorIds = [] {
  std::array<uint16_t, std::size(kSystemCursors)> ids{};
  for (size_t i = 0; i < ids.size(); ++i) {
    ids[i] = kSystemCursors[i].id;
  }
  return ids;
}();

}  // namespace

std::span<const uint16_t> SystemCursorIds() {
  return kSystemCursorIds;
}

std::string CursorShapeFromSystemCursorId(uint16_t id) {
  for (const SystemCursor& cursor : kSystemCursors) {
    if (cursor.id == id) {
      return std::string(cursor.shape);
    }
  }
  return "custom";
}

std::string CursorShapeFromXName(std::string_view x_name) {
  for (const auto& [name, shape] : kXNames) {
    if (name == x_name) {
      return std::string(shape);
    }
  }
  return "custom";
}

}  // namespace orvane
