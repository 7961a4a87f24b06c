#pragma once

#include <string>
#include <vector>

#include "services/clipboard_backend.h"

namespace orvane::testing {

// Records what is written and reports the changes a test makes, on the test's thread.
class FakeClipboardBackend : public ClipboardBackend {
 public:
  bool Start(ChangeCallback on_change) override {
    on_change_ = std::move(on_change);
    return true;
  }
  void Stop() override {}
  bool SetText(const std::string& text) override {
    writes.push_back("text:" + text);
    return text_succeeds;
  }
  bool SetImage(const std::vector<uint8_t>& png) override {
    writes.push_back("image:" + std::string(png.begin(), png.end()));
    return image_succeeds;
  }

  void Change(const ClipboardData& data) { on_change_(data); }

  std::vector<std::string> writes;
  bool text_succeeds = true;
  bool image_succeeds = true;

 private:
  ChangeCallback on_change_;
};

}  // namespace orvane::testing
