#include "hosts/idle/IdleLauncher.h"

#include "hosts/common/ExitCodes.h"
#include "hosts/idle/IdleSourceChoice.h"
#include "hosts/idle/IdleSourceMutter.h"
#include "hosts/idle/IdleSourceWayland.h"
#include "hosts/idle/IdleSourceX11.h"
#include "hosts/idle/SaverChild.h"

#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>

namespace zibbles::host {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kProgram = "zibbles";
// A saver that crashed starts again no sooner than this after its last start.
constexpr auto kBetweenCrashedStarts = std::chrono::seconds(60);
// After SIGTERM the saver has this long to end before it is killed: the launcher and the saver
// must both be gone within a quarter of a second.
constexpr auto kSaverQuitGrace = milliseconds(200);

int fail(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n";
    return kExitFailed;
}

IdleOffers findOffers() {
    IdleOffers offers;
    offers.mutterIdleMonitor = mutterIdleMonitorOffered();
    const WaylandIdleOffers wayland = waylandIdleOffered();
    offers.waylandExtIdle = wayland.extIdle;
    offers.waylandKdeIdle = wayland.kdeIdle;
    const X11IdleOffers x11 = x11IdleOffered();
    offers.x11ScreenSaver = x11.screenSaverExtension;
    offers.xscreensaverDaemon = x11.xscreensaverDaemon;
    return offers;
}

std::unique_ptr<IdleSource> openSource(IdleSourceKind kind, std::uint64_t idleMs,
                                       std::string& error) {
    switch (kind) {
    case IdleSourceKind::MutterIdleMonitor:
        return openMutterIdleSource(idleMs, error);
    case IdleSourceKind::WaylandExtIdle:
        return openWaylandExtIdleSource(idleMs, error);
    case IdleSourceKind::WaylandKdeIdle:
        return openKdeIdleSource(idleMs, error);
    case IdleSourceKind::X11ScreenSaver:
        return openX11IdleSource(idleMs, error);
    }
    return nullptr;
}

int msUntil(Clock::time_point at) {
    const auto left = std::chrono::ceil<milliseconds>(at - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(0, left));
}

// The earlier of two poll timeouts, where -1 is "never".
int earlier(int a, int b) {
    return a < 0 ? b : b < 0 ? a : std::min(a, b);
}

class Launcher {
  public:
    Launcher(const IdleLauncherChoices& choices, IdleSource& source, int signals,
             const sigset_t& childMask)
        : choices_(choices), source_(source), signals_(signals), childMask_(childMask),
          saverArguments_(choices.saverArguments) {}

    int run() {
        std::vector<IdleChange> changes;
        source_.lookAgain(changes);
        for (;;) {
            for (IdleChange change : changes)
                idle_ = change == IdleChange::Idle;
            changes.clear();
            if (idle_ && saver_ < 0 && Clock::now() >= nextStartAllowed_)
                start();

            pollfd fds[2] = {{signals_, POLLIN, 0}, source_.prepareToSleep()};
            int timeout = source_.timeoutMs();
            const bool startWaits = idle_ && saver_ < 0 && Clock::now() < nextStartAllowed_;
            if (startWaits)
                timeout = earlier(timeout, msUntil(nextStartAllowed_));
            if (poll(fds, 2, timeout) < 0 && errno != EINTR)
                return fail(std::string("poll: ") + std::strerror(errno));
            if ((fds[0].revents & POLLIN) && readSignals(changes))
                return quit(kExitOk);
            std::string error;
            if (!source_.dispatch(fds[1].revents, changes, error))
                return quit(fail(error));
            if (startWaits && Clock::now() >= nextStartAllowed_)
                source_.lookAgain(changes); // still idle, after a crash?
        }
    }

  private:
    void start() {
        std::string error;
        saver_ = startSaver(choices_.saverPath, saverArguments_, childMask_, error);
        startedAt_ = Clock::now();
        if (saver_ < 0) {
            say(error + "; trying again in a minute");
            nextStartAllowed_ = startedAt_ + kBetweenCrashedStarts;
        }
    }

