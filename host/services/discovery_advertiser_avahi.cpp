#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include <string>

#include "base/logger.h"
#include "platform/system_info.h"
#include "services/discovery_advertiser.h"

namespace orvane {
namespace {

// Renames after local name collisions before giving up.
constexpr int kMaxRenames = 16;

}  // namespace

// The service published through the Avahi daemon (over D-Bus). Once the poll thread runs,
// the callbacks run on it, and everything here belongs to it until it is stopped.
struct DiscoveryAdvertiser::Registration {
  uint16_t port = 0;
  // The computer's name, or the alternative Avahi offered after a collision.
  std::string name;
  bool with_txt = true;
  // Set when publishing failed before the poll thread started.
  bool failed = false;
  // Set once the poll thread runs: from then on a lost daemon is waited for.
  bool published = false;
  AvahiThreadedPoll* poll = nullptr;
  AvahiClient* client = nullptr;
  AvahiEntryGroup* group = nullptr;

  ~Registration() {
    if (poll != nullptr) {
      avahi_threaded_poll_stop(poll);
    }
    // Freeing the group withdraws the service: the daemon sends its goodbye.
    if (group != nullptr) {
      avahi_entry_group_free(group);
    }
    if (client != nullptr) {
      avahi_client_free(client);
    }
    if (poll != nullptr) {
      avahi_threaded_poll_free(poll);
    }
  }

  std::string InstanceName() const { return name + "." + kDiscoveryServiceType + ".local"; }

  int AddService() {
    AvahiStringList* txt = nullptr;
    if (with_txt) {
      for (const DiscoveryTxtProperty& property : kDiscoveryTxtProperties) {
        txt = avahi_string_list_add_pair(txt, property.key, property.value);
      }
    }
    const int result = avahi_entry_group_add_service_strlst(
        group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0), name.c_str(),
        kDiscoveryServiceType, nullptr, nullptr, port, txt);
    avahi_string_list_free(txt);
    return result;
  }

  void Rename() {
    char* alternative = avahi_alternative_service_name(name.c_str());
    LOG_WARN("[mDNS] Service name collision: %s; renamed to %s", name.c_str(), alternative);
    name = alternative;
    avahi_free(alternative);
  }

  // Adds the service to the (new or emptied) entry group and commits it; false, after
  // logging why, when the daemon refuses.
  bool Publish(AvahiClient* owner) {
    if (group == nullptr) {
      group = avahi_entry_group_new(owner, OnGroupState, this);
      if (group == nullptr) {
        LOG_ERROR("[mDNS] avahi_entry_group_new failed: %s",
                  avahi_strerror(avahi_client_errno(owner)));
        return false;
      }
    }
    int result = AddService();
    for (int renames = 0; result == AVAHI_ERR_COLLISION && renames < kMaxRenames; ++renames) {
      Rename();
      result = AddService();
    }
    if (with_txt && (result == AVAHI_ERR_INVALID_RECORD || result == AVAHI_ERR_INVALID_ARGUMENT)) {
      LOG_WARN(
          "[mDNS] avahi_entry_group_add_service with TXT records failed: %s; retrying without "
          "TXT records",
          avahi_strerror(result));
      with_txt = false;
      result = AddService();
      if (result < 0) {
        LOG_ERROR("[mDNS] avahi_entry_group_add_service retry (no TXT) failed: %s",
                  avahi_strerror(result));
        return false;
      }
    }
    if (result < 0) {
      LOG_ERROR("[mDNS] avahi_entry_group_add_service failed: %s", avahi_strerror(result));
      return false;
    }
    result = avahi_entry_group_commit(group);
    if (result < 0) {
      LOG_ERROR("[mDNS] avahi_entry_group_commit failed: %s", avahi_strerror(result));
      return false;
    }
    return true;
  }

