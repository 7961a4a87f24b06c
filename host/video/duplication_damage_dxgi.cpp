#include "video/duplication_damage_dxgi.h"

#include <algorithm>
#include <cstring>

namespace orvane {
namespace {

ScreenRect FromRect(const RECT& rect) {
  const LONG left = std::max<LONG>(rect.left, 0);
  const LONG top = std::max<LONG>(rect.top, 0);
  if (rect.right <= left || rect.bottom <= top) {
    return {};
  }
  return {left, top, static_cast<uint32_t>(rect.right - left),
          static_cast<uint32_t>(rect.bottom - top)};
}

// One read of a kind of metadata into `buffer`, grown once when the system asks for more
// room than the frame's announced total (it may, between the acquire and the read).
template <typename Read>
std::optional<size_t> ReadInto(std::vector<uint8_t>& buffer, const Read& read) {
  UINT used = 0;
  HRESULT hr = read(static_cast<UINT>(buffer.size()), buffer.data(), used);
  if (hr == DXGI_ERROR_MORE_DATA) {
    buffer.resize(used);
    hr = read(static_cast<UINT>(buffer.size()), buffer.data(), used);
  }
  if (FAILED(hr)) {
    return std::nullopt;
  }
  return used;
}

}  // namespace

std::optional<std::vector<ScreenRect>> ReadFrameDamage(IDXGIOutputDuplication& duplication,
                                                       const DXGI_OUTDUPL_FRAME_INFO& info,
                                                       std::vector<uint8_t>& buffer) {
  if (info.TotalMetadataBufferSize == 0) {
    return std::nullopt;
  }
  buffer.resize(std::max<size_t>(buffer.size(), info.TotalMetadataBufferSize));
  std::vector<ScreenRect> damage;
  const auto moves = ReadInto(buffer, [&](UINT size, uint8_t* data, UINT& used) {
    return duplication.GetFrameMoveRects(size, reinterpret_cast<DXGI_OUTDUPL_MOVE_RECT*>(data),
                                         &used);
  });
  if (!moves) {
    return std::nullopt;
  }
  for (size_t i = 0; i < *moves / sizeof(DXGI_OUTDUPL_MOVE_RECT); ++i) {
    DXGI_OUTDUPL_MOVE_RECT move;
    std::memcpy(&move, buffer.data() + i * sizeof(move), sizeof(move));
    // The moved pixels are already in the image at their destination.
    damage.push_back(FromRect(move.DestinationRect));
  }
  const auto dirty = ReadInto(buffer, [&](UINT size, uint8_t* data, UINT& used) {
    return duplication.GetFrameDirtyRects(size, reinterpret_cast<RECT*>(data), &used);
  });
  if (!dirty) {
    return std::nullopt;
  }
  for (size_t i = 0; i < *dirty / sizeof(RECT); ++i) {
    RECT rect;
    std::memcpy(&rect, buffer.data() + i * sizeof(rect), sizeof(rect));
    damage.push_back(FromRect(rect));
  }
  std::erase_if(damage, [](const ScreenRect& r) { return r.width == 0 || r.height == 0; });
  return damage;
}

}  // namespace orvane
