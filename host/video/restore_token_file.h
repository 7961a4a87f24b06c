#pragma once

#include <filesystem>
#include <string>

namespace orvane {

// The desktop's permission to share the screen again without asking, kept between runs
// in the host's config folder: the screen-cast portal hands out a new token with every
// start and takes the last one back on the next.

// The stored token, or empty when there is none or the file holds no plausible token.
std::string ReadRestoreToken(const std::filesystem::path& file);

// Replaces the stored token; an empty token removes the file. Written beside the old one
// and renamed over it, so a crash leaves the old token or the new one. False on failure.
bool WriteRestoreToken(const std::filesystem::path& file, const std::string& token);

// Whether `token` looks like one the portal hands out: 1 to 512 printable ASCII
// characters without spaces.
bool PlausibleRestoreToken(const std::string& token);

}  // namespace orvane
