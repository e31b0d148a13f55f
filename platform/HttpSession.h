#pragma once

// The URL session: data tasks over HTTP(S).
// Implemented features:
//  [X] A request with URL, method, headers, body, cache policy (default only) and a timeout
//      interval: a request that receives nothing for that long fails with TimedOut (-1001),
//      connecting included. Bytes arriving keep it alive.
//  [X] dataTask + resume + cancel. The completion runs exactly once per resumed task, off the
//      main thread (on the session's own thread), with the body bytes (possibly empty) and the
//      status, or an error. A cancelled task still completes, with Cancelled (-999).
//  [X] cancel() returns at once, is idempotent, and is safe from any thread, also after the task
//      completed.
//  [X] TLS peers and host names are always verified (system CA store; SSL_CERT_FILE honoured).
//  [X] A response body larger than maxBodyBytes (16 MiB) fails the task instead of exhausting
//      memory.
//  [X] Redirects: up to 10 are followed. 307 and 308 keep the method and the body; 301, 302 and
//      303 turn a POST into a GET without a body, as browsers do. An https request never follows
//      a redirect to http (AppTransportSecurityRequiresSecureConnection, -1022); a loop or an
//      eleventh redirect fails with HTTPTooManyRedirects (-1007).
//  [X] Compression: Accept-Encoding names what the installed libcurl decodes (gzip and deflate,
//      br and zstd where built in); bodies arrive decoded, and both caps count decoded bytes.
//  [X] HTTP/2 over TLS when the server offers it (ALPN), HTTP/1.1 otherwise; connections are
//      kept and reused between tasks.
//  [X] Proxies from the environment, read for each task as libcurl reads them: https_proxy
//      (or HTTPS_PROXY), http_proxy (lower case only) and no_proxy (or NO_PROXY).
//  [X] The response's status and header fields (of the last response, after any redirect);
//      header names compare without regard to case.
//  [ ] Caching, cookies, authentication, uploads by stream.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zibbles::platform {

class Trace;

// Error codes as the module knows them.
enum class HttpErrorCode : long {
    Cancelled = -999,
    TimedOut = -1001,
    BadURL = -1000,
    CannotFindHost = -1003,
    CannotConnect = -1004,
    NetworkConnectionLost = -1005,
    HTTPTooManyRedirects = -1007,
    AppTransportSecurityRequiresSecureConnection = -1022,
    SecureConnectionFailed = -1200,
    ServerCertificateUntrusted = -1202,
    ResponseTooLarge = -1103,
    Unknown = -1,
};

struct HttpError {
    long code = static_cast<long>(HttpErrorCode::Unknown);
    std::string detail; // for people: the transport's own words

    bool is(HttpErrorCode c) const { return code == static_cast<long>(c); }
};

struct HttpRequest {
    std::string url;
    std::string method = "GET";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int cachePolicy = 0;           // the protocol's default policy; the only one supported
    double timeoutInterval = 60.0; // seconds without receiving anything
    // Set by the caller for the trace only (the token id the request is for), or empty.
    std::string traceLabel;
};

struct HttpResponse {
    long statusCode = 0;
    // In the order received, names as the server wrote them (HTTP/2 writes them in lower case).
    std::vector<std::pair<std::string, std::string>> allHeaderFields{};

    // The first field of that name, whatever its case; absent when there is none.
    std::optional<std::string> valueForHTTPHeaderField(std::string_view name) const {
        for (const auto& [field, value] : allHeaderFields)
            if (field.size() == name.size() &&
                std::equal(field.begin(), field.end(), name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                }))
                return value;
        return std::nullopt;
    }
};

// body: the bytes received (possibly empty) when the transfer ended; nullopt after an error.
using HttpCompletion =
    std::function<void(std::optional<std::string> body, std::optional<HttpResponse> response,
                       std::optional<HttpError> error)>;

class DataTask {
  public:
    virtual ~DataTask() = default;
    // Any thread. Starts the transfer; a second call does nothing.
    virtual void resume() = 0;
    // Any thread. Idempotent; after completion it does nothing.
    virtual void cancel() = 0;
};

class HttpSession {
  public:
    static constexpr std::size_t maxBodyBytes = 16u * 1024u * 1024u;

    virtual ~HttpSession() = default;
    // Any thread. The task does nothing until resume().
    virtual std::shared_ptr<DataTask> dataTask(HttpRequest request, HttpCompletion completion) = 0;
};

// True when the text forms a URL a session can be asked for (a scheme, "://" and a host).
bool isValidURL(const std::string& text);

// Any thread. The shared session on this system's own HTTP stack (libcurl on Linux, WinHTTP on
// Windows); the trace, when given, hears every request. Each URL-session backend defines it.
std::shared_ptr<HttpSession> makeSystemSession(std::shared_ptr<Trace> trace = nullptr);

} // namespace zibbles::platform
