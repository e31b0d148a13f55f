#include "platform/win32/HttpWinHttpTransfer.h"

#include "platform/HttpRequestRules.h"
#include "platform/win32/HttpContentDecoder.h"
#include "platform/win32/TextWin32.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zibbles::platform {

namespace {

constexpr double defaultTimeoutSeconds = 60.0;
constexpr DWORD maxRedirects = 10;
// WinHTTP's own timeouts are only a backstop that ends a worker stuck on a silent server: the
// session times a transfer out itself, and WinHTTP's timeouts and codes differ between its
// implementations (one ignores the receive timeout, another reports it as a socket error).
constexpr double backstopExtraSeconds = 5.0;
constexpr DWORD readChunkBytes = 64 * 1024;

HttpError errorOf(HttpErrorCode code, std::string detail) {
    return HttpError{static_cast<long>(code), std::move(detail)};
}

// WinHTTP's own words for its error, from its message table.
std::string winHttpText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = length && text ? utf8FromWide({text, length}) : std::string();
    if (text)
        LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                              words.back() == '.'))
        words.pop_back();
    return "WinHTTP error " + std::to_string(code) + (words.empty() ? "" : ": " + words);
}

// Each pair accepts what Windows documents and what Wine answers for the same failure.
HttpErrorCode codeForWinHttp(DWORD code, bool https) {
    switch (code) {
    case ERROR_WINHTTP_TIMEOUT: // 12002, as documented
    case WSAETIMEDOUT:          // 10060, as Wine reports its receive timeout
        return HttpErrorCode::TimedOut;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return HttpErrorCode::CannotFindHost;
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case WSAECONNREFUSED:
        return HttpErrorCode::CannotConnect;
    case ERROR_WINHTTP_INVALID_URL:
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
        return HttpErrorCode::BadURL;
    case ERROR_WINHTTP_SECURE_FAILURE:       // 12175, Windows
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: // 12157, Wine, for the same untrusted peer
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
        return HttpErrorCode::ServerCertificateUntrusted;
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
        return HttpErrorCode::SecureConnectionFailed;
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return HttpErrorCode::NetworkConnectionLost;
    case ERROR_WINHTTP_REDIRECT_FAILED:
        // WinHTTP gives one code for a refused https-to-http step and for too many steps.
        return https ? HttpErrorCode::AppTransportSecurityRequiresSecureConnection
                     : HttpErrorCode::HTTPTooManyRedirects;
    case ERROR_WINHTTP_OPERATION_CANCELLED:
    case ERROR_INVALID_HANDLE:
        return HttpErrorCode::Cancelled;
    default:
        return HttpErrorCode::Unknown;
    }
}

// The header fields of a raw "status line CRLF name: value CRLF ... CRLF" block, in order.
std::vector<std::pair<std::string, std::string>> parseHeaderBlock(const std::string& block) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t start = block.find("\r\n");
    while (start != std::string::npos && start + 2 < block.size()) {
        start += 2;
        const std::size_t end = block.find("\r\n", start);
        const std::string line =
            block.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const auto colon = line.find(':');
        if (colon != std::string::npos && colon > 0) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of(" \t") + 1);
            fields.emplace_back(line.substr(0, colon), value);
        }
        start = end;
    }
    return fields;
}

// The Content-Length of an answer that has a body, if it gave one.
std::optional<std::uint64_t> announcedLength(const HttpResponse& response) {
    if (response.statusCode == 204 || response.statusCode == 304 ||
        (response.statusCode >= 100 && response.statusCode < 200))
        return std::nullopt;
    const auto text = response.valueForHTTPHeaderField("Content-Length");
    if (!text || text->empty() || text->find_first_not_of("0123456789") != std::string::npos ||
        text->size() > 18)
        return std::nullopt;
    return std::stoull(*text);
}

// location resolved against the URL it came from (absolute, scheme-relative, absolute path or
// relative path); its fragment left out.
std::string resolveLocation(const std::string& base, std::string location) {
    location = location.substr(0, location.find('#'));
    if (location.find("://") != std::string::npos)
        return location;
    const auto schemeEnd = base.find("://");
    if (location.rfind("//", 0) == 0)
        return base.substr(0, schemeEnd + 1) + location;
    const auto pathStart = base.find_first_of("/?#", schemeEnd + 3);
    const std::string origin = base.substr(0, pathStart);
    if (location.rfind('/', 0) == 0)
        return origin + location;
    std::string path = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    return origin + path.substr(0, path.rfind('/') + 1) + location;
}

} // namespace

// 307 and 308 keep the method and the body; 301, 302 and 303 turn a POST into a GET without a
// body, as browsers do (303 any method but HEAD).
std::optional<WinHttpTransfer::Hop> WinHttpTransfer::redirectOf(const Hop& hop, long status,
                                                                const std::string& location) {
    if (location.empty() ||
        (status != 301 && status != 302 && status != 303 && status != 307 && status != 308))
        return std::nullopt;
    Hop next{resolveLocation(hop.url, location), hop.method, hop.body};
    const bool toGet = (status == 303 && hop.method != "HEAD") ||
                       ((status == 301 || status == 302) && hop.method == "POST");
    if (toGet) {
        next.method = "GET";
        next.body.clear();
    }
    return next;
}

