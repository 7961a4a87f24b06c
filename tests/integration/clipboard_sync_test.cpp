#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "integration/host_process.h"
#include "integration/paired_host.h"
#include "integration/run_shell.h"
#include "integration/xvfb_server.h"
#include "support/file_contents.h"
#include "support/log_capture.h"
#include "support/small_png.h"
#include "support/temp_folder.h"
#include "support/test_socket.h"

namespace orvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A text of `size` bytes that shows where a piece went missing or was repeated.
std::string NumberedText(size_t size, char tag) {
  std::string text;
  for (size_t line = 0; text.size() < size; ++line) {
    text += tag + std::to_string(line) + " ü€ the quick brown fox\n";
  }
  text.resize(size);
  return text;
}

// The real host on a virtual display, its clipboard driven with xclip and xsel and by
// the reference client.
class ClipboardSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(xvfb_.started());
    setenv("DISPLAY", xvfb_.display().c_str(), 1);
    ASSERT_TRUE(host_.Start());
    ASSERT_TRUE(host_->WaitForOutput("[Clipboard] Monitoring started"));
    ASSERT_TRUE(host_.Pair());
    fs::create_directory(received_);
  }

  std::string Quiet(const std::string& name) const {
    return " > '" + (temp_ / (name + ".log")).string() + "' 2>&1";
  }

  // A stream that keeps the host's clipboard updates in received_.
  void StartStream() {
    stream_ = std::make_unique<HostProcess>(
        ORVANE_CLIENT_BINARY,
        std::vector<std::string>{"stream", "--seconds", "120", "--clipboard-out",
                                 received_.string(), "--port", std::to_string(host_.control_port()),
                                 "--identity", (temp_ / "identity.json").string()},
        temp_.path());
    ASSERT_TRUE(stream_->WaitForOutput("StreamStarted", 20s)) << stream_->Output();
  }

  // Copies a file's bytes with xclip, as a user's program would.
  void Copy(const std::string& bytes, const std::string& target = "UTF8_STRING") {
    const fs::path file = temp_ / "copied";
    WriteFile(file, bytes);
    ASSERT_EQ(RunShell("xclip -selection clipboard -t " + target + " -i '" + file.string() + "'"),
              0);
  }

  std::string Paste(const std::string& target = "UTF8_STRING") {
    const fs::path file = temp_ / "pasted";
    EXPECT_EQ(RunShell("xclip -selection clipboard -t " + target + " -o > '" + file.string() +
                       "' 2>/dev/null"),
              0);
    return ReadFile(file);
  }

  int Send(const std::string& arguments) {
    return RunShell(host_.Client("clipboard-send " + arguments) + Quiet("send"));
  }

  bool Received(const std::string& name) {
    return WaitUntil([&] { return fs::exists(received_ / name); }, 15s);
  }

  TempFolder temp_{"orvane-clipboard"};
  XvfbServer xvfb_{"1024x768x24"};
  fs::path received_ = temp_ / "received";
  PairedHost host_{temp_.path()};
  std::unique_ptr<HostProcess> stream_;
};

TEST_F(ClipboardSyncTest, LocalCopiesReachTheClientWhileAStreamRuns) {
  // Connected but not streaming: read and logged, not sent.
  Copy("before the stream");
  ASSERT_TRUE(host_->WaitForOutput("[Clipboard] No stream running, change not sent"))
      << host_->Output();

  StartStream();
  const std::string text = "copied during the stream ✓";
  Copy(text);
  ASSERT_TRUE(Received("1.txt")) << stream_->Output();
  EXPECT_EQ(ReadFile(received_ / "1.txt"), text);
  EXPECT_FALSE(fs::exists(received_ / "1.png"));

  Copy(std::string(kSmallPng.begin(), kSmallPng.end()), "image/png");
  ASSERT_TRUE(Received("2.png")) << stream_->Output();
  EXPECT_EQ(ReadFile(received_ / "2.png"), std::string(kSmallPng.begin(), kSmallPng.end()));
  EXPECT_FALSE(fs::exists(received_ / "2.txt"));

  // The client keeps the file before its printed line reaches us through the pipe.
  ASSERT_TRUE(stream_->WaitForOutput("mime_type=\"image/png\"")) << stream_->Output();
  const std::string output = stream_->Output();
  EXPECT_EQ(Count(output, "ClipboardUpdate"), 2u) << output;
  EXPECT_NE(output.find("text=\"copied during the stream"), std::string::npos) << output;
  EXPECT_NE(output.find("has_image=no image=none"), std::string::npos) << output;
  EXPECT_NE(output.find("has_image=yes image=" + std::to_string(kSmallPng.size()) + "B"),
            std::string::npos)
      << output;
  EXPECT_TRUE(host_->WaitForOutput(
      "[Clipboard] Updated (text=0 image=1 image_bytes=" + std::to_string(kSmallPng.size()) + ")"));
}

