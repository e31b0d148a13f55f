#pragma once

// One transfer of the curl session: the request, its easy handle, what has arrived so far, and the
// completion it owes. Everything but the two flags and complete() belongs to the session thread.

#include "platform/HttpSession.h"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zibbles::platform {

using SteadyTime = std::chrono::steady_clock::time_point;

// What every transfer of one session shares, read once when the session is made.
struct CurlSettings {
    std::string caFile; // SSL_CERT_FILE, or empty for the system store
};

// The bytes of body buffers that every transfer of one session holds at once, and the most it
// may. A hostile server answering every request with a huge body would otherwise hold the
// per-body cap once per request in flight. What counts is what is allocated, not what is used:
// a buffer grown by doubling holds up to twice its bytes. Session thread only.
struct BodyBudget {
    std::size_t limit = 0;
    std::size_t held = 0;
};

class CurlTransfer {
  public:
    CurlTransfer(HttpRequest request, HttpCompletion completion);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Session thread. Makes and configures the easy handle and starts the idle clock; an error
    // when the request cannot be sent at all.
    std::optional<HttpError> prepare(const CurlSettings& settings, BodyBudget& budget);
    CURL* handle() const { return easy_; }
    const HttpRequest& request() const { return request_; }
    std::size_t bytesReceived() const { return body_.size(); }
    double millisecondsSinceStart() const;

    // Session thread. When it will have received nothing for its timeout interval.
    SteadyTime idleDeadline() const;

    // Session thread. The error for a transfer that curl ended with result, or none when the
    // body arrived whole. The HTTP status is not an error.
    std::optional<HttpError> errorFor(CURLcode result) const;
    // Session thread. The status of the answer, 0 when none came.
    long statusCode() const;
    // Session thread. The header fields of the last response, in the order received.
    std::vector<std::pair<std::string, std::string>> headerFields() const;
    // Session thread. Hands the body over; the transfer keeps none, and gives its share of the
    // session's budget back.
    std::string takeBody();
    // Session thread. Bytes that reached the connection's socket count as activity too, also
    // those curl cannot hand over yet (a status or header line that is still incomplete).
    void noticeBytesOnTheSocket();

    // Any thread. Runs the completion the first time only, then lets it go.
    void complete(std::optional<std::string> body, std::optional<HttpResponse> response,
                  std::optional<HttpError> error);

    std::atomic<bool> resumed{false};
    std::atomic<bool> cancelRequested{false};

  private:
    std::optional<HttpError> configureMethodAndBody();
    std::optional<HttpError> configureHeaders();
    void configureRedirects();
    void configureTransport();
    void configureSecurity(const CurlSettings& settings);
    bool isHttps() const;
    long redirectCount() const;
    void configureCallbacks();
    bool makeRoomFor(std::size_t bytes);
    void touch() { lastActivity_ = std::chrono::steady_clock::now(); }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent);
    static int onSocket(void* self, curl_socket_t socket, curlsocktype purpose);

    HttpRequest request_;
    HttpCompletion completion_;
    std::atomic<bool> completed_{false};
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    char errorText_[CURL_ERROR_SIZE] = {};
    std::string body_;
    std::size_t bodyCharged_ = 0; // of the budget, for body_'s buffer
    bool bodyTooLarge_ = false;
    bool overBudget_ = false;
    BodyBudget* budget_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD; // of a connection this transfer opened
    std::uint64_t socketBytes_ = 0;
    curl_off_t bytesSent_ = 0;
    curl_off_t wireBytesReceived_ = 0; // as they came, before decoding
    double timeoutSeconds_ = 60.0;
    SteadyTime started_{};
    SteadyTime lastActivity_{};
};

} // namespace zibbles::platform
