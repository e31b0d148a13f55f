#pragma once

// A real HTTP server on 127.0.0.1 for tests: one scriptable handler for every method and path, a
// record of what arrived, and handlers that stall until released. Header-only.

#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
// cpp-httplib comes as a compiled library without ThreadSanitizer instrumentation. Its
// function-local static regular expressions are published through a guard the sanitizer cannot
// see, which it reports as a race between two of the server's workers. Only reports with a frame
// in that library are silenced. Weak, so that a program with several sources including this
// header still links.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n";
}
#endif

namespace zibbles::testing {

struct ReceivedRequest {
    std::string method;
    std::string path;
    httplib::Headers headers; // names compare without regard to case
    std::string body;
    int remotePort = 0; // the client's end of the connection: one port, one connection

    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

class LoopbackServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // host: a loopback address to listen on, "127.0.0.1" or "::1". Throws when it cannot bind.
    explicit LoopbackServer(std::string host = "127.0.0.1") : host_(std::move(host)) {
        // Enough workers that many stalled handlers never keep a new request waiting.
        server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
        server_.set_keep_alive_timeout(1);
        // A client that keeps its connections may use one for every request of a test.
        server_.set_keep_alive_max_count(1000);
        const auto route = [this](const httplib::Request& request, httplib::Response& response) {
            serve(request, response);
        };
        server_.Get(".*", route);
        server_.Post(".*", route);
        server_.Put(".*", route);
        server_.Delete(".*", route);
        server_.Patch(".*", route);
        port_ = server_.bind_to_any_port(host_);
        if (port_ <= 0)
            throw std::runtime_error("LoopbackServer: cannot bind " + host_);
        // The socket already listens: connections made before the loop runs simply queue.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() does nothing before the loop runs, so a quick test could leave it waiting.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!server_.is_running() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~LoopbackServer() {
        release();
        server_.stop();
        thread_.join();
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path = "/") const {
        const bool v6 = host_.find(':') != std::string::npos;
        return "http://" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_) + path;
    }

    // Any thread. Replaces the handler for requests that arrive from now on. The default answers
    // 404 with an empty body.
    void handle(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }

    // Handler threads. Blocks until release() or the server goes, at most bound.
    void stall(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        ++stalled_;
        wake_.notify_all();
        wake_.wait_for(lock, bound, [this] { return released_; });
        --stalled_;
    }
    // Any thread. Ends every stall, now and later.
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        wake_.notify_all();
    }
    // Any thread. Waits until count handlers are stalled at once, at most bound.
    bool waitForStalled(int count, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, bound, [&] { return stalled_ >= count; });
    }

    std::vector<ReceivedRequest> requests() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::size_t requestCount() const {
        std::lock_guard lock(mutex_);
        return received_.size();
    }

  private:
    void serve(const httplib::Request& request, httplib::Response& response) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            received_.push_back(
                {request.method, request.path, request.headers, request.body, request.remote_port});
            handler = handler_;
            wake_.notify_all();
        }
        // The server library compresses text on its own when asked, holding back what a handler
        // streams slowly until its compressor is full; a handler that wants an encoding sets
        // Content-Encoding and encodes itself. The request is the library's own, not const.
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        if (handler)
            handler(request, response);
        else
            response.status = 404;
    }

    std::string host_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Handler handler_;
    std::vector<ReceivedRequest> received_;
    int stalled_ = 0;
    bool released_ = false;
};

// A loopback port that refuses connections for as long as this lives: bound, never listening.
class RefusingPort {
  public:
    RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("RefusingPort: cannot bind 127.0.0.1");
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(socket_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    int socket_;
    int port_ = 0;
};

} // namespace zibbles::testing
