#pragma once

// A saver's surface on a Wayland compositor, with its compositor target: a layer surface over
// one output, or an xdg-shell toplevel, full screen on one output or a window of a given size.
// Implemented features:
//  [X] A layer surface (zwlr_layer_shell_v1) on the overlay layer of one output, namespace
//      "zibbles", anchored to all four edges with exclusive zone -1 and exclusive keyboard
//      interactivity: drawn above full-screen windows, and a key press reaches the saver.
//  [X] Full screen on a chosen output (xdg_toplevel.set_fullscreen): the compositor shows it
//      alone, with no title bar or border; or a window of a size in points, titled "Zibbles".
//  [X] The compositor closing a layer surface (its output gone): closed() says so, and the
//      caller tears that view down.
//  [X] The size the compositor configures (points), else the one asked for; each configure is
//      acknowledged before the next buffer is committed.
//  [X] The scale: where the compositor offers fractional scales (WaylandConnection), the one it
//      prefers for the surface (wp_fractional_scale_v1.preferred_scale), drawn through a
//      viewport. Until that comes, and on other compositors: the largest whole scale of the
//      outputs the surface is on (wl_surface.enter and leave), else the full-screen output's,
//      else the largest of any output.
//  [X] The compositor's request to close the window (xdg_toplevel.close).

#include "platform/wayland/CompositorTargetWayland.h"
#include "platform/wayland/WaylandScale.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct wl_surface;
struct wl_output;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;
struct wp_fractional_scale_v1;

namespace zibbles::platform {

class WaylandConnection;
struct WaylandOutput;

enum class WaylandSurfaceRole {
    Toplevel,     // xdg-shell: full screen on the output, or a window of its own without one
    OverlayLayer, // wlr-layer-shell: over the whole output, above every window
};

struct WaylandWindowRequest {
    WaylandSurfaceRole role = WaylandSurfaceRole::Toplevel;
    const WaylandOutput* output = nullptr; // null: a window of its own (toplevel only)
    std::int64_t widthPoints = 1280;       // for a window of its own, or before the first configure
    std::int64_t heightPoints = 720;
};

// What the window looks like now, for the loop to follow.
struct WaylandWindowShape {
    std::int64_t widthPoints = 0;
    std::int64_t heightPoints = 0;
    std::uint32_t scaleIn120ths = 120; // device pixels per point, in 120ths (WaylandScale.h)
    double scale() const { return scaleFactorOf(scaleIn120ths); }
    bool operator==(const WaylandWindowShape&) const = default;
};

// Main thread only.
class WaylandWindow {
  public:
    // The connection must outlive the window, and offer the role's shell. The window is mapped
    // once the caller has dispatched the first configure and presented a frame.
    WaylandWindow(WaylandConnection& connection, const WaylandWindowRequest& request);
    ~WaylandWindow();
    WaylandWindow(const WaylandWindow&) = delete;
    WaylandWindow& operator=(const WaylandWindow&) = delete;

    wl_surface* surface() const { return surface_; }
    CompositorTargetWayland& target() { return target_; }
    bool configured() const { return configured_; }
    // The compositor will prefer a scale for this surface and has not said which yet.
    bool awaitingPreferredScale() const { return fractionalScale_ && !preferredScale_; }
    bool closeRequested() const { return closeRequested_; }
    // The compositor will not show this layer surface again (its output went away).
    bool closed() const { return closed_; }
    // The registry name of the output it covers; 0 for a window of its own.
    std::uint32_t outputName() const { return outputName_; }
    // The shape the window should have now.
    WaylandWindowShape shape() const;
    // Makes the target follow shape(): true when it changed (the caller repaints everything).
    // Sets error and gives false when the buffers cannot be had.
    bool followShape(bool& changed, std::string& error);

    // For the listeners.
    void configureToplevel(std::int32_t width, std::int32_t height);
    void configureSurface(std::uint32_t serial);
    void requestClose() { closeRequested_ = true; }
    void close() { closed_ = true; }
    void entered(wl_output* output, bool inside);
    void preferScale(std::uint32_t scaleIn120ths);

  private:
    WaylandConnection& connection_;
    WaylandSurfaceRole role_;
    std::uint32_t outputName_ = 0;
    std::int64_t requestedWidth_ = 0;
    std::int64_t requestedHeight_ = 0;
    wl_surface* surface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    zwlr_layer_surface_v1* layerSurface_ = nullptr;
    wp_fractional_scale_v1* fractionalScale_ = nullptr;
    std::optional<std::uint32_t> preferredScale_; // in 120ths, once the compositor has said
    CompositorTargetWayland target_;
    std::vector<wl_output*> outputsEntered_;
    std::int64_t configuredWidth_ = 0; // points; 0: the compositor leaves it to the client
    std::int64_t configuredHeight_ = 0;
    std::uint32_t pendingSerial_ = 0;
    bool ackPending_ = false;
    bool configured_ = false;
    bool closeRequested_ = false;
    bool closed_ = false;
    WaylandWindowShape shown_;
};

} // namespace zibbles::platform
