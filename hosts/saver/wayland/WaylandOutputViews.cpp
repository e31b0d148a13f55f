#include "hosts/saver/wayland/WaylandOutputViews.h"

#include <algorithm>

namespace zibbles::host {

bool WaylandOutputViews::gone(const platform::WaylandWindow& window) const {
    return window.closed() || !connection_.outputNamed(window.outputName());
}

bool WaylandOutputViews::covered(std::uint32_t outputName,
                                 const std::vector<WaylandScreen>& screens) const {
    auto on = [outputName](const platform::WaylandWindow& w) {
        return w.outputName() == outputName;
    };
    return std::any_of(screens.begin(), screens.end(),
                       [&](const WaylandScreen& s) { return on(*s.window); }) ||
           std::any_of(opening_.begin(), opening_.end(), [&](const auto& w) { return on(*w); });
}

void WaylandOutputViews::trace(const char* event, std::uint32_t outputName) {
    if (const platform::WaylandOutput* output = connection_.outputNamed(outputName))
        names_[outputName] = output->name;
    if (trace_)
        trace_->record(event, "\"output\":" + platform::Trace::quote(names_[outputName]));
}

void WaylandOutputViews::opened(const std::vector<WaylandScreen>& screens) {
    for (const WaylandScreen& screen : screens)
        trace("view.opened", screen.window->outputName());
}

bool WaylandOutputViews::follow(std::vector<WaylandScreen>& screens) {
    // Gone first: a view is stopped before anything of it is released, as a host stops a view
    // before it lets it go.
    for (auto it = screens.begin(); it != screens.end();) {
        if (!gone(*it->window)) {
            ++it;
            continue;
        }
        trace("view.closed", it->window->outputName());
        it->view->stopAnimation();
        it = screens.erase(it);
    }
    std::erase_if(opening_, [this](const auto& window) { return gone(*window); });

    for (const auto& output : connection_.outputs())
        if (output->ready && !covered(output->globalName, screens))
            opening_.push_back(std::make_unique<platform::WaylandWindow>(
                connection_, platform::WaylandWindowRequest{role_, output.get()}));

    for (auto it = opening_.begin(); it != opening_.end();) {
        if (!(*it)->configured()) {
            ++it;
            continue;
        }
        const std::uint32_t outputName = (*it)->outputName();
        auto screen = make_(std::move(*it));
        it = opening_.erase(it);
        if (!screen)
            return false;
        screen->view->startAnimation();
        screens.push_back(std::move(*screen));
        trace("view.opened", outputName);
    }
    return true;
}

} // namespace zibbles::host
