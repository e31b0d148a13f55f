#include "hosts/idle/IdleSourceWayland.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zibbles::host {

std::unique_ptr<WaylandIdleConnection> WaylandIdleConnection::connect(std::string& error) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) {
        error = "WAYLAND_DISPLAY is not set";
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        error = std::string("cannot connect to the Wayland compositor '") + name +
                "': " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<WaylandIdleConnection> connection(new WaylandIdleConnection(display));
    static const wl_registry_listener listener{&WaylandIdleConnection::onGlobal,
                                               &WaylandIdleConnection::onGlobalRemove};
    connection->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry_, &listener, connection.get());
    if (wl_display_roundtrip(display) < 0) {
        error = "the Wayland compositor closed the connection";
        return nullptr;
    }
    return connection;
}

WaylandIdleConnection::~WaylandIdleConnection() {
    if (extIdle_)
        ext_idle_notifier_v1_destroy(extIdle_);
    if (kdeIdle_)
        org_kde_kwin_idle_destroy(kdeIdle_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandIdleConnection::onGlobal(void* self, wl_registry* registry, std::uint32_t name,
                                     const char* interface, std::uint32_t) {
    auto& connection = *static_cast<WaylandIdleConnection*>(self);
    // The first seat: the one a desktop session has (idleness is counted per seat).
    if (!connection.seat_ && std::strcmp(interface, wl_seat_interface.name) == 0)
        connection.seat_ =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!connection.extIdle_ &&
             std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
        connection.extIdle_ = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    else if (!connection.kdeIdle_ && std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0)
        connection.kdeIdle_ = static_cast<org_kde_kwin_idle*>(
            wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
}

pollfd WaylandIdleConnection::prepareToSleep() {
    wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
    return {wl_display_get_fd(display_), POLLIN, 0};
}

bool WaylandIdleConnection::dispatch(short revents, std::vector<IdleChange>& heard,
                                     std::vector<IdleChange>& changes, std::string& error) {
    // One thread reads this connection, so a plain dispatch after POLLIN does not block.
    const bool lost = (revents & POLLIN) ? wl_display_dispatch(display_) < 0
                                         : (revents & (POLLERR | POLLHUP)) != 0;
    changes.insert(changes.end(), heard.begin(), heard.end());
    heard.clear();
    if (lost || wl_display_get_error(display_) != 0) {
        error = "the connection to the Wayland compositor was lost";
        return false;
    }
    return true;
}

WaylandIdleOffers waylandIdleOffered() {
    std::string ignored;
    const auto connection = WaylandIdleConnection::connect(ignored);
    if (!connection || !connection->seat())
        return {};
    return {connection->extIdle() != nullptr, connection->kdeIdle() != nullptr};
}

namespace {

// The two idle protocols differ only in their names: each gives one object per timeout on the
// seat, whose first event says "idle" and whose second says "active again", for as long as it
// lives.
struct ExtIdleNotify {
    using Object = ext_idle_notification_v1;
    using Listener = ext_idle_notification_v1_listener;
    static constexpr const char* global = "ext_idle_notifier_v1";
    static bool offered(const WaylandIdleConnection& c) { return c.extIdle() != nullptr; }
    static Object* subscribe(const WaylandIdleConnection& c, std::uint32_t idleMs) {
        return ext_idle_notifier_v1_get_idle_notification(c.extIdle(), idleMs, c.seat());
    }
    static constexpr auto addListener = ext_idle_notification_v1_add_listener;
    static constexpr auto release = ext_idle_notification_v1_destroy;
};

struct KdeIdle {
    using Object = org_kde_kwin_idle_timeout;
    using Listener = org_kde_kwin_idle_timeout_listener;
    static constexpr const char* global = "org_kde_kwin_idle";
    static bool offered(const WaylandIdleConnection& c) { return c.kdeIdle() != nullptr; }
    static Object* subscribe(const WaylandIdleConnection& c, std::uint32_t idleMs) {
        return org_kde_kwin_idle_get_idle_timeout(c.kdeIdle(), c.seat(), idleMs);
    }
    static constexpr auto addListener = org_kde_kwin_idle_timeout_add_listener;
    static constexpr auto release = org_kde_kwin_idle_timeout_release;
};

template <class Protocol> class ProtocolIdleSource final : public IdleSource {
  public:
    ProtocolIdleSource(std::unique_ptr<WaylandIdleConnection> connection, std::uint32_t idleMs)
        : connection_(std::move(connection)) {
        static const typename Protocol::Listener listener{
            [](void* self, typename Protocol::Object*) {
                static_cast<ProtocolIdleSource*>(self)->heard_.push_back(IdleChange::Idle);
            },
            [](void* self, typename Protocol::Object*) {
                static_cast<ProtocolIdleSource*>(self)->heard_.push_back(IdleChange::Active);
            }};
        object_ = Protocol::subscribe(*connection_, idleMs);
        Protocol::addListener(object_, &listener, this);
    }
    ~ProtocolIdleSource() override { Protocol::release(object_); }

    pollfd prepareToSleep() override { return connection_->prepareToSleep(); }
    // A change heard while preparing has been read already: the descriptor will not tell it.
    int timeoutMs() override { return heard_.empty() ? -1 : 0; }
    bool dispatch(short revents, std::vector<IdleChange>& changes, std::string& error) override {
        return connection_->dispatch(revents, heard_, changes, error);
    }

  private:
    std::unique_ptr<WaylandIdleConnection> connection_;
    typename Protocol::Object* object_ = nullptr;
    std::vector<IdleChange> heard_;
};

template <class Protocol>
std::unique_ptr<IdleSource> openProtocolIdleSource(std::uint64_t idleMs, std::string& error) {
    auto connection = WaylandIdleConnection::connect(error);
    if (!connection)
        return nullptr;
    if (!connection->seat() || !Protocol::offered(*connection)) {
        error = std::string("the Wayland compositor offers no seat with ") + Protocol::global;
        return nullptr;
    }
    return std::make_unique<ProtocolIdleSource<Protocol>>(
        std::move(connection), static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                   idleMs, std::numeric_limits<std::uint32_t>::max())));
}

} // namespace

std::unique_ptr<IdleSource> openWaylandExtIdleSource(std::uint64_t idleMs, std::string& error) {
    return openProtocolIdleSource<ExtIdleNotify>(idleMs, error);
}

std::unique_ptr<IdleSource> openKdeIdleSource(std::uint64_t idleMs, std::string& error) {
    return openProtocolIdleSource<KdeIdle>(idleMs, error);
}

} // namespace zibbles::host
