#include "platform/curl/HttpCurlTransfer.h"

#include "platform/HttpRequestRules.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstddef>

namespace zibbles::platform {

namespace {

constexpr double defaultTimeoutSeconds = 60.0;
constexpr long maxRedirects = 10;
// A token's answer is a few tens of KB; the first buffer holds most of them whole.
constexpr std::size_t firstBodyBufferBytes = 64u * 1024u;

HttpError errorOf(HttpErrorCode code, std::string detail) {
    return HttpError{static_cast<long>(code), std::move(detail)};
}

HttpErrorCode codeForCurl(CURLcode result) {
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
        return HttpErrorCode::TimedOut;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return HttpErrorCode::BadURL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        return HttpErrorCode::CannotFindHost;
    case CURLE_COULDNT_CONNECT:
        return HttpErrorCode::CannotConnect;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
        return HttpErrorCode::ServerCertificateUntrusted;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return HttpErrorCode::NetworkConnectionLost;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
        return HttpErrorCode::SecureConnectionFailed;
    case CURLE_FILESIZE_EXCEEDED:
        return HttpErrorCode::ResponseTooLarge;
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpErrorCode::HTTPTooManyRedirects;
    default:
        return HttpErrorCode::Unknown;
    }
}

} // namespace

CurlTransfer::CurlTransfer(HttpRequest request, HttpCompletion completion)
    : request_(std::move(request)), completion_(std::move(completion)) {
    const double t = request_.timeoutInterval;
    // As the platform this imitates does, a timeout that is not a positive number means the
    // default rather than "never".
    timeoutSeconds_ = std::isfinite(t) && t > 0.0 ? t : defaultTimeoutSeconds;
}

CurlTransfer::~CurlTransfer() {
    if (easy_)
        curl_easy_cleanup(easy_);
    curl_slist_free_all(headers_);
}

std::optional<HttpError> CurlTransfer::prepare(const CurlSettings& settings, BodyBudget& budget) {
    budget_ = &budget;
    started_ = std::chrono::steady_clock::now();
    lastActivity_ = started_;
    if (request_.url.find('\0') != std::string::npos || !isValidURL(request_.url))
        return errorOf(HttpErrorCode::BadURL, "not a URL: " + request_.url);
    easy_ = curl_easy_init();
    if (!easy_)
        return errorOf(HttpErrorCode::Unknown, "curl_easy_init failed");
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    if (curl_easy_setopt(easy_, CURLOPT_URL, request_.url.c_str()) != CURLE_OK)
        return errorOf(HttpErrorCode::BadURL, "not a URL: " + request_.url);
    configureRedirects();
    configureTransport();
    const auto connectMillis = static_cast<long>(std::ceil(timeoutSeconds_ * 1000.0));
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, std::max(connectMillis, 1L));
    curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(HttpSession::maxBodyBytes));
    configureSecurity(settings);
    configureCallbacks();
    if (auto error = configureMethodAndBody())
        return error;
    return configureHeaders();
}

void CurlTransfer::configureRedirects() {
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, maxRedirects);
    // No flag kept: on 301, 302 and 303 a POST goes on as a GET without its body, as it does in
    // browsers and the platform's own session; 307 and 308 keep both.
    curl_easy_setopt(easy_, CURLOPT_POSTREDIR, 0L);
    // What went out encrypted must never be sent on in the clear.
    curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, isHttps() ? "https" : "http,https");
}

void CurlTransfer::configureTransport() {
    // An empty list means every encoding this libcurl decodes; the body arrives decoded.
    curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
}

bool CurlTransfer::isHttps() const {
    return isHttpsURL(request_.url);
}

void CurlTransfer::configureSecurity(const CurlSettings& settings) {
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings.caFile.empty())
        curl_easy_setopt(easy_, CURLOPT_CAINFO, settings.caFile.c_str());
}

void CurlTransfer::configureCallbacks() {
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::onProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_SOCKOPTFUNCTION, &CurlTransfer::onSocket);
    curl_easy_setopt(easy_, CURLOPT_SOCKOPTDATA, this);
}

std::optional<HttpError> CurlTransfer::configureMethodAndBody() {
    const std::string& method = request_.method;
    if (!isHttpToken(method))
        return errorOf(HttpErrorCode::Unknown, "not an HTTP method: " + method);
    if (method == "HEAD") {
        curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    } else if (method == "POST" || !request_.body.empty()) {
        // The request outlives the transfer's use of these bytes, so curl need not copy them.
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, request_.body.data());
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request_.body.size()));
    }
    // A body would make curl say POST; any other verb, or a GET with a body, is named outright.
    const bool curlNamesIt =
        method == "POST" || method == "HEAD" || (method == "GET" && request_.body.empty());
    if (!curlNamesIt)
        curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, method.c_str());
    return std::nullopt;
}

std::optional<HttpError> CurlTransfer::configureHeaders() {
    for (const auto& [name, value] : request_.headers) {
        if (!isHttpToken(name) || isUnsafeInHeader(value))
            return errorOf(HttpErrorCode::Unknown, "unsafe header: " + name);
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers_ = curl_slist_append(headers_, line.c_str());
    }
    // Waiting for "100 Continue" would only delay a small body.
    headers_ = curl_slist_append(headers_, "Expect:");
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
    return std::nullopt;
}

