#include "hosts/saver/IdleSourceWayland.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

} // namespace zibbles::host
