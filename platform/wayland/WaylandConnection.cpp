#include "platform/wayland/WaylandConnection.h"

#include "platform/wayland/WaylandLayerShellProtocol.h"
#include <fractional-scale-v1-client-protocol.h>
#include <viewporter-client-protocol.h>
#include <wayland-client.h>
#include <xdg-shell-client-protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace zibbles::platform {
namespace {

// Scales above this are taken for a misconfiguration and ignored.
constexpr std::int32_t kMaxScale = 8;

WaylandConnection& connectionOf(void* data) {
    return *static_cast<WaylandConnection*>(data);
}

void onGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    connectionOf(data).addGlobal(name, interface, version);
}

void onGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    connectionOf(data).removeGlobal(name);
}

const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

void onPing(void*, xdg_wm_base* shell, std::uint32_t serial) {
    xdg_wm_base_pong(shell, serial);
}

const xdg_wm_base_listener kShellListener{onPing};

void onGeometry(void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                std::int32_t, const char*, const char*, std::int32_t) {}

void onMode(void* data, wl_output* output, std::uint32_t flags, std::int32_t width,
            std::int32_t height, std::int32_t refresh) {
    WaylandOutput* known = connectionOf(data).outputOf(output);
    if (!known || !(flags & WL_OUTPUT_MODE_CURRENT))
        return;
    known->width = width;
    known->height = height;
    known->refreshMilliHz = refresh;
}

void onDone(void* data, wl_output* output) {
    connectionOf(data).outputDone(output);
}

void onScale(void* data, wl_output* output, std::int32_t factor) {
    if (WaylandOutput* known = connectionOf(data).outputOf(output))
        known->scale = std::clamp(factor, 1, kMaxScale);
}

void onName(void* data, wl_output* output, const char* name) {
    if (WaylandOutput* known = connectionOf(data).outputOf(output))
        known->name = name ? name : "";
}

void onDescription(void*, wl_output*, const char*) {}

// wl_output 3 has the compositor forget the object too; before it, only the client can.
void releaseOutput(wl_output* output) {
    if (wl_output_get_version(output) >= 3)
        wl_output_release(output);
    else
        wl_output_destroy(output);
}

const wl_output_listener kOutputListener{onGeometry, onMode, onDone,
                                         onScale,    onName, onDescription};

void onCapabilities(void* data, wl_seat*, std::uint32_t capabilities) {
    connectionOf(data).seatChanged(capabilities);
}
void onSeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener{onCapabilities, onSeatName};

// What a compositor must offer, for the message when it does not.
std::string missingGlobals(const WaylandConnection& c) {
    std::string missing;
    auto note = [&](bool present, const char* name) {
        if (!present)
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    note(c.compositor(), "wl_compositor 4");
    note(c.shm(), "wl_shm");
    note(c.shell() || c.layerShell(), "zwlr_layer_shell_v1 or xdg_wm_base");
    return missing;
}

std::vector<std::string> ignoredGlobals() {
    std::vector<std::string> names;
    const char* listed = std::getenv(kIgnoreGlobalsVariable);
    std::istringstream in(listed ? listed : "");
    for (std::string name; std::getline(in, name, ',');)
        if (!name.empty())
            names.push_back(name);
    return names;
}

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::connect(std::string& error) {
    std::unique_ptr<WaylandConnection> c(new WaylandConnection());
    c->ignored_ = ignoredGlobals();
    // Read before connecting: libwayland unsets WAYLAND_SOCKET once it has taken the socket.
    const char* socket = std::getenv("WAYLAND_SOCKET");
    const char* name = std::getenv("WAYLAND_DISPLAY");
    std::string where = socket && *socket ? "WAYLAND_SOCKET=" : "'";
    where += socket && *socket ? socket : name ? name : "";
    where += socket && *socket ? "" : "'";
    c->display_ = wl_display_connect(nullptr);
    if (!c->display_) {
        error = "wl_display_connect: cannot reach the compositor at " + where + ": " +
                std::strerror(errno);
        return nullptr;
    }
    c->registry_ = wl_display_get_registry(c->display_);
    wl_registry_add_listener(c->registry_, &kRegistryListener, c.get());
    // The first round trip announces the globals; the second, the outputs' modes and scales.
    if (wl_display_roundtrip(c->display_) < 0 || wl_display_roundtrip(c->display_) < 0) {
        error = std::string("wl_display_roundtrip: ") + std::strerror(errno);
        return nullptr;
    }
    if (const std::string missing = missingGlobals(*c); !missing.empty()) {
        error = "the Wayland compositor does not offer " + missing;
        return nullptr;
    }
    return c;
}

WaylandConnection::~WaylandConnection() {
    for (const auto& output : outputs_)
        releaseOutput(output->output);
    if (seat_)
        wl_seat_destroy(seat_);
    if (shell_)
        xdg_wm_base_destroy(shell_);
    if (layerShell_) {
        if (zwlr_layer_shell_v1_get_version(layerShell_) >= 3)
            zwlr_layer_shell_v1_destroy(layerShell_);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layerShell_));
    }
    if (fractionalScale_)
        wp_fractional_scale_manager_v1_destroy(fractionalScale_);
    if (viewporter_)
        wp_viewporter_destroy(viewporter_);
    if (shm_)
        wl_shm_destroy(shm_);
    if (compositor_)
        wl_compositor_destroy(compositor_);
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_)
        wl_display_disconnect(display_);
}