double CurlTransfer::millisecondsSinceStart() const {
    const auto elapsed = std::chrono::steady_clock::now() - started_;
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

SteadyTime CurlTransfer::idleDeadline() const {
    const auto timeout = std::chrono::duration<double>(timeoutSeconds_);
    return lastActivity_ + std::chrono::duration_cast<SteadyTime::duration>(timeout);
}

std::optional<HttpError> CurlTransfer::errorFor(CURLcode result) const {
    if (result == CURLE_OK)
        return std::nullopt;
    std::string detail = errorText_[0] ? errorText_ : curl_easy_strerror(result);
    if (bodyTooLarge_)
        return errorOf(HttpErrorCode::ResponseTooLarge, "the body is larger than 16 MiB");
    if (overBudget_)
        return errorOf(HttpErrorCode::ResponseTooLarge,
                       "the bodies in flight together passed the session's budget");
    if (result == CURLE_UNSUPPORTED_PROTOCOL && isHttps() && redirectCount() > 0)
        return errorOf(HttpErrorCode::AppTransportSecurityRequiresSecureConnection,
                       std::move(detail));
    return errorOf(codeForCurl(result), std::move(detail));
}

long CurlTransfer::redirectCount() const {
    long count = 0;
    if (easy_)
        curl_easy_getinfo(easy_, CURLINFO_REDIRECT_COUNT, &count);
    return count;
}

long CurlTransfer::statusCode() const {
    long status = 0;
    if (easy_)
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::vector<std::pair<std::string, std::string>> CurlTransfer::headerFields() const {
    std::vector<std::pair<std::string, std::string>> fields;
    if (!easy_)
        return fields;
    // Request -1 is the last one of the transfer: a redirect's or a 100 Continue's fields are not
    // the answer's.
    for (curl_header* header = nullptr;
         (header = curl_easy_nextheader(easy_, CURLH_HEADER, -1, header)) != nullptr;)
        fields.emplace_back(header->name, header->value);
    return fields;
}

void CurlTransfer::complete(std::optional<std::string> body, std::optional<HttpResponse> response,
                            std::optional<HttpError> error) {
    if (completed_.exchange(true))
        return;
    HttpCompletion completion = std::move(completion_);
    completion_ = nullptr;
    if (completion)
        completion(std::move(body), response, std::move(error));
}

std::string CurlTransfer::takeBody() {
    if (budget_)
        budget_->held -= bodyCharged_;
    budget_ = nullptr;
    bodyCharged_ = 0;
    return std::move(body_);
}

// Grows the body's buffer to the next power of two itself, so that what the budget is charged is
// what is allocated. While the bytes move into the larger buffer the old one still exists, so the
// growth must fit beside it; the last step to the 16 MiB cap (8 + 16) fits a budget of 24 MiB.
bool CurlTransfer::makeRoomFor(std::size_t bytes) {
    const std::size_t needed = body_.size() + bytes;
    if (needed <= bodyCharged_)
        return true;
    const std::size_t grown =
        std::min(std::bit_ceil(std::max(needed, firstBodyBufferBytes)), HttpSession::maxBodyBytes);
    BodyBudget& budget = *budget_;
    if (grown > budget.limit - budget.held)
        return false;
    body_.reserve(grown);
    budget.held += grown - bodyCharged_;
    bodyCharged_ = grown;
    return true;
}

void CurlTransfer::noticeBytesOnTheSocket() {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (socket_ == CURL_SOCKET_BAD ||
        ::getsockopt(socket_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return;
    if (info.tcpi_bytes_received != socketBytes_) {
        socketBytes_ = info.tcpi_bytes_received;
        touch();
    }
}

std::size_t CurlTransfer::onBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<CurlTransfer*>(self);
    const std::size_t bytes = size * count;
    transfer.touch();
    // Refusing the bytes (a short count) makes curl end the transfer with a write error.
    if (bytes > HttpSession::maxBodyBytes - transfer.body_.size()) {
        transfer.bodyTooLarge_ = true;
        return 0;
    }
    if (!transfer.makeRoomFor(bytes)) {
        transfer.overBudget_ = true;
        return 0;
    }
    transfer.body_.append(data, bytes);
    return bytes;
}

// Only a connection opened for this transfer is known here; on a reused one, only what curl
// hands over counts as activity.
int CurlTransfer::onSocket(void* self, curl_socket_t socket, curlsocktype purpose) {
    if (purpose == CURLSOCKTYPE_IPCXN)
        static_cast<CurlTransfer*>(self)->socket_ = socket;
    return CURL_SOCKOPT_OK;
}

std::size_t CurlTransfer::onHeader(char*, std::size_t size, std::size_t count, void* self) {
    static_cast<CurlTransfer*>(self)->touch();
    return size * count;
}

int CurlTransfer::onProgress(void* self, curl_off_t, curl_off_t received, curl_off_t,
                             curl_off_t sent) {
    // A large body going out slowly is progress too, not silence; so are compressed bytes coming
    // in that the decoder has not turned into output yet.
    auto& transfer = *static_cast<CurlTransfer*>(self);
    if (sent != transfer.bytesSent_ || received != transfer.wireBytesReceived_) {
        transfer.bytesSent_ = sent;
        transfer.wireBytesReceived_ = received;
        transfer.touch();
    }
    return 0;
}

} // namespace zibbles::platform