  static void OnClientState(AvahiClient* owner, AvahiClientState state, void* context) {
    auto& self = *static_cast<Registration*>(context);
    switch (state) {
      case AVAHI_CLIENT_S_RUNNING:
        // Also after the daemon has settled its own host name, or renamed it.
        if (self.group == nullptr || avahi_entry_group_is_empty(self.group)) {
          self.failed = !self.Publish(owner);
        }
        break;
      case AVAHI_CLIENT_S_COLLISION:
      case AVAHI_CLIENT_S_REGISTERING:
        // The daemon is (re)naming the host; the service goes up again once it runs.
        if (self.group != nullptr) {
          avahi_entry_group_reset(self.group);
        }
        break;
      case AVAHI_CLIENT_FAILURE:
        if (self.published && avahi_client_errno(owner) == AVAHI_ERR_DISCONNECTED) {
          self.Reconnect(owner);
          break;
        }
        LOG_ERROR("[mDNS] Avahi client failed: %s", avahi_strerror(avahi_client_errno(owner)));
        self.failed = true;
        break;
      case AVAHI_CLIENT_CONNECTING:
        break;
    }
  }

  // The daemon went away (restarted, or stopped for a while) after the service was up:
  // a new client waits for it to come back and publishes again, as on the first start.
  // Freeing a client from its own callback is how Avahi's own tools reconnect.
  void Reconnect(AvahiClient* lost) {
    LOG_WARN("[mDNS] Avahi daemon disconnected; the service is published again when it returns");
    avahi_client_free(lost);  // frees its entry group too
    group = nullptr;
    int error = 0;
    client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL, OnClientState,
                              this, &error);
    if (client == nullptr) {
      LOG_ERROR("[mDNS] avahi_client_new failed: %s", avahi_strerror(error));
      failed = true;
    }
  }

  static void OnGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* context) {
    auto& self = *static_cast<Registration*>(context);
    switch (state) {
      case AVAHI_ENTRY_GROUP_ESTABLISHED:
        LOG_INFO("[mDNS] Registration callback success: %s", self.InstanceName().c_str());
        break;
      case AVAHI_ENTRY_GROUP_COLLISION:
        // Another host on the network announces this name: take Avahi's alternative.
        self.Rename();
        avahi_entry_group_reset(group);
        self.Publish(avahi_entry_group_get_client(group));
        break;
      case AVAHI_ENTRY_GROUP_FAILURE:
        LOG_ERROR("[mDNS] Registration callback failed: %s (%s)",
                  avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group))),
                  self.InstanceName().c_str());
        break;
      case AVAHI_ENTRY_GROUP_UNCOMMITED:
      case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
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
  auto registration = std::make_unique<Registration>();
  registration->port = control_port;
  registration->name = ComputerName();
  if (registration->name.empty()) {
    LOG_ERROR("[mDNS] gethostname failed");
    return false;
  }
  registration->poll = avahi_threaded_poll_new();
  if (registration->poll == nullptr) {
    LOG_ERROR("[mDNS] avahi_threaded_poll_new failed");
    return false;
  }
  // The client reports its first state, and publishes when the daemon runs, before
  // avahi_client_new returns.
  int error = 0;
  registration->client = avahi_client_new(avahi_threaded_poll_get(registration->poll),
                                          static_cast<AvahiClientFlags>(0),
                                          Registration::OnClientState, registration.get(), &error);
  if (registration->client == nullptr) {
    LOG_ERROR("[mDNS] avahi_client_new failed: %s", avahi_strerror(error));
    return false;
  }
  if (registration->failed) {
    return false;
  }
  // Read before the poll thread may rename the host.
  const char* fqdn = avahi_client_get_host_name_fqdn(registration->client);
  const std::string host_name = fqdn != nullptr ? fqdn : "";
  registration->published = true;
  if (avahi_threaded_poll_start(registration->poll) < 0) {
    LOG_ERROR("[mDNS] avahi_threaded_poll_start failed");
    return false;
  }
  LOG_INFO("[mDNS] Registration requested: %s on port %u", host_name.c_str(),
           static_cast<unsigned>(control_port));
  registration_ = std::move(registration);
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
