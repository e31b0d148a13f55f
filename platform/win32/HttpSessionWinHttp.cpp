#include "platform/win32/HttpSessionWinHttp.h"

#include "platform/HttpSessionTrace.h"
#include "platform/win32/HttpWinHttpTransfer.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zibbles::platform {

namespace {

using TransferPtr = std::shared_ptr<WinHttpTransfer>;
// The WinHTTP session handle, closed once the session and every worker have let it go.
using SessionHandle = std::shared_ptr<void>;

constexpr auto longestWait = std::chrono::seconds(1);

TransferOutcome cancelled(std::string detail) {
    return {std::nullopt, std::nullopt,
            HttpError{static_cast<long>(HttpErrorCode::Cancelled), std::move(detail)}};
}

SessionHandle openSession() {
    // The automatic proxy (the user's settings, scripts and discovery included) is there from
    // Windows 8.1 on; before that, the default configuration is what netsh and the registry set.
    HINTERNET session = WinHttpOpen(L"Zibbles", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session)
        session = WinHttpOpen(L"Zibbles", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    if (session) {
        // Older systems offer TLS 1.2 only when asked; a system that refuses the flags keeps its
        // own defaults.
        DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
        if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                              sizeof protocols)) {
            protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
            WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                             sizeof protocols);
        }
    }
    return SessionHandle(session, [](void* handle) {
        if (handle)
            WinHttpCloseHandle(static_cast<HINTERNET>(handle));
    });
}

// The session thread and what it owns. Tasks and workers reach it weakly; the thread keeps it
// alive until it has ended.
class WinHttpSessionCore final : public std::enable_shared_from_this<WinHttpSessionCore> {
  public:
    explicit WinHttpSessionCore(std::shared_ptr<Trace> trace)
        : trace_(std::move(trace)), handle_(openSession()) {}

    void startThread() {
        thread_ = std::thread([self = shared_from_this()] { self->run(); });
    }

    // Any thread but the session's own, where it can only let the thread end by itself.
    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else if (thread_.joinable())
            thread_.join();
    }

    enum class Command { Start, Cancel, Finished };

    // Any thread. False once the session is shutting down.
    bool post(Command command, TransferPtr transfer, TransferOutcome outcome = {}) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return false;
            commands_.push_back({command, std::move(transfer), std::move(outcome)});
        }
        wake_.notify_all();
        return true;
    }

  private:
    struct Posted {
        Command command;
        TransferPtr transfer;
        TransferOutcome outcome;
    };

    void run();
    bool handleCommands();
    void start(const TransferPtr& transfer);
    void expireIdle();
    void finish(const TransferPtr& transfer, TransferOutcome outcome);
    std::chrono::steady_clock::time_point nextDeadline() const;
    void traceSent(const WinHttpTransfer& transfer);
    void traceFinished(const WinHttpTransfer& transfer, const TransferOutcome& outcome);

    std::shared_ptr<Trace> trace_;
    SessionHandle handle_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Posted> commands_; // guarded by mutex_
    bool stopping_ = false;       // guarded by mutex_
    // Session thread only.
    std::map<WinHttpTransfer*, TransferPtr> active_;
};

void WinHttpSessionCore::run() {
    while (handleCommands()) {
        expireIdle();
        std::unique_lock lock(mutex_);
        wake_.wait_until(lock, nextDeadline(), [this] { return stopping_ || !commands_.empty(); });
    }
    while (!active_.empty())
        finish(active_.begin()->second, cancelled("the session was destroyed"));
}

// False when the session is shutting down; what was posted to start before that is cancelled
// unsent.
bool WinHttpSessionCore::handleCommands() {
    std::deque<Posted> commands;
    bool stopping = false;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
        stopping = stopping_;
    }
    for (Posted& posted : commands) {
        const bool active = active_.count(posted.transfer.get()) > 0;
        switch (posted.command) {
        case Command::Start:
            if (stopping)
                posted.transfer->complete(cancelled("the session was destroyed"));
            else
                start(posted.transfer);
            break;
        case Command::Cancel:
            if (active)
                finish(posted.transfer, cancelled("cancelled"));
            break;
        case Command::Finished: // a transfer already cancelled or timed out is done with
            if (active)
                finish(posted.transfer, std::move(posted.outcome));
            break;
        }
    }
    return !stopping;
}