struct WinHttpTransfer::Handles {
    HINTERNET connect = nullptr;
    HINTERNET request = nullptr;

    void close() {
        if (request)
            WinHttpCloseHandle(request);
        if (connect)
            WinHttpCloseHandle(connect);
        request = connect = nullptr;
    }
};

WinHttpTransfer::WinHttpTransfer(HttpRequest request, HttpCompletion completion)
    : request_(std::move(request)), completion_(std::move(completion)),
      started_(std::chrono::steady_clock::now()),
      lastActivity_(started_.time_since_epoch().count()) {
    const double t = request_.timeoutInterval;
    // A timeout that is not a positive number means the default, as the curl session reads it,
    // rather than "never".
    timeoutSeconds_ = std::isfinite(t) && t > 0.0 ? t : defaultTimeoutSeconds;
}

WinHttpTransfer::~WinHttpTransfer() {
    abandon();
}

void WinHttpTransfer::touch() {
    lastActivity_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

SteadyTime WinHttpTransfer::idleDeadline() const {
    const SteadyTime last{SteadyTime::duration(lastActivity_.load())};
    const auto timeout = std::chrono::duration<double>(timeoutSeconds_);
    return last + std::chrono::duration_cast<SteadyTime::duration>(timeout);
}

double WinHttpTransfer::millisecondsSinceStart() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started_)
        .count();
}

void WinHttpTransfer::abandon() {
    abandoned_ = true;
    std::lock_guard lock(handlesMutex_);
    if (handles_)
        handles_->close();
}

void WinHttpTransfer::complete(TransferOutcome outcome) {
    if (completed_.exchange(true))
        return;
    HttpCompletion completion = std::move(completion_);
    completion_ = nullptr;
    if (completion)
        completion(std::move(outcome.body), std::move(outcome.response), std::move(outcome.error));
}

TransferOutcome WinHttpTransfer::perform(void* session) {
    touch();
    if (request_.url.find('\0') != std::string::npos || !isValidURL(request_.url))
        return failure(HttpErrorCode::BadURL, "not a URL: " + request_.url);
    if (!isHttpToken(request_.method))
        return failure(HttpErrorCode::Unknown, "not an HTTP method: " + request_.method);
    for (const auto& [name, value] : request_.headers)
        if (!isHttpToken(name) || isUnsafeInHeader(value))
            return failure(HttpErrorCode::Unknown, "unsafe header: " + name);
    Hop hop{request_.url, request_.method, request_.body};
    for (long redirects = 0;; ++redirects) {
        std::optional<Hop> next;
        TransferOutcome outcome = performHop(session, hop, next);
        if (!next)
            return outcome;
        if (redirects == static_cast<long>(maxRedirects))
            return failure(HttpErrorCode::HTTPTooManyRedirects,
                           "more than 10 redirects, the last to " + next->url);
        if (isHttpsURL(hop.url) && !isHttpsURL(next->url))
            return failure(HttpErrorCode::AppTransportSecurityRequiresSecureConnection,
                           "redirected to " + next->url);
        if (!isValidURL(next->url))
            return failure(HttpErrorCode::BadURL, "redirected to " + next->url);
        hop = std::move(*next);
    }
}

// Worker thread. One request and its answer; a redirect leaves the next hop in next instead.
TransferOutcome WinHttpTransfer::performHop(void* session, const Hop& hop,
                                            std::optional<Hop>& next) {
    const std::wstring url = wideFromUtf8(hop.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return lastFailure();
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty())
        path = L"/";
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    HINTERNET request = nullptr;
    {
        std::lock_guard lock(handlesMutex_);
        if (abandoned())
            return failure(HttpErrorCode::Cancelled, "cancelled");
        handles_ = std::make_unique<Handles>();
        handles_->connect =
            WinHttpConnect(static_cast<HINTERNET>(session), host.c_str(), parts.nPort, 0);
        if (handles_->connect)
            handles_->request = WinHttpOpenRequest(
                handles_->connect, wideFromUtf8(hop.method).c_str(), path.c_str(), nullptr,
                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
        request = handles_->request;
    }
    TransferOutcome outcome = request ? exchange(request, hop, next) : lastFailure();
    std::lock_guard lock(handlesMutex_);
    if (handles_)
        handles_->close();
    return outcome;
}

TransferOutcome WinHttpTransfer::failure(HttpErrorCode code, std::string detail) const {
    return {std::nullopt, std::nullopt, errorOf(code, std::move(detail))};
}

TransferOutcome WinHttpTransfer::lastFailure() const {
    const DWORD code = GetLastError();
    if (abandoned())
        return failure(HttpErrorCode::Cancelled, "cancelled");
    return failure(codeForWinHttp(code, isHttpsURL(request_.url)), winHttpText(code));
}

void WinHttpTransfer::configure(void* handle) const {
    const auto request = static_cast<HINTERNET>(handle);
    const int backstop = static_cast<int>(
        std::min(std::ceil((timeoutSeconds_ + backstopExtraSeconds) * 1000.0), 2.0e9));
    WinHttpSetTimeouts(request, backstop, backstop, backstop, backstop);
    DWORD value = static_cast<DWORD>(backstop);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &value, sizeof value);
    // Redirects are followed here, hop by hop (perform): WinHTTP's own following differs between
    // its implementations (one hands a 303 after a POST back instead of following it).
    value = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &value, sizeof value);
    value = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &value, sizeof value);
    // No security flags are ever set: a peer that cannot be verified fails the request.
}

