#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

namespace orvane::testing {
namespace {

constexpr wchar_t kWindowsSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";
constexpr wchar_t kWindowsSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";

// A setting of the activation context, as the loader reads it from a manifest.
std::wstring Setting(HANDLE context, const wchar_t* name_space, const wchar_t* name) {
  wchar_t value[64] = {};
  SIZE_T written = 0;
  if (!QueryActCtxSettingsW(0, context, name_space, name, value, std::size(value), &written)) {
    return L"(none: " + std::to_wstring(GetLastError()) + L")";
  }
  return value;
}

// The host's own executable carries the manifest the loader reads, with per-monitor
// awareness for every Windows that knows it: PerMonitorV2, and true/pm before that. (Wine
// reports every process as per-monitor aware, manifest or not, so the process's awareness
// proves nothing here; the loader's reading of the manifest does.)
TEST(HostManifestWinTest, TheHostExecutableDeclaresPerMonitorDpiAwareness) {
  const std::wstring host = L"Z:" + std::filesystem::path(ORVANE_HOST_BINARY).wstring();
  ACTCTXW request{};
  request.cbSize = sizeof(request);
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = host.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);  // the manifest the loader reads
  const HANDLE context = CreateActCtxW(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_EQ(Setting(context, kWindowsSettings2016, L"dpiAwareness"), L"PerMonitorV2");
  EXPECT_EQ(Setting(context, kWindowsSettings2005, L"dpiAware"), L"true/pm");
  ReleaseActCtx(context);
}

}  // namespace
}  // namespace orvane::testing
