#include "platform/service_advertiser_avahi.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include <optional>

namespace brimwick {

// Everything below the constructor's set-up is touched only with the threaded poll's lock held
// (or before its thread starts, or after it stopped): Avahi calls the callbacks with that lock.
struct AvahiServiceAdvertiser::Impl {
    struct Service {
        std::string requestedName;
        std::string type;
        std::uint16_t port = 0;
        TxtRecord txt;
    };

    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    std::optional<Service> wanted;
    std::string name;  // the name in use: requestedName, or an alternative after clashes
    bool established = false;

    static constexpr int kMaxAlternatives = 32;

    ~Impl() { shutDown(); }

    // Creates the client and its thread. False when the daemon can't be reached.
    bool start() {
        if (client) {
            lock();
            const bool failed = avahi_client_get_state(client) == AVAHI_CLIENT_FAILURE;
            unlock();
            if (!failed) return true;
        }
        shutDown();
        poll = avahi_threaded_poll_new();
        if (!poll) return false;
        int error = 0;
        // The client callback may already run inside avahi_client_new, before `client` is set.
        client = avahi_client_new(avahi_threaded_poll_get(poll), AvahiClientFlags(0),
                                  &Impl::onClientState, this, &error);
        if (!client || avahi_threaded_poll_start(poll) < 0) {
            shutDown();
            return false;
        }
        return true;
    }

    void shutDown() {
        if (poll) avahi_threaded_poll_stop(poll);
        group = nullptr;  // freed with its client
        if (client) avahi_client_free(client);
        client = nullptr;
        if (poll) avahi_threaded_poll_free(poll);
        poll = nullptr;
        established = false;
    }

    void lock() {
        if (poll) avahi_threaded_poll_lock(poll);
    }
    void unlock() {
        if (poll) avahi_threaded_poll_unlock(poll);
    }

    // (Re)registers `wanted` under `name`. Lock held; the client must be running.
    void publish() {
        established = false;
        if (!client || !wanted || avahi_client_get_state(client) != AVAHI_CLIENT_S_RUNNING) return;
        if (!group) group = avahi_entry_group_new(client, &Impl::onGroupState, this);
        if (!group) return;
        avahi_entry_group_reset(group);

        AvahiStringList* txt = nullptr;
        for (const auto& [key, value] : wanted->txt) {
            txt = avahi_string_list_add_pair(txt, key.c_str(), value.c_str());
        }
        int result = AVAHI_ERR_COLLISION;
        for (int attempt = 0; attempt < kMaxAlternatives && result == AVAHI_ERR_COLLISION;
             ++attempt) {
            result = avahi_entry_group_add_service_strlst(
                group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.c_str(),
                wanted->type.c_str(), nullptr, nullptr, wanted->port, txt);
            if (result == AVAHI_ERR_COLLISION) takeAlternativeName();
        }
        avahi_string_list_free(txt);
        if (result >= 0) avahi_entry_group_commit(group);
    }

    void takeAlternativeName() {
        char* alternative = avahi_alternative_service_name(name.c_str());
        if (alternative) name = alternative;
        avahi_free(alternative);
    }

    static void onClientState(AvahiClient* client, AvahiClientState state, void* data) {
        auto& self = *static_cast<Impl*>(data);
        if (!self.client) self.client = client;
        switch (state) {
            case AVAHI_CLIENT_S_RUNNING:
                self.publish();
                break;
            case AVAHI_CLIENT_S_COLLISION:
            case AVAHI_CLIENT_S_REGISTERING:
                // The daemon's own host name is being (re)settled; register again once running.
                if (self.group) avahi_entry_group_reset(self.group);
                self.established = false;
                break;
            case AVAHI_CLIENT_FAILURE:
                // The daemon went away: the advertisement is gone; the next advertise() reconnects.
                self.established = false;
                break;
            case AVAHI_CLIENT_CONNECTING:
                break;
        }
    }

    static void onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* data) {
        auto& self = *static_cast<Impl*>(data);
        if (!self.group) self.group = group;
        switch (state) {
            case AVAHI_ENTRY_GROUP_ESTABLISHED:
                self.established = true;
                break;
            case AVAHI_ENTRY_GROUP_COLLISION:
                // Someone else on the network uses the name: move to "Name #2" and so on.
                self.takeAlternativeName();
                self.publish();
                break;
            case AVAHI_ENTRY_GROUP_FAILURE:
            case AVAHI_ENTRY_GROUP_UNCOMMITED:
            case AVAHI_ENTRY_GROUP_REGISTERING:
                self.established = false;
                break;
        }
    }
};

AvahiServiceAdvertiser::AvahiServiceAdvertiser() : impl_(std::make_unique<Impl>()) {}

AvahiServiceAdvertiser::~AvahiServiceAdvertiser() = default;

void AvahiServiceAdvertiser::advertise(const std::string& name, const std::string& type,
                                       std::uint16_t port, const TxtRecord& txt) {
    std::lock_guard guard(mutex_);
    // Avahi keeps nothing when the daemon can't be reached, and neither do we.
    if (!impl_->start()) return;
    impl_->lock();
    if (!impl_->wanted || impl_->wanted->requestedName != name) impl_->name = name;
    impl_->wanted = Impl::Service{name, type, port, txt};
    impl_->publish();
    impl_->unlock();
}

void AvahiServiceAdvertiser::withdraw() {
    std::lock_guard guard(mutex_);
    impl_->lock();
    impl_->wanted.reset();
    impl_->established = false;
    if (impl_->group) avahi_entry_group_reset(impl_->group);
    impl_->unlock();
}

bool AvahiServiceAdvertiser::established() const {
    std::lock_guard guard(mutex_);
    impl_->lock();
    const bool result = impl_->established;
    impl_->unlock();
    return result;
}

std::string AvahiServiceAdvertiser::currentName() const {
    std::lock_guard guard(mutex_);
    impl_->lock();
    std::string result = impl_->name;
    impl_->unlock();
    return result;
}

}  // namespace brimwick
