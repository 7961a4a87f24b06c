#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace orvane {

// 32-bit FNV-1a of the bytes as "%08X"; for log lines only ("811C9DC5" for no bytes).
std::string KeyFingerprint(std::span<const uint8_t> bytes);

// Upper-case hex of the first min(count, size, 12) bytes, or "none" when that is zero.
std::string HexPrefix(std::span<const uint8_t> bytes, size_t count);

}  // namespace orvane
