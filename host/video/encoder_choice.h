#pragma once

#include <optional>
#include <string_view>

namespace orvane {

// The encoder the user asked for with --encoder. Where a choice does not exist on a
// platform (Windows encodes through Media Foundation only) it is ignored.
enum class EncoderChoice {
  // A hardware encoder where one opens, else the software encoder that costs least.
  kAuto,
  kHardware,
  kX264,
  kOpenH264,
};

std::optional<EncoderChoice> ParseEncoderChoice(std::string_view name);
const char* EncoderChoiceName(EncoderChoice choice);

}  // namespace orvane
