#include "hosts/saver/IdleSourceWaylandExt.h"

#include "hosts/saver/IdleSourceWayland.h"

#include "ext-idle-notify-v1-client-protocol.h"

#include <limits>

namespace zibbles::host {
namespace {

class WaylandExtIdleSource final : public IdleSource {
  public:
    explicit WaylandExtIdleSource(std::unique_ptr<WaylandIdleConnection> connection)
        : connection_(std::move(connection)) {}
    ~WaylandExtIdleSource() override {
        if (notification_)
            ext_idle_notification_v1_destroy(notification_);
    }

    void start(std::uint32_t idleMs) {
        static const ext_idle_notification_v1_listener listener{
            [](void* self, ext_idle_notification_v1*) {
                static_cast<WaylandExtIdleSource*>(self)->heard_.push_back(IdleChange::Idle);
            },
            [](void* self, ext_idle_notification_v1*) {
                static_cast<WaylandExtIdleSource*>(self)->heard_.push_back(IdleChange::Active);
            }};
        notification_ = ext_idle_notifier_v1_get_idle_notification(connection_->extIdle(), idleMs,
                                                                   connection_->seat());
        ext_idle_notification_v1_add_listener(notification_, &listener, this);
    }

    pollfd prepareToSleep() override { return connection_->prepareToSleep(); }
    // A change heard while preparing has been read already: the descriptor will not tell it.
    int timeoutMs() override { return heard_.empty() ? -1 : 0; }
    bool dispatch(short revents, std::vector<IdleChange>& changes, std::string& error) override {
        return connection_->dispatch(revents, heard_, changes, error);
    }

  private:
    std::unique_ptr<WaylandIdleConnection> connection_;
    ext_idle_notification_v1* notification_ = nullptr;
    std::vector<IdleChange> heard_;
};

} // namespace

std::unique_ptr<IdleSource> openWaylandExtIdleSource(std::uint64_t idleMs, std::string& error) {
    auto connection = WaylandIdleConnection::connect(error);
    if (!connection)
        return nullptr;
    if (!connection->seat() || !connection->extIdle()) {
        error = "the Wayland compositor offers no seat with ext_idle_notifier_v1";
        return nullptr;
    }
    auto source = std::make_unique<WaylandExtIdleSource>(std::move(connection));
    source->start(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(idleMs, std::numeric_limits<std::uint32_t>::max())));
    return source;
}

} // namespace zibbles::host
