#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane {

// RFC 5869 HKDF with HMAC-SHA256; an empty salt stands for 32 zero bytes. Returns
// `length` bytes (at most 255 blocks of 32), or empty when an HMAC step fails or the
// length is out of range.
std::vector<uint8_t> HkdfSha256(std::span<const uint8_t> input_keying_material,
                                std::span<const uint8_t> salt, std::span<const uint8_t> info,
                                size_t length);

}  // namespace orvane
