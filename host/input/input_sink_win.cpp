#include "input/input_sink_win.h"

#include <vector>

#include "base/logger.h"
#include "input/input_records_win.h"
#include "input/pointer_math.h"

namespace orvane {
namespace {

constexpr UINT32 kMaxTouchContacts = 10;

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  reinterpret_cast<std::vector<HMONITOR>*>(data)->push_back(monitor);
  return TRUE;
}

}  // namespace

WindowsInputSink::WindowsInputSink(WindowsInputApi api) : api_(std::move(api)) {
  InitializeTouch();
  InitializePen();
}

WindowsInputSink::~WindowsInputSink() {
  if (pen_device_ != nullptr && api_.destroy_synthetic_pointer_device) {
    api_.destroy_synthetic_pointer_device(pen_device_);
    pen_device_ = nullptr;
  }
}

void WindowsInputSink::InitializeTouch() {
  if (!api_.initialize_touch_injection || !api_.inject_touch_input) {
    LOG_WARN("[Input] Native touch injection APIs unavailable, using mouse emulation");
    return;
  }
  if (!api_.initialize_touch_injection(kMaxTouchContacts, TOUCH_FEEDBACK_DEFAULT)) {
    LOG_WARN("[Input] InitializeTouchInjection failed (err=%lu), using mouse emulation",
             GetLastError());
    return;
  }
  LOG_INFO("[Input] Native multi-touch injection initialized (max_points=%u)", kMaxTouchContacts);
  touch_available_ = true;
}

void WindowsInputSink::InitializePen() {
  if (!api_.create_synthetic_pointer_device || !api_.inject_synthetic_pointer_input ||
      !api_.destroy_synthetic_pointer_device) {
    LOG_WARN("[Input] Synthetic pen injection APIs unavailable, falling back to mouse emulation");
    return;
  }
  pen_device_ = api_.create_synthetic_pointer_device(PT_PEN, 1, POINTER_FEEDBACK_DEFAULT);
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
  if (!api_.inject_touch_input(static_cast<UINT32>(infos.size()), infos.data())) {
    return SinkResult::Failure(GetLastError());
  }
  return {};
}

SinkResult WindowsInputSink::InjectPen(const PenSample& sample) {
  const POINTER_TYPE_INFO info = ToPenPointerInfo(sample);
  if (!api_.inject_synthetic_pointer_input(pen_device_, &info, 1)) {
    return SinkResult::Failure(GetLastError());
  }
  return {};
}

void WindowsInputSink::SendMouse(const MouseRecord& record) {
  Send(ToMouseInput(record, VirtualDesktop()));
}

void WindowsInputSink::SendKey(const KeyRecord& record) {
  Send(ToKeyInput(record, api_.map_virtual_key(record.virtual_key, MAPVK_VK_TO_VSC_EX)));
}

void WindowsInputSink::Send(INPUT input) {
  if (api_.send_input(1, &input, sizeof(INPUT)) == 1) {
    refusal_logged_ = false;
    return;
  }
  if (refusal_logged_) {
    return;
  }
  refusal_logged_ = true;
  // UIPI refuses without saying so: neither the count nor the last error tells.
  const DWORD error = GetLastError();
  const std::optional<DWORD> own = api_.own_integrity();
  const std::optional<DWORD> foreground = api_.foreground_integrity();
  if (own && foreground && *foreground > *own) {
    LOG_WARN(
        "[Input] Input refused: the foreground window runs at a higher integrity level "
        "(0x%lX) than the host (0x%lX); run the host elevated to control it",
        static_cast<unsigned long>(*foreground), static_cast<unsigned long>(*own));
  } else {
    LOG_WARN("[Input] SendInput refused input (err=%lu)", static_cast<unsigned long>(error));
  }
}

DesktopRect WindowsInputSink::VirtualDesktop() {
  return DesktopRect{
      api_.get_system_metrics(SM_XVIRTUALSCREEN), api_.get_system_metrics(SM_YVIRTUALSCREEN),
      api_.get_system_metrics(SM_CXVIRTUALSCREEN), api_.get_system_metrics(SM_CYVIRTUALSCREEN)};
}

DesktopRect WindowsInputSink::Desktop() {
  std::vector<HMONITOR> handles;
  api_.enum_display_monitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&handles));
  std::vector<DesktopRect> monitors;
  monitors.reserve(handles.size());
  for (const HMONITOR handle : handles) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    DesktopRect rect;
    if (api_.get_monitor_info(handle, &info)) {
      const RECT& area = info.rcMonitor;
      rect = DesktopRect{area.left, area.top, area.right - area.left, area.bottom - area.top};
    }
    monitors.push_back(rect);
  }
  return StreamedMonitorArea(monitors, output_index_, VirtualDesktop());
}

}  // namespace orvane
