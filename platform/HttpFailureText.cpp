#include "platform/HttpFailureText.h"

#include <cmath>
#include <cstdio>

namespace zibbles::platform {

namespace {

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::isfinite(value) ? value : 0.0);
    return text;
}

std::string withDetail(const char* words, const std::string& detail) {
    return detail.empty() ? words : std::string(words) + " (" + detail + ")";
}

} // namespace

std::string describeHttpError(const HttpError& error, double timeoutSeconds) {
    switch (static_cast<HttpErrorCode>(error.code)) {
    case HttpErrorCode::Cancelled:
        return "cancelled";
    case HttpErrorCode::TimedOut:
        return "timed out after " + seconds(timeoutSeconds) + " s";
    case HttpErrorCode::BadURL:
        return withDetail("not a URL the session can ask", error.detail);
    case HttpErrorCode::CannotFindHost:
        return "host not found";
    case HttpErrorCode::CannotConnect:
        return "connection refused";
    case HttpErrorCode::NetworkConnectionLost:
        return withDetail("connection lost", error.detail);
    case HttpErrorCode::HTTPTooManyRedirects:
        return "too many redirects (more than 10, or a loop)";
    case HttpErrorCode::AppTransportSecurityRequiresSecureConnection:
        return "redirected from https to an insecure address; not followed";
    case HttpErrorCode::ServerCertificateUntrusted:
        return "TLS certificate not trusted";
    case HttpErrorCode::SecureConnectionFailed:
        return withDetail("TLS connection failed", error.detail);
    case HttpErrorCode::ResponseTooLarge:
        return withDetail("answer too large", error.detail);
    case HttpErrorCode::Unknown:
        break;
    }
    return withDetail("request failed", error.detail);
}

std::string describeHttpStatus(long statusCode) {
    return "HTTP status " + std::to_string(statusCode);
}

} // namespace zibbles::platform
