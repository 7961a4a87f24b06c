#include "video/capture_backend.h"

#include <utility>

#include "base/logger.h"

namespace orvane {

CaptureBackend::CaptureBackend(ScreenCapturers sources, std::atomic<uint64_t>& backend_switch,
                               uint32_t output_index, std::string choice, uint32_t width,
                               uint32_t height)
    : sources_(std::move(sources)),
      counters_(sources_.size()),
      backend_switch_(backend_switch),
      output_index_(output_index),
      choice_(std::move(choice)),
      width_(width),
      height_(height) {}

CaptureBackend::~CaptureBackend() {
  Release();
}

ScreenCapturer* CaptureBackend::SourceAt(size_t index) const {
  return index < sources_.size() ? sources_[index].get() : nullptr;
}

const ScreenCapturer* CaptureBackend::active() const {
  return SourceAt(active_);
}

const char* CaptureBackend::ActiveName() const {
  const ScreenCapturer* source = active();
  return source != nullptr ? source->name() : "none";
}

const char* CaptureBackend::ActiveDescription() const {
  const ScreenCapturer* source = active();
  return source != nullptr ? source->description() : "none";
}

void CaptureBackend::LogKnownLimitations() const {
  for (const auto& source : sources_) {
    if (source != nullptr && source->known_limitation() != nullptr) {
      LOG_INFO("[Capture] Known limitation: %s", source->known_limitation());
    }
  }
}

void CaptureBackend::LogSourceCounters() const {
  for (size_t index = 0; index < sources_.size(); ++index) {
    if (sources_[index] == nullptr) {
      continue;
    }
    const CaptureSourceCounters& c = counters_[index];
    LOG_INFO("[Capture] Source %s: frames=%llu timeouts=%llu reinits=%llu failures=%llu",
             sources_[index]->name(), static_cast<unsigned long long>(c.frames),
             static_cast<unsigned long long>(c.timeouts),
             static_cast<unsigned long long>(c.reinits),
             static_cast<unsigned long long>(c.failures));
  }
}

void CaptureBackend::SetActive(size_t index) {
  if (active_ == index) {
    return;
  }
  // Only one source holds OS objects at a time.
  if (ScreenCapturer* previous = SourceAt(active_)) {
    previous->Release();
  }
  backend_switch_.fetch_add(1);
  active_ = index;
  oversized_frame_logged_ = false;
}

bool CaptureBackend::Activate(size_t index) {
  ScreenCapturer* source = SourceAt(index);
  if (source == nullptr || !source->available()) {
    return false;
  }
  source->Release();
  // A last resort copies whole images of the stream size; it has nothing to copy into.
  if (source->last_resort() && (width_ == 0 || height_ == 0)) {
    return false;
  }
  if (!source->Initialize(output_index_, width_, height_)) {
    if (active_ == index) {
      SetActive(kNone);
    }
    return false;
  }
  const bool changed = active_ != index;
  SetActive(index);
  // A last resort is announced on every activation; the others only when they take over.
  if (source->last_resort()) {
    LOG_WARN("[Capture] Active backend=%s fallback (%ux%u)", source->name(), width_, height_);
  } else if (changed) {
    LOG_INFO("[Capture] Active backend=%s output_index=%u", source->name(), output_index_);
  }
  return true;
}

size_t CaptureBackend::ChosenIndex() const {
  size_t chosen = kNone;
  for (size_t index = 0; index < sources_.size(); ++index) {
    const ScreenCapturer* source = sources_[index].get();
    if (source != nullptr && !source->last_resort() && choice_ == source->name()) {
      chosen = index;
    }
  }
  return chosen;
}

std::vector<size_t> CaptureBackend::TrialOrder() const {
  const size_t chosen = ChosenIndex();
  std::vector<size_t> order;
  if (chosen != kNone) {
    order.push_back(chosen);
    if (sources_[chosen]->chosen_only()) {
      return order;
    }
  }
  for (const bool last_resorts : {false, true}) {
    for (size_t index = 0; index < sources_.size(); ++index) {
      const ScreenCapturer* source = sources_[index].get();
      if (index != chosen && source != nullptr && !source->chosen_only() &&
          source->last_resort() == last_resorts) {
        order.push_back(index);
      }
    }
  }
  return order;
}

bool CaptureBackend::Select() {
  const size_t chosen = ChosenIndex();
  const std::vector<size_t> order = TrialOrder();
  for (size_t position = 0; position < order.size(); ++position) {
    if (Activate(order[position])) {
      unavailable_logged_ = false;
      return true;
    }
    if (order[position] != chosen || std::exchange(unavailable_logged_, true)) {
      continue;
    }
    if (position + 1 < order.size()) {
      LOG_WARN("[Capture] %s requested but unavailable; trying %s", sources_[chosen]->description(),
               sources_[order[position + 1]]->description());
    } else {
      LOG_WARN("[Capture] %s requested but unavailable", sources_[chosen]->description());
    }
  }
  return false;
}

void CaptureBackend::ReturnToPreferredSource() {
  if (active_ == kNone) {
    return;
  }
  for (const size_t index : TrialOrder()) {
    if (index == active_) {
      return;
    }
    if (sources_[index]->ReadyToRetry() && Activate(index)) {
      return;
    }
  }
}

CapturedFrame CaptureBackend::Capture(uint32_t wait_ms) {
  ReturnToPreferredSource();
  CapturedFrame frame = CaptureActive(wait_ms);
  if (active_ < counters_.size()) {
    CaptureSourceCounters& counters = counters_[active_];
    switch (frame.status) {
      case CaptureStatus::kFrameReady:
        ++counters.frames;
        break;
      case CaptureStatus::kNoNewFrame:
        ++counters.timeouts;
        break;
      case CaptureStatus::kFailed:
        ++counters.failures;
        break;
      case CaptureStatus::kInvalidated:
        break;
    }
  }
  return frame;
}

CapturedFrame CaptureBackend::CaptureActive(uint32_t wait_ms) {
  ScreenCapturer* source = SourceAt(active_);
  if (source == nullptr) {
    CapturedFrame none;
    none.status = CaptureStatus::kInvalidated;
    return none;
  }
  CapturedFrame frame = source->Capture(wait_ms);
  if (frame.status != CaptureStatus::kFrameReady) {
    return frame;
  }
  if (!FrameFitsMemory(frame)) {
    if (!oversized_frame_logged_) {
      LOG_WARN("[Capture] %s frame %ux%u (pitch %u) exceeds its %zu bytes; dropped", source->name(),
               frame.width, frame.height, frame.row_pitch, frame.data_size);
      oversized_frame_logged_ = true;
    }
    return CapturedFrame{};
  }
  if (frame.width == width_ && frame.height == height_) {
    return frame;
  }
  return scaler_.Scale(frame, width_, height_);
}

std::vector<std::string> CaptureBackend::TakeClientNotices() {
  std::vector<std::string> notices;
  for (const auto& source : sources_) {
    if (source == nullptr) {
      continue;
    }
    std::string notice = source->TakeClientNotice();
    if (!notice.empty()) {
      notices.push_back(std::move(notice));
    }
  }
  return notices;
}

void CaptureBackend::CountReinit() {
  if (active_ < counters_.size()) {
    ++counters_[active_].reinits;
  }
}

void CaptureBackend::Invalidate() {
  if (ScreenCapturer* source = SourceAt(active_)) {
    source->Release();
  }
  SetActive(kNone);
}

void CaptureBackend::Release() {
  for (const auto& source : sources_) {
    if (source != nullptr) {
      source->Release();
    }
  }
  active_ = kNone;
}

}  // namespace orvane
