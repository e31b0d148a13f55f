#pragma once

// The two Wayland idle sources: one idle timeout of the seconds asked on the seat, over
// ext_idle_notifier_v1 (KDE Plasma 5.27, sway 1.8 and later) or over org_kde_kwin_idle (sway 1.7,
// older KDE), each on a connection of its own to the compositor; "idle" and "active again" repeat
// for as long as it lives.

#include "hosts/idle/IdleSource.h"

#include <wayland-client.h>

struct ext_idle_notifier_v1;
struct org_kde_kwin_idle;

namespace zibbles::host {

class WaylandIdleConnection {
  public:
    // Connects to WAYLAND_DISPLAY and learns its globals. Nothing, with error set, when there is
    // no compositor.
    static std::unique_ptr<WaylandIdleConnection> connect(std::string& error);
    ~WaylandIdleConnection();
    WaylandIdleConnection(const WaylandIdleConnection&) = delete;
    WaylandIdleConnection& operator=(const WaylandIdleConnection&) = delete;

    wl_display* display() const { return display_; }
    wl_seat* seat() const { return seat_; }
    ext_idle_notifier_v1* extIdle() const { return extIdle_; }
    org_kde_kwin_idle* kdeIdle() const { return kdeIdle_; }

    // The IdleSource steps, for a source whose listeners append to heard.
    pollfd prepareToSleep();
    bool dispatch(short revents, std::vector<IdleChange>& heard, std::vector<IdleChange>& changes,
                  std::string& error);

  private:
    explicit WaylandIdleConnection(wl_display* display) : display_(display) {}
    static void onGlobal(void* self, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* extIdle_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
};

struct WaylandIdleOffers {
    bool extIdle = false;
    bool kdeIdle = false;
};

std::unique_ptr<IdleSource> openWaylandExtIdleSource(std::uint64_t idleMs, std::string& error);
std::unique_ptr<IdleSource> openKdeIdleSource(std::uint64_t idleMs, std::string& error);

// What the compositor of WAYLAND_DISPLAY offers (both false without one, or without a seat).
WaylandIdleOffers waylandIdleOffered();

} // namespace zibbles::host
