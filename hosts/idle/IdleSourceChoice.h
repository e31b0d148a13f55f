#pragma once

// Which idle source the launcher uses: the first one the session offers, in this order. A session
// where an XScreenSaver daemon already runs gets none: the daemon starts its own hacks there.

#include <optional>
#include <string_view>

namespace zibbles::host {

enum class IdleSourceKind {
    MutterIdleMonitor, // org.gnome.Mutter.IdleMonitor on the session bus (GNOME, Wayland or X11)
    WaylandExtIdle,    // ext_idle_notifier_v1 (KDE Plasma 5.27, sway 1.8 and later, ...)
    WaylandKdeIdle,    // org_kde_kwin_idle (older KDE and wlroots compositors, sway 1.7)
    X11ScreenSaver,    // the X server's MIT-SCREEN-SAVER extension
};

// What the session was found to offer.
struct IdleOffers {
    bool mutterIdleMonitor = false;
    bool waylandExtIdle = false;
    bool waylandKdeIdle = false;
    bool x11ScreenSaver = false;
    bool xscreensaverDaemon = false; // a daemon answers on the X display
};

struct IdleSourceChoice {
    std::optional<IdleSourceKind> source;
    bool daemonRuns = false; // no source because a daemon already runs hacks
};

IdleSourceChoice chooseIdleSource(const IdleOffers& offers);

// "org.gnome.Mutter.IdleMonitor", "ext_idle_notifier_v1", ...: the name people look up.
std::string_view idleSourceName(IdleSourceKind kind);

} // namespace zibbles::host
