#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

// The shape name a CursorUpdate carries for a cursor known by its X cursor-theme name
// (the classic X font names and the CSS names themes alias them to); "custom" for any
// other name, including none.
std::string CursorShapeFromXName(std::string_view x_name);

// The shared system cursors that have a shape name, by resource id (IDC_ARROW 32512,
// ...), in the order a cursor handle is compared with them.
std::span<const uint16_t> SystemCursorIds();

// The shape name of a shared system cursor by its resource id; "custom" for any other id.
std::string CursorShapeFromSystemCursorId(uint16_t id);

}  // namespace orvane
