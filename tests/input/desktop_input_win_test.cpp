#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <vector>

#include "input/input_injector.h"
#include "input/input_sink_win.h"
#include "support/log_capture.h"

namespace orvane::testing {
namespace {

// A message the test window received.
struct WindowMessage {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

std::vector<WindowMessage>* g_messages = nullptr;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP:
      g_messages->push_back({message, wparam, lparam});
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

// The Windows sink running for real on a desktop (wine's, in CI): a window of the test
// receives what the injector sends. Wine has no touch injection and no synthetic pen, so
// this is the mouse-emulation path the host takes on such systems.
class DesktopInputWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_messages = &messages_;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = RecordingWindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"OrvaneInputTestWindow";
    RegisterClassW(&window_class);
    window_ = CreateWindowExW(WS_EX_TOPMOST, L"OrvaneInputTestWindow", L"input test",
                              WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    SetForegroundWindow(window_);
    SetFocus(window_);
    Pump([] { return false; }, std::chrono::milliseconds(300));
    injector_ = std::make_unique<InputInjector>(std::make_unique<WindowsInputSink>());
  }

  void TearDown() override {
    injector_.reset();
    DestroyWindow(window_);
    UnregisterClassW(L"OrvaneInputTestWindow", GetModuleHandleW(nullptr));
    g_messages = nullptr;
  }

  // Dispatches the thread's messages until `done` or the limit.
  static bool Pump(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      Sleep(5);
    }
    return true;
  }

  bool WaitForMessages(size_t count) {
    return Pump([&] { return messages_.size() >= count; }, std::chrono::seconds(10));
  }

  std::vector<UINT> MessageKinds() const {
    std::vector<UINT> kinds;
    for (const WindowMessage& message : messages_) {
      kinds.push_back(message.message);
    }
    return kinds;
  }

  LogCapture log_;
  HWND window_ = nullptr;
  std::vector<WindowMessage> messages_;
  std::unique_ptr<InputInjector> injector_;
};

TEST_F(DesktopInputWinTest, WithoutTouchInjectionATapClicksAtTheMappedPoint) {
  EXPECT_TRUE(log_.Contains("using mouse emulation"));
  EXPECT_TRUE(log_.Contains("falling back to mouse emulation"));

  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const float x = 0.3f;
  const float y = 0.35f;
  const int expected_x = left + static_cast<int>(static_cast<float>(width - 1) * x);
  const int expected_y = top + static_cast<int>(static_cast<float>(height - 1) * y);

  injector_->InjectTouch(0, 5, x, y, 1.0f);
  injector_->InjectTouch(1, 5, x, y, 1.0f);
  injector_->InjectTouch(2, 5, x, y, 0.0f);
  ASSERT_TRUE(WaitForMessages(2)) << messages_.size();
  EXPECT_EQ(MessageKinds(), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP}));
  POINT cursor{};
  ASSERT_TRUE(GetCursorPos(&cursor));
  EXPECT_EQ(cursor.x, expected_x);
  EXPECT_EQ(cursor.y, expected_y);
  // The client-area point of the click is the same point.
  EXPECT_EQ(static_cast<short>(LOWORD(messages_[0].lparam)), expected_x - 100);
}

TEST_F(DesktopInputWinTest, ThePenWithItsBarrelButtonPressesBothButtons) {
  injector_->InjectPen(3, 0.4f, 0.4f, 0.0f, 0.0f, 0.0f, 0.0f, 0);
  injector_->InjectPen(0, 0.4f, 0.4f, 0.5f, 0.0f, 0.0f, 0.0f, 1);
  injector_->InjectPen(2, 0.4f, 0.4f, 0.0f, 0.0f, 0.0f, 0.0f, 0);
  ASSERT_TRUE(WaitForMessages(4)) << messages_.size();
  EXPECT_EQ(MessageKinds(),
            (std::vector<UINT>{WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP}));
}

TEST_F(DesktopInputWinTest, KeysArriveWithTheirCodeAndArrowsAsExtendedKeys) {
  injector_->InjectKey(0, 0x41);
  injector_->InjectKey(1, 0x41);
  injector_->InjectKey(0, 0x25);
  injector_->InjectKey(1, 0x25);
  ASSERT_TRUE(WaitForMessages(4)) << messages_.size();
  EXPECT_EQ(MessageKinds(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP, WM_KEYDOWN, WM_KEYUP}));
  constexpr LPARAM kExtendedKey = 1 << 24;
  EXPECT_EQ(messages_[0].wparam, 0x41u);
  EXPECT_EQ(messages_[0].lparam & kExtendedKey, 0);
  EXPECT_EQ(messages_[2].wparam, static_cast<WPARAM>(VK_LEFT));
  EXPECT_EQ(messages_[2].lparam & kExtendedKey, kExtendedKey);
}

TEST_F(DesktopInputWinTest, AKeyHeldWhenTheClientGoesIsReleased) {
  injector_->InjectKey(0, 0x42);
  ASSERT_TRUE(WaitForMessages(1));
  injector_->ReleaseHeldInput();
  ASSERT_TRUE(WaitForMessages(2));
  EXPECT_EQ(MessageKinds(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
  EXPECT_EQ(messages_[1].wparam, 0x42u);
}

}  // namespace
}  // namespace orvane::testing
