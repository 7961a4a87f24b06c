#include "input/input_sink_win.h"

#include <cstring>
#include <vector>

#include "base/logger.h"
#include "input/input_records_win.h"

namespace orvane {
namespace {

constexpr UINT32 kMaxTouchContacts = 10;

// user32 stays loaded for the life of the process; it is never freed.
HMODULE User32() {
  HMODULE module = GetModuleHandleW(L"user32.dll");
  return module != nullptr ? module : LoadLibraryW(L"user32.dll");
}

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  const FARPROC address = GetProcAddress(module, name);
  Function function = nullptr;
  static_assert(sizeof(function) == sizeof(address));
  std::memcpy(&function, &address, sizeof(function));
  return function;
}

void Send(INPUT input) {
  SendInput(1, &input, sizeof(INPUT));
}

}  // namespace

WindowsInputSink::WindowsInputSink() {
  InitializeTouch();
  InitializePen();
}

WindowsInputSink::~WindowsInputSink() {
  if (pen_device_ != nullptr && destroy_synthetic_pointer_device_ != nullptr) {
    destroy_synthetic_pointer_device_(pen_device_);
    pen_device_ = nullptr;
  }
}

void WindowsInputSink::InitializeTouch() {
  const HMODULE user32 = User32();
  if (user32 == nullptr) {
    LOG_WARN("[Input] user32.dll unavailable for native touch injection");
    return;
  }
  initialize_touch_injection_ =
      Resolve<InitializeTouchInjectionFn>(user32, "InitializeTouchInjection");
  inject_touch_input_ = Resolve<InjectTouchInputFn>(user32, "InjectTouchInput");
  if (initialize_touch_injection_ == nullptr || inject_touch_input_ == nullptr) {
    LOG_WARN("[Input] Native touch injection APIs unavailable, using mouse emulation");
    return;
  }
  if (!initialize_touch_injection_(kMaxTouchContacts, TOUCH_FEEDBACK_DEFAULT)) {
    LOG_WARN("[Input] InitializeTouchInjection failed (err=%lu), using mouse emulation",
             GetLastError());
    return;
  }
  LOG_INFO("[Input] Native multi-touch injection initialized (max_points=%u)", kMaxTouchContacts);
  touch_available_ = true;
}

void WindowsInputSink::InitializePen() {
  const HMODULE user32 = User32();
  if (user32 == nullptr) {
    LOG_WARN("[Input] user32.dll unavailable for synthetic pen injection");
    return;
  }
  create_synthetic_pointer_device_ =
      Resolve<CreateSyntheticPointerDeviceFn>(user32, "CreateSyntheticPointerDevice");
  inject_synthetic_pointer_input_ =
      Resolve<InjectSyntheticPointerInputFn>(user32, "InjectSyntheticPointerInput");
  destroy_synthetic_pointer_device_ =
      Resolve<DestroySyntheticPointerDeviceFn>(user32, "DestroySyntheticPointerDevice");
  if (create_synthetic_pointer_device_ == nullptr || inject_synthetic_pointer_input_ == nullptr ||
      destroy_synthetic_pointer_device_ == nullptr) {
    LOG_WARN("[Input] Synthetic pen injection APIs unavailable, falling back to mouse emulation");
    return;
  }
  pen_device_ = create_synthetic_pointer_device_(PT_PEN, 1, POINTER_FEEDBACK_DEFAULT);
  if (pen_device_ == nullptr) {
    LOG_WARN(
        "[Input] Failed to create synthetic pen device (err=%lu), falling back to mouse "
        "emulation",
        GetLastError());
    return;
  }
  LOG_INFO("[Input] Synthetic pen injection initialized");
}

SinkResult WindowsInputSink::InjectTouch(std::span<const TouchContact> contacts) {
  std::vector<POINTER_TOUCH_INFO> infos;
  infos.reserve(contacts.size());
  for (const TouchContact& contact : contacts) {
    infos.push_back(ToPointerTouchInfo(contact));
  }
  if (!inject_touch_input_(static_cast<UINT32>(infos.size()), infos.data())) {
    return SinkResult::Failure(GetLastError());
  }
  return {};
}

SinkResult WindowsInputSink::InjectPen(const PenSample& sample) {
  const POINTER_TYPE_INFO info = ToPenPointerInfo(sample);
  if (!inject_synthetic_pointer_input_(pen_device_, &info, 1)) {
    return SinkResult::Failure(GetLastError());
  }
  return {};
}

void WindowsInputSink::SendMouse(const MouseRecord& record) {
  Send(ToMouseInput(record, Desktop()));
}

void WindowsInputSink::SendKey(const KeyRecord& record) {
  Send(ToKeyInput(record));
}

DesktopRect WindowsInputSink::Desktop() {
  return DesktopRect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

}  // namespace orvane
