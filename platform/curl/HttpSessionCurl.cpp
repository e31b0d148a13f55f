#include "platform/curl/HttpSessionCurl.h"

#include "platform/HttpSessionTrace.h"
#include "platform/curl/HttpCurlTransfer.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zibbles::platform {

namespace {

using TransferPtr = std::shared_ptr<CurlTransfer>;

constexpr int longestWaitMillis = 1000;
// Idle connections kept for reuse. curl's own default shrinks with the transfers under way, so
// a burst of fetches would lose a kept connection each time the last of them ends.
constexpr long keptConnections = 16;
// Room for one body at the cap and another half as big: far beyond any token, and small enough
// that a server answering every request in flight with a huge body cannot pile them up.
constexpr std::size_t bodyBudgetBytes = HttpSession::maxBodyBytes * 3 / 2;

HttpError cancelledError(std::string detail) {
    return HttpError{static_cast<long>(HttpErrorCode::Cancelled), std::move(detail)};
}

CurlSettings settingsFromEnvironment() {
    const char* caFile = std::getenv("SSL_CERT_FILE");
    return CurlSettings{caFile ? caFile : ""};
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The multi handle and the thread that drives it. Tasks reach it weakly; the thread keeps it
// alive until it has ended.
class CurlSessionCore final : public std::enable_shared_from_this<CurlSessionCore> {
  public:
    explicit CurlSessionCore(std::shared_ptr<Trace> trace)
        : trace_(std::move(trace)), settings_(settingsFromEnvironment()),
          multi_(curl_multi_init()) {
        curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, keptConnections);
    }
    ~CurlSessionCore() { curl_multi_cleanup(multi_); }

    void startThread() {
        thread_ = std::thread([self = shared_from_this()] { self->run(); });
    }

    // Any thread but the session's own, where it can only let the thread end by itself.
    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        curl_multi_wakeup(multi_);
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else if (thread_.joinable())
            thread_.join();
    }

    enum class Command { Start, Cancel };

    // Any thread. False once the session is shutting down.
    bool post(Command command, TransferPtr transfer) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return false;
            commands_.push_back({command, std::move(transfer)});
        }
        curl_multi_wakeup(multi_);
        return true;
    }

  private:
    struct Posted {
        Command command;
        TransferPtr transfer;
    };

    void run();
    bool handleCommands();
    void start(const TransferPtr& transfer);
    void cancel(const TransferPtr& transfer);
    void collectFinished();
    void expireIdle();
    void finish(const TransferPtr& transfer, std::optional<HttpError> error);
    void traceSent(const CurlTransfer& transfer);
    void traceFinished(const CurlTransfer& transfer, const std::optional<HttpError>& error,
                       long status, std::size_t bytes);
    int waitMillis() const;

    std::shared_ptr<Trace> trace_;
    const CurlSettings settings_;
    CURLM* multi_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Posted> commands_; // guarded by mutex_
    bool stopping_ = false;        // guarded by mutex_
    // Session thread only.
    std::map<CURL*, TransferPtr> active_;
    BodyBudget budget_{bodyBudgetBytes, 0};
};

void CurlSessionCore::run() {
    while (handleCommands()) {
        int running = 0;
        curl_multi_perform(multi_, &running);
        collectFinished();
        expireIdle();
        curl_multi_poll(multi_, nullptr, 0, waitMillis(), nullptr);
    }
    while (!active_.empty())
        finish(active_.begin()->second, cancelledError("the session was destroyed"));
}

// False when the session is shutting down; what was posted before that is cancelled unsent.
bool CurlSessionCore::handleCommands() {
    std::vector<Posted> commands;
    bool stopping = false;
    {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
        stopping = stopping_;
    }
    for (const Posted& posted : commands) {
        if (posted.command == Command::Cancel)
            cancel(posted.transfer);
        else if (stopping)
            posted.transfer->complete(std::nullopt, std::nullopt,
                                      cancelledError("the session was destroyed"));
        else
            start(posted.transfer);
    }
    return !stopping;
}

void CurlSessionCore::start(const TransferPtr& transfer) {
    if (transfer->cancelRequested) {
        transfer->complete(std::nullopt, std::nullopt, cancelledError("cancelled"));
        return;
    }
    if (auto error = transfer->prepare(settings_, budget_)) {
        traceFinished(*transfer, error, 0, 0);
        transfer->complete(std::nullopt, std::nullopt, std::move(error));
        return;
    }
    traceSent(*transfer);
    active_.emplace(transfer->handle(), transfer);
    curl_multi_add_handle(multi_, transfer->handle());
}