void WinHttpSessionCore::start(const TransferPtr& transfer) {
    if (transfer->cancelRequested) {
        transfer->complete(cancelled("cancelled"));
        return;
    }
    traceSent(*transfer);
    active_.emplace(transfer.get(), transfer);
    std::weak_ptr<WinHttpSessionCore> core = weak_from_this();
    std::thread([core, transfer, handle = handle_] {
        TransferOutcome outcome = handle ? transfer->perform(handle.get())
                                         : TransferOutcome{std::nullopt, std::nullopt,
                                                           HttpError{-1, "WinHttpOpen failed"}};
        if (const auto session = core.lock())
            session->post(Command::Finished, transfer, std::move(outcome));
    }).detach();
}

void WinHttpSessionCore::expireIdle() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<TransferPtr> expired;
    for (const auto& [key, transfer] : active_)
        if (transfer->idleDeadline() <= now)
            expired.push_back(transfer);
    for (const TransferPtr& transfer : expired)
        finish(transfer, {std::nullopt, std::nullopt,
                          HttpError{static_cast<long>(HttpErrorCode::TimedOut),
                                    "nothing received for the request's timeout interval"}});
}

// The worker may still be in a WinHTTP call: it is told to let go, and whatever it brings later
// is dropped.
void WinHttpSessionCore::finish(const TransferPtr& transfer, TransferOutcome outcome) {
    const TransferPtr keep = transfer;
    active_.erase(keep.get());
    if (outcome.error)
        keep->abandon();
    traceFinished(*keep, outcome);
    keep->complete(std::move(outcome));
}

std::chrono::steady_clock::time_point WinHttpSessionCore::nextDeadline() const {
    auto deadline = std::chrono::steady_clock::now() + longestWait;
    for (const auto& [key, transfer] : active_)
        deadline = std::min(deadline, transfer->idleDeadline());
    return deadline;
}

void WinHttpSessionCore::traceSent(const WinHttpTransfer& transfer) {
    traceRequestSent(trace_.get(), transfer.request());
}

void WinHttpSessionCore::traceFinished(const WinHttpTransfer& transfer,
                                       const TransferOutcome& outcome) {
    traceRequestFinished(trace_.get(), transfer.request(), outcome.error,
                         outcome.response ? outcome.response->statusCode : 0,
                         outcome.body ? outcome.body->size() : 0,
                         transfer.millisecondsSinceStart());
}

class WinHttpDataTask final : public DataTask {
  public:
    WinHttpDataTask(std::weak_ptr<WinHttpSessionCore> core, TransferPtr transfer)
        : core_(std::move(core)), transfer_(std::move(transfer)) {}

    void resume() override {
        if (transfer_->resumed.exchange(true))
            return;
        const auto core = core_.lock();
        if (!core || !core->post(WinHttpSessionCore::Command::Start, transfer_))
            transfer_->complete(cancelled("the session was destroyed"));
    }

    // A task not resumed yet only remembers the cancel; resume then completes it as cancelled.
    void cancel() override {
        if (transfer_->cancelRequested.exchange(true) || !transfer_->resumed)
            return;
        if (const auto core = core_.lock())
            core->post(WinHttpSessionCore::Command::Cancel, transfer_);
    }

  private:
    std::weak_ptr<WinHttpSessionCore> core_;
    TransferPtr transfer_;
};

class WinHttpSession final : public HttpSession {
  public:
    explicit WinHttpSession(std::shared_ptr<Trace> trace)
        : core_(std::make_shared<WinHttpSessionCore>(std::move(trace))) {
        core_->startThread();
    }
    ~WinHttpSession() override { core_->shutdown(); }

    std::shared_ptr<DataTask> dataTask(HttpRequest request, HttpCompletion completion) override {
        return std::make_shared<WinHttpDataTask>(
            core_, std::make_shared<WinHttpTransfer>(std::move(request), std::move(completion)));
    }

  private:
    std::shared_ptr<WinHttpSessionCore> core_;
};

} // namespace

std::shared_ptr<HttpSession> makeWinHttpSession(std::shared_ptr<Trace> trace) {
    return std::make_shared<WinHttpSession>(std::move(trace));
}

std::shared_ptr<HttpSession> makeSystemSession(std::shared_ptr<Trace> trace) {
    return makeWinHttpSession(std::move(trace));
}

} // namespace zibbles::platform
