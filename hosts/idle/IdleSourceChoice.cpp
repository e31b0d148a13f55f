#include "hosts/idle/IdleSourceChoice.h"

namespace zibbles::host {

IdleSourceChoice chooseIdleSource(const IdleOffers& offers) {
    if (offers.xscreensaverDaemon)
        return {std::nullopt, true};
    // GNOME's own monitor first: on GNOME under X11 the extension is there too, but mutter's
    // count is the one its own blanking follows.
    if (offers.mutterIdleMonitor)
        return {IdleSourceKind::MutterIdleMonitor, false};
    if (offers.waylandExtIdle)
        return {IdleSourceKind::WaylandExtIdle, false};
    if (offers.waylandKdeIdle)
        return {IdleSourceKind::WaylandKdeIdle, false};
    if (offers.x11ScreenSaver)
        return {IdleSourceKind::X11ScreenSaver, false};
    return {};
}

std::string_view idleSourceName(IdleSourceKind kind) {
    switch (kind) {
    case IdleSourceKind::MutterIdleMonitor:
        return "org.gnome.Mutter.IdleMonitor";
    case IdleSourceKind::WaylandExtIdle:
        return "ext_idle_notifier_v1";
    case IdleSourceKind::WaylandKdeIdle:
        return "org_kde_kwin_idle";
    case IdleSourceKind::X11ScreenSaver:
        return "MIT-SCREEN-SAVER";
    }
    return "";
}

} // namespace zibbles::host
