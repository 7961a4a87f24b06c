#pragma once

#include <string>
#include <string_view>

namespace orvane {

// The shape name a CursorUpdate carries for a cursor known by its X cursor-theme name
// (the classic X font names and the CSS names themes alias them to); "custom" for any
// other name, including none.
std::string CursorShapeFromXName(std::string_view x_name);

}  // namespace orvane
