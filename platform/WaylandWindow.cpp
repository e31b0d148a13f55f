#include "platform/WaylandWindow.h"

#include "platform/WaylandConnection.h"

#include <wayland-client.h>
#include <xdg-shell-client-protocol.h>

#include <algorithm>

namespace zibbles::platform {
namespace {

WaylandWindow& windowOf(void* data) {
    return *static_cast<WaylandWindow*>(data);
}

void onEnter(void* data, wl_surface*, wl_output* output) {
    windowOf(data).entered(output, true);
}
void onLeave(void* data, wl_surface*, wl_output* output) {
    windowOf(data).entered(output, false);
}
const wl_surface_listener kSurfaceListener{onEnter, onLeave};

void onSurfaceConfigure(void* data, xdg_surface*, std::uint32_t serial) {
    windowOf(data).configureSurface(serial);
}
const xdg_surface_listener kXdgSurfaceListener{onSurfaceConfigure};

void onToplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height,
                         wl_array*) {
    windowOf(data).configureToplevel(width, height);
}
void onClose(void* data, xdg_toplevel*) {
    windowOf(data).requestClose();
}
// xdg_wm_base is bound at version 1: configure_bounds and wm_capabilities never come.
const xdg_toplevel_listener kToplevelListener{onToplevelConfigure, onClose, nullptr, nullptr};

} // namespace

WaylandWindow::WaylandWindow(WaylandConnection& connection, const WaylandWindowRequest& request)
    : connection_(connection), request_(request),
      surface_(wl_compositor_create_surface(connection.compositor())),
      target_(connection.shm(), surface_) {
    wl_surface_add_listener(surface_, &kSurfaceListener, this);
    xdgSurface_ = xdg_wm_base_get_xdg_surface(connection.shell(), surface_);
    xdg_surface_add_listener(xdgSurface_, &kXdgSurfaceListener, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &kToplevelListener, this);
    xdg_toplevel_set_title(toplevel_, "Zibbles");
    xdg_toplevel_set_app_id(toplevel_, "zibbles");
    if (request.fullscreenOn)
        xdg_toplevel_set_fullscreen(toplevel_, request.fullscreenOn);
    // A commit without a buffer asks for the first configure.
    wl_surface_commit(surface_);
}

WaylandWindow::~WaylandWindow() {
    xdg_toplevel_destroy(toplevel_);
    xdg_surface_destroy(xdgSurface_);
    // The target's buffers go with it, after the surface that may still show one.
    wl_surface_destroy(surface_);
}

void WaylandWindow::configureToplevel(std::int32_t width, std::int32_t height) {
    configuredWidth_ = std::max(width, 0);
    configuredHeight_ = std::max(height, 0);
}

void WaylandWindow::configureSurface(std::uint32_t serial) {
    pendingSerial_ = serial;
    ackPending_ = true;
    configured_ = true;
}

void WaylandWindow::entered(wl_output* output, bool inside) {
    std::erase(outputsEntered_, output);
    if (inside)
        outputsEntered_.push_back(output);
}

WaylandWindowShape WaylandWindow::shape() const {
    WaylandWindowShape shape;
    const WaylandOutput* fullscreen =
        request_.fullscreenOn ? connection_.outputOf(request_.fullscreenOn) : nullptr;
    std::int32_t scale = 0;
    for (wl_output* output : outputsEntered_)
        if (connection_.outputOf(output))
            scale = std::max(scale, connection_.scaleOf(output));
    if (scale == 0)
        scale = fullscreen ? fullscreen->scale : connection_.largestScale();
    shape.scale = scale;
    if (configuredWidth_ > 0 && configuredHeight_ > 0) {
        shape.widthPoints = configuredWidth_;
        shape.heightPoints = configuredHeight_;
    } else if (fullscreen && fullscreen->width > 0 && fullscreen->height > 0) {
        shape.widthPoints = fullscreen->width / fullscreen->scale;
        shape.heightPoints = fullscreen->height / fullscreen->scale;
    } else {
        shape.widthPoints = request_.widthPoints;
        shape.heightPoints = request_.heightPoints;
    }
    shape.widthPoints = std::max<std::int64_t>(shape.widthPoints, 1);
    shape.heightPoints = std::max<std::int64_t>(shape.heightPoints, 1);
    return shape;
}

bool WaylandWindow::followShape(bool& changed, std::string& error) {
    changed = false;
    if (!configured_)
        return true;
    const bool acknowledged = ackPending_;
    if (ackPending_) {
        xdg_surface_ack_configure(xdgSurface_, pendingSerial_);
        ackPending_ = false;
    }
    const WaylandWindowShape now = shape();
    if (now == shown_) {
        // The compositor may wait for a commit that answers its configure, even one that
        // changes nothing.
        if (acknowledged && shown_.widthPoints > 0)
            wl_surface_commit(surface_);
        return true;
    }
    if (!target_.resize(now.widthPoints, now.heightPoints, now.scale, error))
        return false;
    shown_ = now;
    changed = true;
    return true;
}

} // namespace zibbles::platform
