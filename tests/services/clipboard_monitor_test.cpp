#include "services/clipboard_monitor.h"

#include <gtest/gtest.h>

#include "services/fake_clipboard_backend.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

ClipboardData Text(const std::string& text) {
  ClipboardData data;
  data.text = text;
  data.has_text = true;
  return data;
}

ClipboardData Image(const std::string& png) {
  ClipboardData data;
  data.image.assign(png.begin(), png.end());
  data.mime_type = "image/png";
  data.has_image = true;
  return data;
}

class ClipboardMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<FakeClipboardBackend>();
    backend_ = backend.get();
    monitor_.Start(std::move(backend),
                   [this](const ClipboardData& data) { seen_.push_back(data); });
  }

  static PendingClipboard Pending(const std::string& text, const std::string& image) {
    return {text, image, image.empty() ? "" : "image/png"};
  }

  ClipboardMonitor monitor_;
  FakeClipboardBackend* backend_ = nullptr;
  std::vector<ClipboardData> seen_;
};

TEST_F(ClipboardMonitorTest, WritesTheTextThenTheImageOfAnUpdate) {
  LogCapture log;
  monitor_.Apply(Pending("hello", "PNGDATA"));
  monitor_.Apply(Pending("", ""));
  EXPECT_EQ(backend_->writes, (std::vector<std::string>{"text:hello", "image:PNGDATA"}));
  EXPECT_TRUE(log.Contains("[Clipboard] Set text from remote (5 chars)"));
  EXPECT_TRUE(log.Contains("[Clipboard] Set image from remote (7 bytes)"));

  backend_->image_succeeds = false;
  monitor_.Apply(Pending("", "BROKEN"));
  EXPECT_EQ(log.Count("[Clipboard] Set image from remote"), 1u);
}

TEST_F(ClipboardMonitorTest, LocalChangesAreLoggedAndHandedOn) {
  LogCapture log;
  ClipboardData both = Text("caption");
  both.image = {1, 2, 3};
  both.mime_type = "image/png";
  both.has_image = true;
  backend_->Change(both);
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_EQ(seen_[0], both);
  EXPECT_TRUE(log.Contains("[Clipboard] Updated (text=1 image=1 image_bytes=3)"));
}

// What the host wrote, offered again by the clipboard, is no local change; anything
// else is, and it ends the suppression.
TEST_F(ClipboardMonitorTest, WhatTheHostWroteIsNotHandedBack) {
  struct Case {
    const char* name;
    PendingClipboard written;
    bool text_write_fails;
    std::vector<ClipboardData> changes;
    std::vector<bool> handed_on;
  };
  const std::vector<Case> cases = {
      {"same text, twice",
       Pending("remote", ""),
       false,
       {Text("remote"), Text("remote")},
       {false, false}},
      {"other text ends it",
       Pending("remote", ""),
       false,
       {Text("local"), Text("remote")},
       {true, true}},
      {"image replaces text",
       Pending("remote", "PNG"),
       false,
       {Image("PNG"), Text("remote")},
       {false, true}},
      {"failed write", Pending("remote", ""), true, {Text("remote")}, {true}},
      {"same text with an image",
       Pending("remote", ""),
       false,
       {[] {
         ClipboardData data = Text("remote");
         data.image = {1};
         data.has_image = true;
         return data;
       }()},
       {true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    backend_->text_succeeds = !c.text_write_fails;
    monitor_.Apply(c.written);
    for (size_t i = 0; i < c.changes.size(); ++i) {
      const size_t before = seen_.size();
      backend_->Change(c.changes[i]);
      EXPECT_EQ(seen_.size() > before, c.handed_on[i]) << "change " << i;
    }
  }
}

}  // namespace
}  // namespace orvane::testing
