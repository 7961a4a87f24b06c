#include <windows.h>

#include <windns.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/logger.h"
#include "platform/system_info.h"
#include "services/discovery_advertiser.h"

namespace orvane {
namespace {

constexpr DWORD kInvalidParameter = 87;
constexpr DWORD kRequestPending = 9506;
// How long the withdrawal may take before the process goes on.
constexpr DWORD kDeregisterWaitMs = 2000;

// The DNS-SD registration functions of dnsapi.dll, looked up at run time: systems older
// than Windows 10 (and Wine) lack them, and the host must start there all the same.
struct DnsSdApi {
  decltype(&DnsServiceConstructInstance) construct_instance = nullptr;
  decltype(&DnsServiceFreeInstance) free_instance = nullptr;
  decltype(&DnsServiceRegister) register_service = nullptr;
  decltype(&DnsServiceDeRegister) deregister_service = nullptr;
};

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function) {
  const FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
  static_assert(sizeof(function) == sizeof(address));
  std::memcpy(&function, &address, sizeof(function));
  if (function == nullptr) {
    LOG_ERROR("[mDNS] DNS-SD registration unavailable: dnsapi.dll has no %s", name);
    return false;
  }
  return true;
}

// dnsapi.dll stays loaded for the life of the process.
bool LoadDnsSdApi(DnsSdApi& api) {
  HMODULE module = LoadLibraryW(L"dnsapi.dll");
  return Resolve(module, "DnsServiceConstructInstance", api.construct_instance) &&
         Resolve(module, "DnsServiceFreeInstance", api.free_instance) &&
         Resolve(module, "DnsServiceRegister", api.register_service) &&
         Resolve(module, "DnsServiceDeRegister", api.deregister_service);
}

std::wstring Widen(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 1) {
    return {};
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

std::string Narrow(const wchar_t* text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) {
    return {};
  }
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(length - 1));
  return narrow;
}

DnsSdApi& Api() {
  static DnsSdApi api;
  return api;
}

// Called by the system on its own thread; owns the instance it is handed.
VOID WINAPI OnRegistered(DWORD status, PVOID, PDNS_SERVICE_INSTANCE instance) {
  const std::string name = instance != nullptr && instance->pszInstanceName != nullptr
                               ? Narrow(instance->pszInstanceName)
                               : "<unknown>";
  if (status == 0) {
    LOG_INFO("[mDNS] Registration callback success: %s", name.c_str());
  } else {
    LOG_ERROR("[mDNS] Registration callback failed: %lu (%s)", static_cast<unsigned long>(status),
              name.c_str());
  }
  if (instance != nullptr) {
    Api().free_instance(instance);
  }
}

// Signals the event in `context` once the withdrawal is done.
VOID WINAPI OnDeregistered(DWORD, PVOID context, PDNS_SERVICE_INSTANCE instance) {
  if (instance != nullptr) {
    Api().free_instance(instance);
  }
  SetEvent(static_cast<HANDLE>(context));
}

DNS_SERVICE_REGISTER_REQUEST RegisterRequest(PDNS_SERVICE_INSTANCE instance) {
  DNS_SERVICE_REGISTER_REQUEST request{};
  request.Version = DNS_QUERY_REQUEST_VERSION1;
  request.InterfaceIndex = 0;  // every interface
  request.pServiceInstance = instance;
  request.pRegisterCompletionCallback = OnRegistered;
  request.pQueryContext = nullptr;
  request.hCredentials = nullptr;
  request.unicastEnabled = FALSE;
  return request;
}

}  // namespace

struct DiscoveryAdvertiser::Registration {
  PDNS_SERVICE_INSTANCE instance = nullptr;

  ~Registration() {
    // Withdraws the service, so it goes from the network now rather than when its
    // records expire.
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DNS_SERVICE_REGISTER_REQUEST request = RegisterRequest(instance);
    request.pRegisterCompletionCallback = OnDeregistered;
    request.pQueryContext = done;
    const DWORD result = Api().deregister_service(&request, nullptr);
    if (result == kRequestPending && done != nullptr) {
      WaitForSingleObject(done, kDeregisterWaitMs);
    }
    Api().free_instance(instance);
    if (done != nullptr) {
      CloseHandle(done);
    }
  }
};

DiscoveryAdvertiser::DiscoveryAdvertiser() = default;

DiscoveryAdvertiser::~DiscoveryAdvertiser() {
  Unregister();
}

bool DiscoveryAdvertiser::Register(uint16_t control_port) {
  if (registration_) {
    return true;
  }
  const std::string computer_name = ComputerName();
  if (computer_name.empty()) {
    LOG_ERROR("[mDNS] GetComputerName failed");
    return false;
  }
  DnsSdApi& api = Api();
  if (api.deregister_service == nullptr && !LoadDnsSdApi(api)) {
    return false;
  }
  const std::wstring instance_name =
      Widen(computer_name) + L"." + Widen(kDiscoveryServiceType) + L".local";
  const std::wstring host_name = Widen(computer_name) + L".local";
  std::vector<std::wstring> keys;
  std::vector<std::wstring> values;
  for (const DiscoveryTxtProperty& property : kDiscoveryTxtProperties) {
    keys.push_back(Widen(property.key));
    values.push_back(Widen(property.value));
  }
  std::vector<PCWSTR> key_pointers;
  std::vector<PCWSTR> value_pointers;
  for (size_t i = 0; i < keys.size(); ++i) {
    key_pointers.push_back(keys[i].c_str());
    value_pointers.push_back(values[i].c_str());
  }
  const auto construct = [&](DWORD property_count) {
    return api.construct_instance(instance_name.c_str(), host_name.c_str(), nullptr, nullptr,
                                  control_port, 0, 0, property_count, key_pointers.data(),
                                  value_pointers.data());
  };

  PDNS_SERVICE_INSTANCE instance = construct(static_cast<DWORD>(key_pointers.size()));
  if (instance == nullptr) {
    LOG_ERROR("[mDNS] DnsServiceConstructInstance failed");
    return false;
  }
  DNS_SERVICE_REGISTER_REQUEST request = RegisterRequest(instance);
  DWORD result = api.register_service(&request, nullptr);
  if (result == kInvalidParameter) {
    LOG_WARN("[mDNS] Register with TXT records failed: 87; retrying without TXT records");
    api.free_instance(instance);
    instance = construct(0);
    if (instance == nullptr) {
      LOG_ERROR("[mDNS] DnsServiceConstructInstance retry (no TXT) failed");
      return false;
    }
    request = RegisterRequest(instance);
    result = api.register_service(&request, nullptr);
  }
  if (result != kRequestPending && result != 0) {
    LOG_ERROR("[mDNS] DnsServiceRegister failed: %lu", static_cast<unsigned long>(result));
    api.free_instance(instance);
    return false;
  }
  registration_ = std::make_unique<Registration>();
  registration_->instance = instance;
  LOG_INFO("[mDNS] Registration requested: %s.local on port %u", computer_name.c_str(),
           static_cast<unsigned>(control_port));
  return true;
}

void DiscoveryAdvertiser::Unregister() {
  if (!registration_) {
    return;
  }
  registration_.reset();
  LOG_INFO("[mDNS] Service unregistered");
}

}  // namespace orvane
