#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <algorithm>

#include "services/discovery_advertiser.h"
#include "viewer/host_browser.h"

namespace orvane::viewer {
namespace {

using Clock = std::chrono::steady_clock;

struct Browse {
  AvahiSimplePoll* poll = nullptr;
  std::vector<FoundHost> hosts;
  int resolving = 0;
  bool listed = false;  // the daemon said it has listed what it knows
};

void Resolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
              const char* name, const char*, const char*, const char*, const AvahiAddress* address,
              uint16_t port, AvahiStringList*, AvahiLookupResultFlags, void* context) {
  auto* browse = static_cast<Browse*>(context);
  if (event == AVAHI_RESOLVER_FOUND && address != nullptr && address->proto == AVAHI_PROTO_INET) {
    char text[AVAHI_ADDRESS_STR_MAX] = {};
    avahi_address_snprint(text, sizeof(text), address);
    const bool seen = std::any_of(browse->hosts.begin(), browse->hosts.end(),
                                  [&](const FoundHost& host) { return host.name == name; });
    if (!seen) {
      browse->hosts.push_back({name, text, port});
    }
  }
  --browse->resolving;
  avahi_service_resolver_free(resolver);
}

void Browsed(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
             AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
             AvahiLookupResultFlags, void* context) {
  auto* browse = static_cast<Browse*>(context);
  if (event == AVAHI_BROWSER_NEW) {
    AvahiClient* client = avahi_service_browser_get_client(browser);
    if (avahi_service_resolver_new(client, interface, protocol, name, type, domain,
                                   AVAHI_PROTO_INET, AvahiLookupFlags(0), Resolved,
                                   browse) != nullptr) {
      ++browse->resolving;
    }
  } else if (event == AVAHI_BROWSER_ALL_FOR_NOW) {
    browse->listed = true;
  }
}

}  // namespace

std::vector<FoundHost> BrowseHosts(std::chrono::milliseconds wait, std::string& error) {
  Browse browse;
  browse.poll = avahi_simple_poll_new();
  if (browse.poll == nullptr) {
    error = "out of memory";
    return {};
  }
  int failure = 0;
  AvahiClient* client = avahi_client_new(avahi_simple_poll_get(browse.poll), AvahiClientFlags(0),
                                         nullptr, nullptr, &failure);
  if (client == nullptr) {
    error = std::string("the Avahi daemon cannot be reached: ") + avahi_strerror(failure);
    avahi_simple_poll_free(browse.poll);
    return {};
  }
  AvahiServiceBrowser* browser =
      avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, kDiscoveryServiceType,
                                nullptr, AvahiLookupFlags(0), Browsed, &browse);
  const auto until = Clock::now() + wait;
  while (browser != nullptr && Clock::now() < until && !(browse.listed && browse.resolving == 0)) {
    if (avahi_simple_poll_iterate(browse.poll, 100) != 0) {
      break;
    }
  }
  if (browser != nullptr) {
    avahi_service_browser_free(browser);
  }
  avahi_client_free(client);
  avahi_simple_poll_free(browse.poll);
  return browse.hosts;
}

}  // namespace orvane::viewer
