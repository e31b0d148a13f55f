#pragma once

// How the idle launcher learns that the session went idle and that the user came back: one
// backend per thing a session may offer, each in a file named for it. The launcher sleeps on the
// source's descriptor and never polls; a source hears the session's own events, or, where the
// session has none (X11), wakes at the one moment idleness can first be reached.

#include <poll.h>

#include <memory>
#include <string>
#include <vector>

namespace zibbles::host {

enum class IdleChange {
    Idle,   // no input for the seconds asked
    Active, // input again after Idle
};

class IdleSource {
  public:
    virtual ~IdleSource() = default;

    // What to sleep on: the descriptor and the events to wait for. Sends what is queued first.
    virtual pollfd prepareToSleep() = 0;
    // Milliseconds after which dispatch must run even if the descriptor stays quiet; -1: never.
    virtual int timeoutMs() = 0;
    // After the sleep, with what the descriptor reported: appends what changed, in order.
    // False when the source is gone (error says why, for people).
    virtual bool dispatch(short revents, std::vector<IdleChange>& changes, std::string& error) = 0;
    // At the start, when the saver has ended, and before the saver starts again after a crash:
    // a source that cannot hear the user come back while the saver shows (X11) looks now; the
    // others hear it anyway.
    virtual void lookAgain(std::vector<IdleChange>& /*changes*/) {}
};

} // namespace zibbles::host
