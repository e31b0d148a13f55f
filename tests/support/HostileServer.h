#pragma once

// An HTTP server on 127.0.0.1 written on raw sockets, for tests: it answers well, or misbehaves
// in ways a well-built server library never would (never answering, dripping bytes, closing or
// resetting in the middle, sending no HTTP at all, endless headers, a body far larger than any
// token). One thread per connection; every thread ends when its peer goes or the server does.
// Header-only.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/support/TlsCertificate.h"

namespace zibbles::testing {

enum class Misbehaviour {
    Answer,            // status, headers and the whole body, after `delay`
    NeverRead,         // accepts, reads nothing, holds the connection until the peer goes
    NeverAnswer,       // reads the request, then holds the connection until the peer goes
    Drip,              // the first `dripBytes` bytes of the answer one at a time, `delay` apart
    CloseAfterHeaders, // announces the body's length, then closes
    CloseMidBody,      // announces the body's length, sends half of it, then closes
    Reset,             // reads the request, then resets the connection (RST)
    NotHttp,           // sends `body` as it stands, with no status line or headers
    EndlessHeaders,    // a status line, then header lines until the peer goes
    HugeBody,          // `hugeBytes` of filler, with or without a Content-Length
};

struct Reply {
    Misbehaviour kind = Misbehaviour::Answer;
    int status = 200;
    std::string body;
    std::chrono::milliseconds delay{0};
    std::size_t dripBytes = 0;
    std::uint64_t hugeBytes = 0;
    bool announceLength = true; // HugeBody: with a Content-Length, or delimited by the close
};

// The JSON-RPC "id" of a request body as the saver writes it, or -1.
inline std::int64_t jsonRpcId(const std::string& body) {
    const auto at = body.find("\"id\":");
    if (at == std::string::npos)
        return -1;
    std::int64_t id = 0;
    std::size_t i = at + 5;
    if (i >= body.size() || body[i] < '0' || body[i] > '9')
        return -1;
    for (; i < body.size() && body[i] >= '0' && body[i] <= '9' && id < 1'000'000'000; ++i)
        id = id * 10 + (body[i] - '0');
    return id;
}

class HostileServer {
  public:
    // Decides what to do with one request: its body and its number (0 for the first). Asked
    // first with an empty body, before anything is read (so that NeverRead can read nothing),
    // then again with the body: it must be a pure function of the two.
    using Script = std::function<Reply(const std::string& requestBody, std::size_t index)>;

    HostileServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 256) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("HostileServer: cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    // Ends every connection (each thread notices within a few milliseconds) and waits for them.
    ~HostileServer() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR); // wakes accept()
        acceptor_.join();
        ::close(listener_);
        std::unique_lock lock(mutex_);
        allGone_.wait(lock, [this] { return open_ == 0; });
    }

    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    std::string url(const std::string& path = "/rpc") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Any thread. Applies to requests read from now on.
    void script(Script script) {
        std::lock_guard lock(mutex_);
        script_ = std::move(script);
    }

    std::size_t connectionCount() const { return accepted_.load(); }
    // The most connections that were open at the same moment.
    std::size_t mostOpenAtOnce() const {
        std::lock_guard lock(mutex_);
        return mostOpen_;
    }
    std::size_t openNow() const {
        std::lock_guard lock(mutex_);
        return open_;
    }
    // Bytes of bodies (HugeBody filler included) that send() accepted.
    std::uint64_t bodyBytesSent() const { return bodyBytesSent_.load(); }

  private:
    void acceptLoop() {
        while (!stopping_) {
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                if (stopping_)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const std::size_t index = accepted_++;
            {
                std::lock_guard lock(mutex_);
                mostOpen_ = std::max(mostOpen_, ++open_);
            }
            std::thread([this, connection, index] {
                serve(connection, index);
                ::close(connection);
                std::lock_guard lock(mutex_);
                if (--open_ == 0)
                    allGone_.notify_all();
            }).detach();
        }
    }

    // Waits up to `millis` for bytes or the peer's close. False once the server stops.
    bool waitReadable(int connection, int millis) const {
        pollfd fd{connection, POLLIN | POLLRDHUP, 0};
        for (int waited = 0; !stopping_ && waited < millis; waited += 20)
            if (::poll(&fd, 1, 20) > 0)
                return true;
        return false;
    }

