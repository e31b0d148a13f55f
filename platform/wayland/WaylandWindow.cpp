#include "platform/wayland/WaylandWindow.h"

#include "platform/wayland/WaylandConnection.h"

#include "platform/wayland/WaylandLayerShellProtocol.h"
#include <fractional-scale-v1-client-protocol.h>
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

void onPreferredScale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
    windowOf(data).preferScale(scale);
}
const wp_fractional_scale_v1_listener kFractionalScaleListener{onPreferredScale};

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

// Sizes past this many points are no output's: taken for garbage and left to the client.
constexpr std::uint32_t kLargestPoints = 1 << 16;

std::int32_t pointsOf(std::uint32_t size) {
    return size > kLargestPoints ? 0 : static_cast<std::int32_t>(size);
}

void onLayerConfigure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                      std::uint32_t height) {
    windowOf(data).configureToplevel(pointsOf(width), pointsOf(height));
    windowOf(data).configureSurface(serial);
}
void onLayerClosed(void* data, zwlr_layer_surface_v1*) {
    windowOf(data).close();
}
const zwlr_layer_surface_v1_listener kLayerListener{onLayerConfigure, onLayerClosed};

constexpr std::uint32_t kAllEdges =
    ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
    ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;

} // namespace

WaylandWindow::WaylandWindow(WaylandConnection& connection, const WaylandWindowRequest& request)
    : connection_(connection), role_(request.role),
      outputName_(request.output ? request.output->globalName : 0),
      requestedWidth_(request.widthPoints), requestedHeight_(request.heightPoints),
      surface_(wl_compositor_create_surface(connection.compositor())),
      target_(connection.shm(), surface_, connection.viewporter()) {
    wl_surface_add_listener(surface_, &kSurfaceListener, this);
    if (auto* manager = connection.fractionalScaleManager()) {
        fractionalScale_ = wp_fractional_scale_manager_v1_get_fractional_scale(manager, surface_);
        wp_fractional_scale_v1_add_listener(fractionalScale_, &kFractionalScaleListener, this);
    }
    wl_output* output = request.output ? request.output->output : nullptr;
    if (role_ == WaylandSurfaceRole::OverlayLayer) {
        layerSurface_ =
            zwlr_layer_shell_v1_get_layer_surface(connection.layerShell(), surface_, output,
                                                  ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "zibbles");
        zwlr_layer_surface_v1_add_listener(layerSurface_, &kLayerListener, this);
        // Size 0 × 0 with all four edges: the compositor gives the whole output.
        zwlr_layer_surface_v1_set_size(layerSurface_, 0, 0);
        zwlr_layer_surface_v1_set_anchor(layerSurface_, kAllEdges);
        zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            layerSurface_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    } else {
        xdgSurface_ = xdg_wm_base_get_xdg_surface(connection.shell(), surface_);
        xdg_surface_add_listener(xdgSurface_, &kXdgSurfaceListener, this);
        toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
        xdg_toplevel_add_listener(toplevel_, &kToplevelListener, this);
        xdg_toplevel_set_title(toplevel_, "Zibbles");
        xdg_toplevel_set_app_id(toplevel_, "zibbles");
        if (output)
            xdg_toplevel_set_fullscreen(toplevel_, output);
    }
    // A commit without a buffer asks for the first configure.
    wl_surface_commit(surface_);
}

WaylandWindow::~WaylandWindow() {
    if (fractionalScale_)
        wp_fractional_scale_v1_destroy(fractionalScale_);
    if (layerSurface_)
        zwlr_layer_surface_v1_destroy(layerSurface_);
    if (toplevel_)
        xdg_toplevel_destroy(toplevel_);
    if (xdgSurface_)
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

void WaylandWindow::preferScale(std::uint32_t scaleIn120ths) {
    if (const auto scale = preferredScale(scaleIn120ths))
        preferredScale_ = scale;
}

WaylandWindowShape WaylandWindow::shape() const {
    WaylandWindowShape shape;
    const WaylandOutput* fullscreen = outputName_ ? connection_.outputNamed(outputName_) : nullptr;
    std::int32_t scale = 0;
    for (wl_output* output : outputsEntered_)
        if (connection_.outputOf(output))
            scale = std::max(scale, connection_.scaleOf(output));
    if (scale == 0)
        scale = fullscreen ? fullscreen->scale : connection_.largestScale();
    shape.scaleIn120ths = preferredScale_.value_or(static_cast<std::uint32_t>(scale) * kScaleUnit);
    if (configuredWidth_ > 0 && configuredHeight_ > 0) {
        shape.widthPoints = configuredWidth_;
        shape.heightPoints = configuredHeight_;
    } else if (fullscreen && fullscreen->width > 0 && fullscreen->height > 0) {
        shape.widthPoints = fullscreen->width / fullscreen->scale;
        shape.heightPoints = fullscreen->height / fullscreen->scale;
    } else {
        shape.widthPoints = requestedWidth_;
        shape.heightPoints = requestedHeight_;
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
        if (layerSurface_)
            zwlr_layer_surface_v1_ack_configure(layerSurface_, pendingSerial_);
        else
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
    if (!target_.resize(now.widthPoints, now.heightPoints, now.scaleIn120ths, error))
        return false;
    shown_ = now;
    changed = true;
    return true;
}

} // namespace zibbles::platform