    // True on a quit signal. A child's end is handled here.
    bool readSignals(std::vector<IdleChange>& changes) {
        signalfd_siginfo info{};
        bool quitAsked = false;
        while (read(signals_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            quitAsked = quitAsked || info.ssi_signo != SIGCHLD;
        int status = 0;
        if (saver_ > 0 && waitpid(saver_, &status, WNOHANG) == saver_) {
            saver_ = -1;
            if (!quitAsked)
                saverEnded(status, changes);
        }
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        return quitAsked;
    }

    void saverEnded(int status, std::vector<IdleChange>& changes) {
        if (endedAsAsked(status)) {
            // Input ended it, and the source's word of that may come after the saver's end: the
            // next start waits for the source to say idle anew.
            idle_ = false;
            source_.lookAgain(changes);
            return;
        }
        source_.lookAgain(changes);
        const auto now = Clock::now();
        const auto ranFor = std::chrono::duration_cast<std::chrono::seconds>(now - startedAt_);
        nextStartAllowed_ = startedAt_ + kBetweenCrashedStarts;
        const std::string again = now >= nextStartAllowed_
                                      ? "it starts again now"
                                      : "it starts again in " +
                                            std::to_string(std::chrono::ceil<std::chrono::seconds>(
                                                               nextStartAllowed_ - now)
                                                               .count()) +
                                            " s if the session stays idle (at most once a minute)";
        say("the saver ended with " + describeEnd(status) + " after " +
            std::to_string(ranFor.count()) + " s; " + again);
    }

    int quit(int status) {
        if (saver_ <= 0)
            return status;
        kill(saver_, SIGTERM);
        const auto deadline = Clock::now() + kSaverQuitGrace;
        while (waitpid(saver_, nullptr, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                kill(saver_, SIGKILL);
                waitpid(saver_, nullptr, 0);
                break;
            }
            // SIGCHLD is blocked and read through the signal descriptor: sleep on it.
            pollfd fd{signals_, POLLIN, 0};
            poll(&fd, 1, msUntil(deadline));
            signalfd_siginfo info{};
            while (read(signals_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            }
        }
        saver_ = -1;
        return status;
    }

    void say(const std::string& line) const {
        if (choices_.statusLines)
            choices_.statusLines(line);
    }

    const IdleLauncherChoices& choices_;
    IdleSource& source_;
    int signals_;
    sigset_t childMask_;
    std::vector<std::string> saverArguments_;
    bool idle_ = false;
    pid_t saver_ = -1;
    Clock::time_point startedAt_{};
    Clock::time_point nextStartAllowed_{};
};

} // namespace

int runIdleLauncher(const IdleLauncherChoices& choices) {
    const IdleSourceChoice choice = chooseIdleSource(findOffers());
    if (choice.source != IdleSourceKind::X11ScreenSaver)
        releaseX11Probe();
    if (choice.daemonRuns)
        return fail("an XScreenSaver daemon already runs on this display and starts its own "
                    "hacks there; name zibbles in its programs: list instead of using --idle");
    if (!choice.source)
        return fail("this session offers no idle source: no org.gnome.Mutter.IdleMonitor on the "
                    "session bus, no ext_idle_notifier_v1 or org_kde_kwin_idle from a Wayland "
                    "compositor, no MIT-SCREEN-SAVER extension on an X display");
    const auto idleMs = static_cast<std::uint64_t>(std::llround(choices.idleSeconds * 1000.0));
    std::string error;
    const auto source = openSource(*choice.source, idleMs, error);
    if (!source)
        return fail(error);

    // Signals arrive through a descriptor the launcher sleeps on with its idle source; the saver
    // gets the mask back.
    sigset_t wanted, childMask;
    sigemptyset(&wanted);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&wanted, signal);
    sigprocmask(SIG_BLOCK, &wanted, &childMask);
    const int signals = signalfd(-1, &wanted, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0)
        return fail(std::string("signalfd: ") + std::strerror(errno));

    if (choices.statusLines) {
        std::ostringstream line;
        line << "the saver shows after " << choices.idleSeconds
             << " s without input (idle source: " << idleSourceName(*choice.source) << ")";
        choices.statusLines(line.str());
    }
    Launcher launcher(choices, *source, signals, childMask);
    const int status = launcher.run();
    close(signals);
    return status;
}

} // namespace zibbles::host