    // True while the peer keeps the connection and the server runs.
    bool peerStays(int connection) const {
        pollfd fd{connection, POLLRDHUP, 0};
        return !stopping_ && !(::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLRDHUP | POLLHUP)));
    }

    // The request's body, once its head and Content-Length bytes have arrived; empty when the
    // peer gives up first.
    std::string readRequest(int connection) const {
        std::string bytes;
        std::size_t headEnd = std::string::npos, wanted = 0;
        char buffer[16384];
        while (bytes.size() < (1u << 20)) {
            if (headEnd == std::string::npos && (headEnd = bytes.find("\r\n\r\n")) != bytes.npos) {
                headEnd += 4;
                wanted = contentLength(bytes.substr(0, headEnd));
            }
            if (headEnd != std::string::npos && bytes.size() >= headEnd + wanted)
                return bytes.substr(headEnd, wanted);
            if (!waitReadable(connection, 5000))
                break;
            const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return {};
    }

    static std::size_t contentLength(const std::string& head) {
        std::string lower(head);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const auto at = lower.find("\r\ncontent-length:");
        return at == std::string::npos ? 0 : std::strtoull(lower.c_str() + at + 17, nullptr, 10);
    }

    // Sends everything, or stops when the peer or the server goes.
    bool sendAll(int connection, const char* data, std::size_t size) const {
        while (size > 0 && !stopping_) {
            pollfd fd{connection, POLLOUT, 0};
            if (::poll(&fd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::send(connection, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return size == 0;
    }
    bool sendAll(int connection, const std::string& text) const {
        return sendAll(connection, text.data(), text.size());
    }

    bool pause(std::chrono::milliseconds delay, int connection) const {
        const auto until = std::chrono::steady_clock::now() + delay;
        while (std::chrono::steady_clock::now() < until) {
            if (!peerStays(connection))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    static std::string head(int status, const std::string& extra) {
        return "HTTP/1.1 " + std::to_string(status) + " Hostile\r\nConnection: close\r\n" +
               "Content-Type: application/json\r\n" + extra + "\r\n";
    }
    static std::string lengthHeader(std::uint64_t length) {
        return "Content-Length: " + std::to_string(length) + "\r\n";
    }

    void serve(int connection, std::size_t index) {
        Script script;
        {
            std::lock_guard lock(mutex_);
            script = script_;
        }
        if (!script)
            return;
        // NeverRead must not read, so the script sees no body when it chooses it.
        Reply reply = script("", index);
        if (reply.kind != Misbehaviour::NeverRead) {
            const std::string body = readRequest(connection);
            reply = script(body, index);
        }
        act(connection, reply);
    }

    void act(int connection, const Reply& reply) {
        const std::string whole = head(reply.status, lengthHeader(reply.body.size())) + reply.body;
        switch (reply.kind) {
        case Misbehaviour::Answer:
            if (pause(reply.delay, connection) && sendAll(connection, whole))
                bodyBytesSent_ += reply.body.size();
            break;
        case Misbehaviour::NeverRead:
        case Misbehaviour::NeverAnswer:
            while (pause(std::chrono::milliseconds(20), connection)) {
            }
            break;
        case Misbehaviour::Drip:
            for (std::size_t i = 0; i < whole.size(); ++i) {
                if (i < reply.dripBytes && i > 0 && !pause(reply.delay, connection))
                    return;
                const std::size_t n = i < reply.dripBytes ? 1 : whole.size() - i;
                if (!sendAll(connection, whole.data() + i, n))
                    return;
                i += n - 1;
            }
            break;
        case Misbehaviour::CloseAfterHeaders:
            sendAll(connection, head(reply.status, lengthHeader(reply.body.size() + 1)));
            break;
        case Misbehaviour::CloseMidBody:
            sendAll(connection, whole.substr(0, whole.size() - reply.body.size() / 2));
            break;
        case Misbehaviour::Reset: {
            const linger abort{1, 0};
            ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            break;
        }
        case Misbehaviour::NotHttp:
            sendAll(connection, reply.body);
            break;
        case Misbehaviour::EndlessHeaders: {
            const std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
            if (!sendAll(connection, "HTTP/1.1 200 OK\r\n"))
                return;
            while (sendAll(connection, line)) {
            }
            break;
        }
        case Misbehaviour::HugeBody:
            sendHuge(connection, reply);
            break;
        }
    }

    void sendHuge(int connection, const Reply& reply) {
        const std::string extra = reply.announceLength ? lengthHeader(reply.hugeBytes) : "";
        if (!sendAll(connection, head(reply.status, extra)))
            return;
        const std::string chunk(64 * 1024, '7');
        for (std::uint64_t sent = 0; sent < reply.hugeBytes; sent += chunk.size()) {
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>(chunk.size(), reply.hugeBytes - sent));
            if (!sendAll(connection, chunk.data(), n))
                return;
            bodyBytesSent_ += n;
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> accepted_{0};
    std::atomic<std::uint64_t> bodyBytesSent_{0};
    mutable std::mutex mutex_;
    std::condition_variable allGone_;
    Script script_;
    std::size_t open_ = 0;
    std::size_t mostOpen_ = 0;
};

// The process's resident memory now (from /proc/self/statm) and at its peak so far (VmHWM in
// /proc/self/status), in bytes; 0 when they cannot be read.
inline std::uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}
inline std::uint64_t peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024u; // "VmHWM:  1234 kB"
    return 0;
}

} // namespace zibbles::testing
