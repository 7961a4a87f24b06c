#include "input/recording_input_sink.h"

namespace orvane::testing {

void SinkRecord::FailTouch(std::optional<uint32_t> error) {
  std::lock_guard<std::mutex> lock(mutex_);
  touch_failure_ = error;
}

void SinkRecord::FailPen(std::optional<uint32_t> error) {
  std::lock_guard<std::mutex> lock(mutex_);
  pen_failure_ = error;
}

std::optional<uint32_t> SinkRecord::touch_failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return touch_failure_;
}

std::optional<uint32_t> SinkRecord::pen_failure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pen_failure_;
}

void SinkRecord::Add(SinkCall call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(std::move(call));
}

std::vector<SinkCall> SinkRecord::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<SinkCall> SinkRecord::Calls(SinkCall::Kind kind) const {
  std::vector<SinkCall> kept;
  for (const SinkCall& call : Calls()) {
    if (call.kind == kind) {
      kept.push_back(call);
    }
  }
  return kept;
}

std::vector<KeyRecord> SinkRecord::Keys() const {
  std::vector<KeyRecord> keys;
  for (const SinkCall& call : Calls(SinkCall::Kind::kKey)) {
    keys.push_back(call.key);
  }
  return keys;
}

void SinkRecord::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

SinkResult RecordingInputSink::InjectTouch(std::span<const TouchContact> contacts) {
  if (const auto error = record_->touch_failure()) {
    return SinkResult::Failure(*error);
  }
  SinkCall call{SinkCall::Kind::kTouch, {contacts.begin(), contacts.end()}, {}, {}, {}};
  record_->Add(std::move(call));
  return {};
}

SinkResult RecordingInputSink::InjectPen(const PenSample& sample) {
  if (const auto error = record_->pen_failure()) {
    return SinkResult::Failure(*error);
  }
  record_->Add({SinkCall::Kind::kPen, {}, sample, {}, {}});
  return {};
}

void RecordingInputSink::SendMouse(const MouseRecord& record) {
  record_->Add({SinkCall::Kind::kMouse, {}, {}, record, {}});
}

void RecordingInputSink::SendKey(const KeyRecord& record) {
  record_->Add({SinkCall::Kind::kKey, {}, {}, {}, record});
}

}  // namespace orvane::testing
