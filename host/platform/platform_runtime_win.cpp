#include "platform/platform_runtime.h"

#include <winsock2.h>

#include <windows.h>

#include <mfapi.h>
#include <objbase.h>

namespace orvane {

PlatformStartResult StartPlatformRuntime() {
  using Step = PlatformStartResult::FailedStep;
  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    return {Step::kSockets, 0};
  }
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    WSACleanup();
    return {Step::kCom, static_cast<uint32_t>(hr)};
  }
  hr = MFStartup(MF_VERSION, MFSTARTUP_FULL);
  if (FAILED(hr)) {
    CoUninitialize();
    WSACleanup();
    return {Step::kMediaFramework, static_cast<uint32_t>(hr)};
  }
  return {};
}

void StopPlatformRuntime() {
  MFShutdown();
  CoUninitialize();
  WSACleanup();
}

}  // namespace orvane
