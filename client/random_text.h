#pragma once

#include <cstddef>
#include <string>

namespace orvane::client {

// Lower-case hex of `byte_count` bytes from the system's cryptographic generator; empty
// when the generator fails.
std::string RandomHexText(size_t byte_count);

}  // namespace orvane::client
