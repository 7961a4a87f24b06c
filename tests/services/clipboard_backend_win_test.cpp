#include "services/clipboard_backend_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "support/log_capture.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Runs a shell command of the system Wine runs on; its exit code, or -1. Wine starts
// Unix programs as it would Windows ones, but gives no handle to wait on or exit code
// to read, so the shell leaves its status in a file, which Wine's drive Z: (the Unix
// root) shows.
int RunUnixShell(const std::string& command) {
  static int runs = 0;
  const std::string status = "/tmp/orvane-clipboard-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(++runs) + ".status";
  std::string line = "/bin/sh -c \"" + command + "; echo $? > " + status + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::string code;
  WaitUntil(
      [&] {
        code = ReadWholeFile("Z:" + status);
        return !code.empty() && code.back() == '\n';
      },
      std::chrono::seconds(20));
  DeleteFileA(("Z:" + status).c_str());
  return code.empty() ? -1 : std::atoi(code.c_str());
}

// Wine shares its clipboard with the X display's CLIPBOARD selection, so the X side
// plays the other program: xclip reads what the backend wrote and copies what it should
// report.
class ClipboardWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pasted_ = "/tmp/orvane-clipboard-" + std::to_string(GetCurrentProcessId()) + ".txt";
    if (RunUnixShell("command -v xclip > /dev/null") != 0) {
      GTEST_SKIP() << "xclip is not installed";
    }
    backend_.Start([this](const ClipboardData& data) {
      std::lock_guard<std::mutex> lock(mutex_);
      changes_.push_back(data);
    });
    ASSERT_TRUE(log_.WaitFor("[Clipboard] Monitoring started"));
  }

  // The X clipboard's text, as xclip pastes it.
  std::string Paste() {
    if (RunUnixShell("xclip -selection clipboard -o > " + pasted_) != 0) {
      return {};
    }
    return ReadWholeFile("Z:" + pasted_);
  }

  std::vector<ClipboardData> Changes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
  }

  void TearDown() override { DeleteFileA(("Z:" + pasted_).c_str()); }

  LogCapture log_;
  WindowsClipboardBackend backend_;
  std::string pasted_;
  std::mutex mutex_;
  std::vector<ClipboardData> changes_;
};

TEST_F(ClipboardWinTest, TextCrossesToAndFromTheXClipboard) {
  const std::string written = "from Windows \xE2\x9C\x93";
  ASSERT_TRUE(backend_.SetText(written));
  EXPECT_TRUE(WaitUntil([&] { return Paste() == written; }, 10s)) << Paste();

  ASSERT_EQ(RunUnixShell("printf 'copied on X' | xclip -selection clipboard -i"), 0);
  ASSERT_TRUE(WaitUntil([&] { return !Changes().empty(); }, 10s));
  const std::vector<ClipboardData> changes = Changes();
  // The backend's own write was not reported.
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_TRUE(changes[0].has_text);
  EXPECT_EQ(changes[0].text, "copied on X");
  EXPECT_FALSE(changes[0].has_image);
}

TEST_F(ClipboardWinTest, APayloadThatIsNoPngLeavesTheClipboardAlone) {
  ASSERT_TRUE(backend_.SetText("kept"));
  EXPECT_FALSE(backend_.SetImage({'G', 'I', 'F', '8', '9', 'a'}));
  EXPECT_TRUE(log_.Contains("[Clipboard] Failed to decode PNG clipboard payload (bytes=6)"));
  EXPECT_TRUE(WaitUntil([&] { return Paste() == "kept"; }, 10s)) << Paste();
}

}  // namespace
}  // namespace orvane::testing
