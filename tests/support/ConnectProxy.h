#pragma once

// A forward proxy on 127.0.0.1 for tests, counting what passes through it: CONNECT opens a
// tunnel to the named loopback port and relays bytes both ways; any other request (a plain
// http:// URL asked of the proxy) is answered by the proxy itself with the body "via proxy".
// Header-only.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zibbles::testing {

class ConnectProxy {
  public:
    ConnectProxy() : listener_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) ||
            ::listen(listener_, 16) ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length))
            throw std::runtime_error("ConnectProxy: cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~ConnectProxy() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        for (std::thread& relay : relays_)
            relay.join();
        ::close(listener_);
    }
    ConnectProxy(const ConnectProxy&) = delete;
    ConnectProxy& operator=(const ConnectProxy&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int tunnels() const { return tunnels_; }
    int forwarded() const { return forwarded_; }

  private:
    void acceptLoop() {
        while (!stopping_) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0)
                return;
            relays_.emplace_back([this, client] {
                serve(client);
                ::close(client);
            });
        }
    }

    // The request head, up to the blank line, read a byte at a time: a client sends more only
    // once the tunnel is answered. Gives up when the proxy goes.
    std::string readHead(int socket) const {
        std::string head;
        char byte = 0;
        pollfd readable{socket, POLLIN, 0};
        while (!stopping_ && head.size() < 8192 && head.find("\r\n\r\n") == std::string::npos) {
            if (::poll(&readable, 1, 100) <= 0)
                continue;
            if (::recv(socket, &byte, 1, 0) != 1)
                break;
            head += byte;
        }
        return head;
    }

    static void sendAll(int socket, const std::string& text) {
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t n = ::send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<std::size_t>(n);
        }
    }

    void serve(int client) {
        const std::string head = readHead(client);
        if (head.find("\r\n\r\n") == std::string::npos)
            return;
        if (head.rfind("CONNECT ", 0) != 0) {
            ++forwarded_;
            sendAll(client, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\n"
                            "via proxy");
            return;
        }
        // "CONNECT host:port HTTP/1.1": only loopback targets, whatever the name says.
        const auto colon = head.find(':', 8);
        const int port = colon == std::string::npos ? 0 : std::atoi(head.c_str() + colon + 1);
        const int target = connectToLoopback(port);
        if (target < 0) {
            sendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        ++tunnels_;
        sendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n");
        relay(client, target);
        ::close(target);
    }

    static int connectToLoopback(int port) {
        const int target = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (target >= 0 && port > 0 &&
            ::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return target;
        if (target >= 0)
            ::close(target);
        return -1;
    }

    // Bytes both ways until either side closes or the proxy goes.
    void relay(int a, int b) {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        char buffer[16384];
        while (!stopping_) {
            if (::poll(fds, 2, 100) < 0)
                return;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    return;
                sendAll(fds[1 - i].fd, std::string(buffer, static_cast<std::size_t>(n)));
            }
        }
    }

    int listener_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> tunnels_{0};
    std::atomic<int> forwarded_{0};
    std::thread acceptor_;
    std::vector<std::thread> relays_; // the acceptor's own until it has ended
};

} // namespace zibbles::testing