// Worker thread. abandon() may close the handle at any moment, after which every call fails.
TransferOutcome WinHttpTransfer::exchange(void* handle, const Hop& hop, std::optional<Hop>& next) {
    const auto request = static_cast<HINTERNET>(handle);
    configure(request);
    std::string headers;
    for (const auto& [name, value] : request_.headers)
        headers += name + ": " + value + "\r\n";
    // The session decodes these two itself (HttpContentDecoder.h).
    headers += "Accept-Encoding: gzip, deflate\r\n";
    const std::wstring wideHeaders = wideFromUtf8(headers);
    if (!WinHttpAddRequestHeaders(request, wideHeaders.c_str(),
                                  static_cast<DWORD>(wideHeaders.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return lastFailure();
    const auto bodySize = static_cast<DWORD>(hop.body.size());
    void* body = hop.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(hop.body.data());
    if (abandoned() ||
        !WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, bodySize, bodySize, 0))
        return lastFailure();
    touch();
    if (abandoned() || !WinHttpReceiveResponse(request, nullptr))
        return lastFailure();
    touch();
    return readAnswer(request, hop, next);
}

TransferOutcome WinHttpTransfer::readAnswer(void* handle, const Hop& hop,
                                            std::optional<Hop>& next) {
    const auto request = static_cast<HINTERNET>(handle);
    HttpResponse response;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return lastFailure();
    response.statusCode = static_cast<long>(status);
    size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        nullptr, &size, WINHTTP_NO_HEADER_INDEX);
    if (size > 0) {
        std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
        if (WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                                WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                                WINHTTP_NO_HEADER_INDEX)) {
            raw.resize(size / sizeof(wchar_t));
            response.allHeaderFields = parseHeaderBlock(utf8FromWide(raw));
        }
    }
    if (const auto location = response.valueForHTTPHeaderField("Location")) {
        next = redirectOf(hop, response.statusCode, *location);
        if (next)
            return {};
    }
    const auto encoding = response.valueForHTTPHeaderField("Content-Encoding");
    auto decoder = HttpContentDecoder::forEncoding(encoding.value_or(""));
    if (decoder) // what the caller reads is the decoded body, as if it had come so
        std::erase_if(response.allHeaderFields, [](const auto& field) {
            return field.first.size() == 16 &&
                   _stricmp(field.first.c_str(), "Content-Encoding") == 0;
        });

    std::string body;
    std::vector<char> chunk(readChunkBytes);
    std::uint64_t wireBytes = 0;
    for (;;) {
        DWORD read = 0;
        if (abandoned() || !WinHttpReadData(request, chunk.data(), readChunkBytes, &read))
            return lastFailure();
        if (read == 0)
            break;
        touch();
        wireBytes += read;
        const std::string_view bytes(chunk.data(), read);
        if (decoder) {
            if (auto error = decoder->decode(bytes, body, HttpSession::maxBodyBytes))
                return failure(error->tooLarge ? HttpErrorCode::ResponseTooLarge
                                               : HttpErrorCode::NetworkConnectionLost,
                               std::move(error->words));
        } else if (bytes.size() > HttpSession::maxBodyBytes - body.size()) {
            return failure(HttpErrorCode::ResponseTooLarge, "the body is larger than 16 MiB");
        } else {
            body.append(bytes);
        }
    }
    // Some implementations end the read quietly when the server closes early: the announced
    // length tells a whole body from a cut one.
    if (const auto length = announcedLength(response);
        length && hop.method != "HEAD" && wireBytes < *length)
        return failure(HttpErrorCode::NetworkConnectionLost,
                       "the connection closed after " + std::to_string(wireBytes) + " of " +
                           std::to_string(*length) + " bytes of the body");
    if (decoder)
        if (auto error = decoder->finish())
            return failure(HttpErrorCode::NetworkConnectionLost, std::move(error->words));
    return {std::move(body), std::move(response), std::nullopt};
}

} // namespace zibbles::platform