void CurlSessionCore::cancel(const TransferPtr& transfer) {
    if (transfer->handle() && active_.count(transfer->handle()))
        finish(transfer, cancelledError("cancelled"));
}

void CurlSessionCore::collectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        const auto found = active_.find(message->easy_handle);
        if (found == active_.end())
            continue;
        const TransferPtr transfer = found->second;
        finish(transfer, transfer->errorFor(message->data.result));
    }
}

void CurlSessionCore::expireIdle() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<TransferPtr> expired;
    for (const auto& [handle, transfer] : active_) {
        transfer->noticeBytesOnTheSocket();
        if (transfer->idleDeadline() <= now)
            expired.push_back(transfer);
    }
    for (const TransferPtr& transfer : expired)
        finish(transfer, HttpError{static_cast<long>(HttpErrorCode::TimedOut),
                                   "nothing received for the request's timeout interval"});
}

// Takes the transfer out of the multi handle first, so the completion may drop the last
// reference to it.
void CurlSessionCore::finish(const TransferPtr& transfer, std::optional<HttpError> error) {
    const TransferPtr keep = transfer;
    curl_multi_remove_handle(multi_, keep->handle());
    active_.erase(keep->handle());
    const long status = keep->statusCode();
    std::string body = keep->takeBody();
    traceFinished(*keep, error, status, body.size());
    if (error)
        keep->complete(std::nullopt, std::nullopt, std::move(error));
    else
        keep->complete(std::move(body), HttpResponse{status, keep->headerFields()}, std::nullopt);
}

int CurlSessionCore::waitMillis() const {
    int wait = longestWaitMillis;
    const auto now = std::chrono::steady_clock::now();
    for (const auto& [handle, transfer] : active_) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(transfer->idleDeadline() - now);
        wait = std::min(wait, static_cast<int>(std::max<long long>(left.count(), 0)));
    }
    return wait;
}

void CurlSessionCore::traceSent(const CurlTransfer& transfer) {
    traceRequestSent(trace_.get(), transfer.request());
}

void CurlSessionCore::traceFinished(const CurlTransfer& transfer,
                                    const std::optional<HttpError>& error, long status,
                                    std::size_t bytes) {
    traceRequestFinished(trace_.get(), transfer.request(), error, status, bytes,
                         transfer.millisecondsSinceStart());
}

class CurlDataTask final : public DataTask {
  public:
    CurlDataTask(std::weak_ptr<CurlSessionCore> core, TransferPtr transfer)
        : core_(std::move(core)), transfer_(std::move(transfer)) {}

    void resume() override {
        if (transfer_->resumed.exchange(true))
            return;
        const auto core = core_.lock();
        if (!core || !core->post(CurlSessionCore::Command::Start, transfer_))
            transfer_->complete(std::nullopt, std::nullopt,
                                cancelledError("the session was destroyed"));
    }

    // A task not resumed yet only remembers the cancel; resume then completes it as cancelled.
    void cancel() override {
        if (transfer_->cancelRequested.exchange(true) || !transfer_->resumed)
            return;
        if (const auto core = core_.lock())
            core->post(CurlSessionCore::Command::Cancel, transfer_);
    }

  private:
    std::weak_ptr<CurlSessionCore> core_;
    TransferPtr transfer_;
};

class CurlSession final : public HttpSession {
  public:
    explicit CurlSession(std::shared_ptr<Trace> trace)
        : core_(std::make_shared<CurlSessionCore>(std::move(trace))) {
        core_->startThread();
    }
    ~CurlSession() override { core_->shutdown(); }

    std::shared_ptr<DataTask> dataTask(HttpRequest request, HttpCompletion completion) override {
        return std::make_shared<CurlDataTask>(
            core_, std::make_shared<CurlTransfer>(std::move(request), std::move(completion)));
    }

  private:
    std::shared_ptr<CurlSessionCore> core_;
};

} // namespace

std::shared_ptr<HttpSession> makeCurlSession(std::shared_ptr<Trace> trace) {
    initialiseOnce();
    return std::make_shared<CurlSession>(std::move(trace));
}

std::shared_ptr<HttpSession> makeSystemSession(std::shared_ptr<Trace> trace) {
    return makeCurlSession(std::move(trace));
}

} // namespace zibbles::platform
