#include "hosts/saver/IdleSourceKdeIdle.h"

#include "hosts/saver/IdleSourceWayland.h"

#include "kde-idle-client-protocol.h"

#include <limits>

namespace zibbles::host {
namespace {

class KdeIdleSource final : public IdleSource {
  public:
    explicit KdeIdleSource(std::unique_ptr<WaylandIdleConnection> connection)
        : connection_(std::move(connection)) {}
    ~KdeIdleSource() override {
        if (timeout_)
            org_kde_kwin_idle_timeout_release(timeout_);
    }

    void start(std::uint32_t idleMs) {
        static const org_kde_kwin_idle_timeout_listener listener{
            [](void* self, org_kde_kwin_idle_timeout*) {
                static_cast<KdeIdleSource*>(self)->heard_.push_back(IdleChange::Idle);
            },
            [](void* self, org_kde_kwin_idle_timeout*) {
                static_cast<KdeIdleSource*>(self)->heard_.push_back(IdleChange::Active);
            }};
        timeout_ =
            org_kde_kwin_idle_get_idle_timeout(connection_->kdeIdle(), connection_->seat(), idleMs);
        org_kde_kwin_idle_timeout_add_listener(timeout_, &listener, this);
    }

    pollfd prepareToSleep() override { return connection_->prepareToSleep(); }
    // A change heard while preparing has been read already: the descriptor will not tell it.
    int timeoutMs() override { return heard_.empty() ? -1 : 0; }
    bool dispatch(short revents, std::vector<IdleChange>& changes, std::string& error) override {
        return connection_->dispatch(revents, heard_, changes, error);
    }

  private:
    std::unique_ptr<WaylandIdleConnection> connection_;
    org_kde_kwin_idle_timeout* timeout_ = nullptr;
    std::vector<IdleChange> heard_;
};

} // namespace

std::unique_ptr<IdleSource> openKdeIdleSource(std::uint64_t idleMs, std::string& error) {
    auto connection = WaylandIdleConnection::connect(error);
    if (!connection)
        return nullptr;
    if (!connection->seat() || !connection->kdeIdle()) {
        error = "the Wayland compositor offers no seat with org_kde_kwin_idle";
        return nullptr;
    }
    auto source = std::make_unique<KdeIdleSource>(std::move(connection));
    source->start(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(idleMs, std::numeric_limits<std::uint32_t>::max())));
    return source;
}

} // namespace zibbles::host