void WaylandConnection::addGlobal(std::uint32_t name, const char* interface,
                                  std::uint32_t version) {
    auto bind = [&](const wl_interface* type, std::uint32_t highest) {
        return wl_registry_bind(registry_, name, type, std::min(version, highest));
    };
    const std::string_view what = interface;
    if (std::find(ignored_.begin(), ignored_.end(), what) != ignored_.end())
        return;
    if (what == wl_compositor_interface.name && version >= 4) {
        compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (what == wl_shm_interface.name) {
        shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (what == xdg_wm_base_interface.name) {
        shell_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(shell_, &kShellListener, this);
    } else if (what == zwlr_layer_shell_v1_interface.name && !layerShell_) {
        layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
    } else if (what == wp_viewporter_interface.name && !viewporter_) {
        viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (what == wp_fractional_scale_manager_v1_interface.name && !fractionalScale_) {
        fractionalScale_ = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
    } else if (what == wl_seat_interface.name && !seat_) {
        seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        wl_seat_add_listener(seat_, &kSeatListener, this);
    } else if (what == wl_output_interface.name && version >= 2) {
        auto output = std::make_unique<WaylandOutput>();
        output->globalName = name;
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
        wl_output_add_listener(output->output, &kOutputListener, this);
        outputs_.push_back(std::move(output));
    }
}

void WaylandConnection::removeGlobal(std::uint32_t name) {
    const auto gone = std::find_if(outputs_.begin(), outputs_.end(),
                                   [name](const auto& o) { return o->globalName == name; });
    if (gone == outputs_.end())
        return;
    releaseOutput((*gone)->output);
    outputs_.erase(gone);
}

void WaylandConnection::seatChanged(std::uint32_t capabilities) {
    seatCapabilities_ = capabilities;
    if (seatHook_)
        seatHook_(capabilities);
}

void WaylandConnection::outputDone(const wl_output* output) {
    if (WaylandOutput* known = outputOf(output))
        known->ready = true;
}

const WaylandOutput* WaylandConnection::outputNamed(std::uint32_t globalName) const {
    for (const auto& known : outputs_)
        if (known->globalName == globalName)
            return known.get();
    return nullptr;
}

WaylandOutput* WaylandConnection::outputOf(const wl_output* output) {
    for (const auto& known : outputs_)
        if (known->output == output)
            return known.get();
    return nullptr;
}

std::int32_t WaylandConnection::scaleOf(const wl_output* output) const {
    for (const auto& known : outputs_)
        if (known->output == output)
            return known->scale;
    return 1;
}

std::int32_t WaylandConnection::largestScale() const {
    std::int32_t largest = 1;
    for (const auto& known : outputs_)
        largest = std::max(largest, known->scale);
    return largest;
}

} // namespace zibbles::platform
