#include "platform/HttpSession.h"

#include <curl/curl.h>

#include <memory>

namespace zibbles::platform {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

} // namespace

bool isValidURL(const std::string& text) {
    // curl reads "http:///x" as the host "x"; a URL with an empty authority has no host.
    const auto separator = text.find("://");
    if (separator == std::string::npos || text.compare(separator, 4, ":///") == 0 ||
        text.find('\0') != std::string::npos)
        return false;
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME))
        return false;
    char* host = nullptr;
    if (curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK)
        return false;
    const bool hasHost = host && host[0] != '\0';
    curl_free(host);
    return hasHost;
}

} // namespace zibbles::platform
