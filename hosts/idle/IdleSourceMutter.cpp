#include "hosts/idle/IdleSourceMutter.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace zibbles::host {
namespace {

constexpr const char* kService = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* kInterface = "org.gnome.Mutter.IdleMonitor";
// A call at start-up that takes longer than this finds a session bus that does not serve.
constexpr std::uint64_t kCallTimeoutUs = 5'000'000;

std::string failure(const char* what, int code, const sd_bus_error* error = nullptr) {
    std::string text = std::string("the session bus: ") + what + ": ";
    if (error && error->message)
        return text + error->message;
    return text + std::strerror(-code);
}

sd_bus* openSessionBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0)
        return nullptr;
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    return bus;
}

class MutterIdleSource final : public IdleSource {
  public:
    explicit MutterIdleSource(sd_bus* bus) : bus_(bus) {}
    ~MutterIdleSource() override {
        sd_bus_slot_unref(activeCall_);
        sd_bus_slot_unref(signalSlot_);
        sd_bus_flush_close_unref(bus_);
    }

    bool start(std::uint64_t idleMs, std::string& error) {
        int code = sd_bus_match_signal(bus_, &signalSlot_, kService, kPath, kInterface,
                                       "WatchFired", &MutterIdleSource::onWatchFired, this);
        if (code < 0) {
            error = failure("cannot listen for WatchFired", code);
            return false;
        }
        sd_bus_error callError = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        code = sd_bus_call_method(bus_, kService, kPath, kInterface, "AddIdleWatch", &callError,
                                  &reply, "t", idleMs);
        if (code >= 0)
            code = sd_bus_message_read(reply, "u", &idleWatch_);
        sd_bus_message_unref(reply);
        if (code < 0)
            error = failure("AddIdleWatch", code, &callError);
        sd_bus_error_free(&callError);
        return code >= 0;
    }

    pollfd prepareToSleep() override {
        // sd-bus wants every queued message handled before its descriptor is waited on.
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        sd_bus_flush(bus_);
        const int events = sd_bus_get_events(bus_);
        return {sd_bus_get_fd(bus_), static_cast<short>(events < 0 ? POLLIN : events), 0};
    }

    int timeoutMs() override {
        // A change heard while preparing has been read already: the descriptor will not tell it.
        if (!heard_.empty())
            return 0;
        std::uint64_t at = 0;
        if (sd_bus_get_timeout(bus_, &at) < 0 || at == UINT64_MAX)
            return -1;
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const std::uint64_t nowUs = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
        return at <= nowUs ? 0 : static_cast<int>((at - nowUs + 999) / 1000);
    }

    bool dispatch(short, std::vector<IdleChange>& changes, std::string& error) override {
        int code;
        while ((code = sd_bus_process(bus_, nullptr)) > 0) {
        }
        changes.insert(changes.end(), heard_.begin(), heard_.end());
        heard_.clear();
        if (code < 0 || !error_.empty()) {
            error = error_.empty() ? failure("lost", code) : error_;
            return false;
        }
        return true;
    }

  private:
    static int onWatchFired(sd_bus_message* message, void* self, sd_bus_error*) {
        auto& source = *static_cast<MutterIdleSource*>(self);
        std::uint32_t watch = 0;
        if (sd_bus_message_read(message, "u", &watch) < 0)
            return 0;
        if (watch == source.idleWatch_)
            source.becameIdle();
        else if (watch != 0 && watch == source.activeWatch_) {
            source.activeWatch_ = 0;
            source.heard_.push_back(IdleChange::Active);
        }
        return 0;
    }

    void becameIdle() {
        heard_.push_back(IdleChange::Idle);
        if (activeWatch_ != 0 || activeCall_)
            return;
        // Mutter removes a user-active watch once it has fired: one is asked for each idle spell.
        const int code = sd_bus_call_method_async(bus_, &activeCall_, kService, kPath, kInterface,
                                                  "AddUserActiveWatch",
                                                  &MutterIdleSource::onActiveWatch, this, "");
        if (code < 0)
            error_ = failure("AddUserActiveWatch", code);
    }

    static int onActiveWatch(sd_bus_message* reply, void* self, sd_bus_error*) {
        auto& source = *static_cast<MutterIdleSource*>(self);
        source.activeCall_ = sd_bus_slot_unref(source.activeCall_);
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            source.error_ = std::string("the session bus: AddUserActiveWatch: ") +
                            (error->message ? error->message : "failed");
            return 0;
        }
        if (sd_bus_message_read(reply, "u", &source.activeWatch_) < 0)
            source.error_ = "the session bus: AddUserActiveWatch: an answer without a watch";
        return 0;
    }

    sd_bus* bus_;
    sd_bus_slot* signalSlot_ = nullptr;
    sd_bus_slot* activeCall_ = nullptr;
    std::uint32_t idleWatch_ = 0;
    std::uint32_t activeWatch_ = 0;
    std::vector<IdleChange> heard_;
    std::string error_;
};

} // namespace

bool mutterIdleMonitorOffered() {
    sd_bus* bus = openSessionBus();
    if (!bus)
        return false;
    sd_bus_message* reply = nullptr;
    int has = 0;
    const int code =
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s", kService);
    if (code >= 0 && sd_bus_message_read(reply, "b", &has) < 0)
        has = 0;
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return code >= 0 && has;
}

std::unique_ptr<IdleSource> openMutterIdleSource(std::uint64_t idleMs, std::string& error) {
    sd_bus* bus = openSessionBus();
    if (!bus) {
        error = "the session bus cannot be reached";
        return nullptr;
    }
    auto source = std::make_unique<MutterIdleSource>(bus);
    if (!source->start(idleMs, error))
        return nullptr;
    return source;
}

} // namespace zibbles::host
