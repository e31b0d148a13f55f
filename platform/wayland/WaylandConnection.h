#pragma once

// A connection to a Wayland compositor and the globals a saver draws and listens with.
// Implemented features:
//  [X] wl_compositor, wl_shm, zwlr_layer_shell_v1, xdg_wm_base (its pings answered, so the
//      compositor never takes the saver for hung) and the first wl_seat, bound at connect; a
//      compositor without the first two, or with neither shell, is refused with a message naming
//      what is missing. A locker's nested compositor may offer only the layer shell and no seat.
//  [X] Every wl_output with its whole scale, its current mode (device pixels, refresh) and its
//      name; outputs that come or go later are added or dropped, and a scale change is kept.
//      An output counts as ready from its first wl_output.done.
//  [X] For tests: ZIBBLES_WAYLAND_IGNORE_GLOBALS, a comma-separated list of interface names
//      ("xdg_wm_base,wl_seat"), makes the registry's globals of those names go unseen, so that a
//      plain compositor stands in for a locker's.
//  [X] wp_viewporter and wp_fractional_scale_manager_v1 where both are offered (kwin 5.27): a
//      surface then draws at the scale the compositor prefers for it, fractional or whole.
//      Elsewhere (sway 1.7, mutter 43) a surface takes its outputs' whole scale.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_seat;
struct wl_output;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;

namespace zibbles::platform {

struct WaylandOutput {
    wl_output* output = nullptr;
    std::uint32_t globalName = 0;
    std::int32_t scale = 1; // device pixels per point
    std::int32_t width = 0; // current mode, device pixels
    std::int32_t height = 0;
    std::int32_t refreshMilliHz = 0; // 0 when the compositor does not say
    std::string name;                // "HEADLESS-1", when the compositor says (wl_output 4)
    bool ready = false;              // its first wl_output.done has come
};

// The environment variable that lists registry globals to disregard (tests only).
inline constexpr const char* kIgnoreGlobalsVariable = "ZIBBLES_WAYLAND_IGNORE_GLOBALS";

// Main thread only.
class WaylandConnection {
  public:
    // Connects to $WAYLAND_SOCKET (a socket a locker hands over) or $WAYLAND_DISPLAY and waits for
    // the globals and the outputs' first state. Null, with the reason in error, when that fails.
    static std::unique_ptr<WaylandConnection> connect(std::string& error);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    xdg_wm_base* shell() const { return shell_; }                   // may be null: layer shell only
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; } // may be null
    wl_seat* seat() const { return seat_; }                         // may be null: no input at all
    // Both or neither: null where the compositor lacks either, so that a surface either follows
    // its preferred scale through a viewport or keeps to whole buffer scales.
    wp_viewporter* viewporter() const { return fractionalScales() ? viewporter_ : nullptr; }
    wp_fractional_scale_manager_v1* fractionalScaleManager() const {
        return fractionalScales() ? fractionalScale_ : nullptr;
    }
    // The seat's wl_seat capability bits, kept from connect on, so that a listener made later
    // misses none; the hook hears every change.
    std::uint32_t seatCapabilities() const { return seatCapabilities_; }
    void setSeatCapabilitiesHook(std::function<void(std::uint32_t)> hook) {
        seatHook_ = std::move(hook);
    }

    const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return outputs_; }
    // The output announced under that registry name; null once it is gone.
    const WaylandOutput* outputNamed(std::uint32_t globalName) const;
    // The output's whole scale; 1 for one that is not (or no longer) known.
    std::int32_t scaleOf(const wl_output* output) const;
    // The largest scale of any output (for a window that has not entered one yet).
    std::int32_t largestScale() const;

    // For the registry's and the outputs' listeners.
    void addGlobal(std::uint32_t name, const char* interface, std::uint32_t version);
    void removeGlobal(std::uint32_t name);
    WaylandOutput* outputOf(const wl_output* output);
    void seatChanged(std::uint32_t capabilities);
    void outputDone(const wl_output* output);

  private:
    WaylandConnection() = default;
    bool fractionalScales() const { return viewporter_ && fractionalScale_; }

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    xdg_wm_base* shell_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale_ = nullptr;
    std::vector<std::string> ignored_; // interface names the registry's globals are not bound by
    wl_seat* seat_ = nullptr;
    std::uint32_t seatCapabilities_ = 0;
    std::function<void(std::uint32_t)> seatHook_;
    std::vector<std::unique_ptr<WaylandOutput>> outputs_;
};

} // namespace zibbles::platform
