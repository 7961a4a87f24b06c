#include "video/encoder_choice.h"

#include <cctype>
#include <string>

namespace orvane {

std::optional<EncoderChoice> ParseEncoderChoice(std::string_view name) {
  // Spelled as the user likes, like the capture backend.
  std::string lower(name);
  for (char& letter : lower) {
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  }
  for (EncoderChoice choice : {EncoderChoice::kAuto, EncoderChoice::kHardware, EncoderChoice::kX264,
                               EncoderChoice::kOpenH264}) {
    if (lower == EncoderChoiceName(choice)) {
      return choice;
    }
  }
  return std::nullopt;
}

const char* EncoderChoiceName(EncoderChoice choice) {
  switch (choice) {
    case EncoderChoice::kAuto:
      return "auto";
    case EncoderChoice::kHardware:
      return "hardware";
    case EncoderChoice::kX264:
      return "x264";
    case EncoderChoice::kOpenH264:
      return "openh264";
  }
  return "auto";
}

}  // namespace orvane
