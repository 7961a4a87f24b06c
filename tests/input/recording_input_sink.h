#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "input/input_sink.h"

namespace orvane::testing {

// One call a sink received.
struct SinkCall {
  enum class Kind { kTouch, kPen, kMouse, kKey };
  Kind kind;
  std::vector<TouchContact> contacts;
  PenSample pen;
  MouseRecord mouse;
  KeyRecord key;
};

// What a recording sink offers and what it was given; shared between the test and the
// sink the injector owns, and safe to read while another thread injects.
class SinkRecord {
 public:
  struct Setup {
    bool touch = true;
    bool pen = true;
    DesktopRect desktop{0, 0, 1920, 1080};
  };

  explicit SinkRecord(Setup setup) : setup_(setup) {}
  SinkRecord() : SinkRecord(Setup{}) {}

  const Setup& setup() const { return setup_; }
  // Touch (pen) frames fail with this code until it is cleared.
  void FailTouch(std::optional<uint32_t> error);
  void FailPen(std::optional<uint32_t> error);
  std::optional<uint32_t> touch_failure() const;
  std::optional<uint32_t> pen_failure() const;

  void Add(SinkCall call);
  std::vector<SinkCall> Calls() const;
  // The calls of one kind, in order.
  std::vector<SinkCall> Calls(SinkCall::Kind kind) const;
  std::vector<KeyRecord> Keys() const;
  void Clear();

 private:
  const Setup setup_;
  mutable std::mutex mutex_;
  std::optional<uint32_t> touch_failure_;
  std::optional<uint32_t> pen_failure_;
  std::vector<SinkCall> calls_;
};

class RecordingInputSink : public InputSink {
 public:
  explicit RecordingInputSink(std::shared_ptr<SinkRecord> record) : record_(std::move(record)) {}

  bool touch_available() const override { return record_->setup().touch; }
  SinkResult InjectTouch(std::span<const TouchContact> contacts) override;
  bool pen_available() const override { return record_->setup().pen; }
  SinkResult InjectPen(const PenSample& sample) override;
  void SendMouse(const MouseRecord& record) override;
  void SendKey(const KeyRecord& record) override;
  DesktopRect Desktop() override { return record_->setup().desktop; }

 private:
  std::shared_ptr<SinkRecord> record_;
};

}  // namespace orvane::testing
