#include "services/clipboard_backend_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
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
  // For a Unix program Wine fills in no process handle and leaves whatever it likes in
  // hThread: closing that closed some other handle of this process (once, the window
  // station, after which no clipboard call succeeded).
  if (process.hProcess != nullptr) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
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

// A 2x1 RGBA PNG: an opaque red pixel and a fully transparent one.
const std::vector<uint8_t> kTransparentPng = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0xF4, 0x22, 0x7F, 0x8A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
    0xDA, 0x63, 0xF8, 0xCF, 0xC0, 0x00, 0x46, 0x00, 0x0E, 0xFA, 0x02, 0xFE, 0x2A, 0x40,
    0x5E, 0xB9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// Another program that holds the clipboard open: before each of the backend's next
// attempts to open it, a thread of its own opens it (and Wine, like Windows, refuses the
// backend while it is open elsewhere); it closes it before the attempt after those.
class ContendedClipboard {
 public:
  ~ContendedClipboard() {
    if (!holder_.joinable()) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    holder_.join();
  }

  OpenClipboardCall Call() {
    return [this](HWND owner) { return Open(owner); };
  }
  void HoldFor(int attempts) {
    if (!holder_.joinable()) {
      holder_ = std::thread([this] { Hold(); });
    }
    std::lock_guard<std::mutex> lock(mutex_);
    attempts_to_refuse_ = attempts;
  }
  int refused() {
    std::lock_guard<std::mutex> lock(mutex_);
    return refused_;
  }

 private:
  BOOL Open(HWND owner) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!holder_.joinable()) {
      return OpenClipboard(owner);
    }
    want_held_ = attempts_to_refuse_ > 0;
    if (want_held_) {
      --attempts_to_refuse_;
    }
    changed_.notify_all();
    changed_.wait(lock, [this] { return held_ == want_held_; });
    const BOOL opened = OpenClipboard(owner);
    if (held_ && !opened) {
      ++refused_;
    }
    return opened;
  }

  void Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      changed_.wait(lock, [this] { return quit_ || held_ != want_held_; });
      if (quit_) {
        break;
      }
      held_ = want_held_ ? OpenClipboard(nullptr) != FALSE : CloseClipboard() == FALSE;
      changed_.notify_all();
    }
    if (held_) {
      CloseClipboard();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int attempts_to_refuse_ = 0;
  int refused_ = 0;
  bool want_held_ = false;
  bool held_ = false;
  bool quit_ = false;
  std::thread holder_;
};

// A Windows program other than the backend, with a window of its own.
class OtherProgram {
 public:
  OtherProgram()
      : window_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {}
  ~OtherProgram() { DestroyWindow(window_); }

  // Replaces the clipboard's content with `bytes` in `format`.
  bool Place(UINT format, const void* bytes, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    if (!OpenClipboard(window_)) {
      GlobalFree(memory);
      return false;
    }
    EmptyClipboard();
    const bool placed = SetClipboardData(format, memory) != nullptr;
    CloseClipboard();
    return placed;
  }
  // The clipboard's bytes in `format`; empty when it has none.
  std::vector<uint8_t> Read(UINT format) {
    std::vector<uint8_t> bytes;
    if (!OpenClipboard(window_)) {
      return bytes;
    }
    if (HANDLE memory = GetClipboardData(format)) {
      const auto* data = static_cast<const uint8_t*>(GlobalLock(memory));
      bytes.assign(data, data + GlobalSize(memory));
      GlobalUnlock(memory);
    }
    CloseClipboard();
    return bytes;
  }

 private:
  HWND window_;
};

std::vector<uint8_t> WideBytes(const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
  return {bytes, bytes + (text.size() + 1) * sizeof(wchar_t)};
}

UINT PngFormat() {
  return RegisterClipboardFormatW(L"PNG");
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

// The backend beside other Windows programs, one of which may hold the clipboard open.
class ClipboardSharedWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_.Start([this](const ClipboardData& data) {
      std::lock_guard<std::mutex> lock(mutex_);
      changes_.push_back(data);
    });
    ASSERT_TRUE(log_.WaitFor("[Clipboard] Monitoring started"));
  }

  std::vector<ClipboardData> Changes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
  }

  LogCapture log_;
  OtherProgram other_;
  ContendedClipboard contended_;
  WindowsClipboardBackend backend_{contended_.Call()};
  std::mutex mutex_;
  std::vector<ClipboardData> changes_;
};

// A program that holds the clipboard open for a moment neither loses the backend a
// change nor fails its writes.
TEST_F(ClipboardSharedWinTest, AnotherProgramHoldingTheClipboardOnlyDelaysReadsAndWrites) {
  const auto place_text = [&](const std::wstring& text) {
    return other_.Place(CF_UNICODETEXT, WideBytes(text).data(), WideBytes(text).size());
  };
  // First a change read at once: Wine's X bridge may still be busy with what earlier
  // tests left on the clipboard.
  ASSERT_TRUE(place_text(L"copied before"));
  ASSERT_TRUE(
      WaitUntil([&] { return !Changes().empty() && Changes().back().text == "copied before"; }));

  contended_.HoldFor(3);
  ASSERT_TRUE(place_text(L"copied while held"));
  ASSERT_TRUE(WaitUntil([&] { return Changes().back().text == "copied while held"; }));
  EXPECT_EQ(contended_.refused(), 3);
  const size_t reported = Changes().size();

  contended_.HoldFor(2);
  EXPECT_TRUE(backend_.SetText("written while held"));
  EXPECT_EQ(other_.Read(CF_UNICODETEXT), WideBytes(L"written while held"));
  contended_.HoldFor(2);
  EXPECT_TRUE(backend_.SetImage(kTransparentPng));
  EXPECT_EQ(contended_.refused(), 7);
  // The backend's own writes are not reported back.
  EXPECT_EQ(Changes().size(), reported);
}

// Images travel in the registered "PNG" format, which keeps transparency (a bitmap has
// none), both ways; the bitmap is still offered to programs that know no other_.
TEST_F(ClipboardSharedWinTest, ImagesKeepTheirTransparencyInThePngFormat) {
  ASSERT_TRUE(backend_.SetImage(kTransparentPng));
  const std::vector<uint8_t> offered = other_.Read(PngFormat());
  ASSERT_GE(offered.size(), kTransparentPng.size());
  EXPECT_EQ(std::vector<uint8_t>(offered.begin(), offered.begin() + kTransparentPng.size()),
            kTransparentPng);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));

  // Windows may hand out more memory than was placed: the image ends with its file.
  std::vector<uint8_t> padded = kTransparentPng;
  padded.resize(padded.size() + 13, 0);
  ASSERT_TRUE(other_.Place(PngFormat(), padded.data(), padded.size()));
  ASSERT_TRUE(WaitUntil([&] { return !Changes().empty(); }));
  ASSERT_TRUE(Changes()[0].has_image);
  EXPECT_EQ(Changes()[0].image, kTransparentPng);
  EXPECT_EQ(Changes()[0].mime_type, "image/png");
}

}  // namespace
}  // namespace orvane::testing
