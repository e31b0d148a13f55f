#pragma once

// One full-screen view per output while outputs come and go: an output that appears gets a
// surface of its own and, once the compositor has configured it, a started view at its size and
// scale; an output that goes away (its global removed, or its layer surface closed) has its view
// stopped (the fetches in flight cancelled) and torn down with its layers, surface and buffers.
// Views are traced as "view.opened" and "view.closed" {output}.

#include "hosts/saver/wayland/WaylandLoop.h"
#include "platform/Trace.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandWindow.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace zibbles::host {

// Main thread only.
class WaylandOutputViews {
  public:
    // A view for a configured window, not yet started; nothing (said on stderr) when it cannot
    // be made.
    using MakeScreen =
        std::function<std::optional<WaylandScreen>(std::unique_ptr<platform::WaylandWindow>)>;
    WaylandOutputViews(platform::WaylandConnection& connection, platform::WaylandSurfaceRole role,
                       MakeScreen make, platform::Trace* trace)
        : connection_(connection), role_(role), make_(std::move(make)), trace_(trace) {}

    // Brings screens in line with the outputs. False when a new output's view cannot be made.
    bool follow(std::vector<WaylandScreen>& screens);
    // Traces the views made before the loop started.
    void opened(const std::vector<WaylandScreen>& screens);

  private:
    bool covered(std::uint32_t outputName, const std::vector<WaylandScreen>& screens) const;
    bool gone(const platform::WaylandWindow& window) const;
    void trace(const char* event, std::uint32_t outputName);

    platform::WaylandConnection& connection_;
    platform::WaylandSurfaceRole role_;
    MakeScreen make_;
    platform::Trace* trace_;
    std::vector<std::unique_ptr<platform::WaylandWindow>> opening_; // awaiting their configure
    std::map<std::uint32_t, std::string> names_; // by registry name: a gone output's is kept
};

} // namespace zibbles::host