// The host has one client at a time, so these updates come without a stream; whatever
// the host takes for a local change shows in its log, and only those would be sent.
TEST_F(ClipboardSyncTest, ClientUpdatesLandOnTheClipboardWithoutEcho) {
  const std::string text = "from the phone ☺";
  ASSERT_EQ(Send("--text '" + text + "'"), 0) << ReadFile(temp_ / "send.log");
  EXPECT_EQ(Paste(), text);
  EXPECT_EQ(Paste("STRING"), "from the phone ?");

  const fs::path png = temp_ / "image.png";
  WriteFile(png, std::string(kSmallPng.begin(), kSmallPng.end()));
  ASSERT_EQ(Send("--png '" + png.string() + "'"), 0) << ReadFile(temp_ / "send.log");
  EXPECT_EQ(Paste("image/png"), std::string(kSmallPng.begin(), kSmallPng.end()));

  // Not a PNG: refused, the clipboard keeps the image.
  const fs::path not_png = temp_ / "not.png";
  WriteFile(not_png, "GIF89a not a png");
  ASSERT_EQ(Send("--png '" + not_png.string() + "'"), 0) << ReadFile(temp_ / "send.log");
  EXPECT_TRUE(
      host_->WaitForOutput("[Clipboard] Failed to decode PNG clipboard payload (bytes=16)"));
  EXPECT_EQ(Paste("image/png"), std::string(kSmallPng.begin(), kSmallPng.end()));

  // A program taking the clipboard over with what the host wrote (as clipboard managers
  // do) is no news to the client; a new copy after it is.
  ASSERT_EQ(Send("--text 'kept by a manager'"), 0) << ReadFile(temp_ / "send.log");
  ASSERT_EQ(RunShell("xclip -selection clipboard -o | xclip -selection clipboard -i"), 0);
  Copy("a new copy");
  ASSERT_TRUE(host_->WaitForOutput("[Clipboard] No stream running, change not sent"));
  EXPECT_EQ(Count(host_->Output(), "[Clipboard] Updated"), 1u) << host_->Output();
}

// 300 KB do not fit in one core request (256 KB), so the host serves them in INCR pieces
// and xsel offers them so (xclip only beyond what big requests allow).
TEST_F(ClipboardSyncTest, LargeTextsTravelInPiecesBothWays) {
  const std::string sent = NumberedText(300 * 1024, 's');
  WriteFile(temp_ / "large.txt", sent);
  ASSERT_EQ(Send("--text-file '" + (temp_ / "large.txt").string() + "'"), 0)
      << ReadFile(temp_ / "send.log");
  EXPECT_TRUE(Paste() == sent);

  StartStream();
  const std::string copied = NumberedText(300 * 1024, 'c');
  WriteFile(temp_ / "copied", copied);
  ASSERT_EQ(RunShell("xsel --clipboard --input < '" + (temp_ / "copied").string() + "'"), 0);
  ASSERT_TRUE(Received("1.txt")) << stream_->Output();
  EXPECT_TRUE(ReadFile(received_ / "1.txt") == copied);
}

}  // namespace
}  // namespace orvane::testing
