#include "platform/HttpSession.h"
#include "platform/win32/TextWin32.h"

#include <windows.h>
#include <winhttp.h>

namespace zibbles::platform {

bool isValidURL(const std::string& text) {
    // WinHTTP reads "http:///x" as the host "x"; a URL with an empty authority has no host.
    const auto separator = text.find("://");
    if (separator == std::string::npos || text.compare(separator, 4, ":///") == 0 ||
        text.find('\0') != std::string::npos)
        return false;
    const std::wstring wide = wideFromUtf8(text);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    if (wide.empty() || !WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts))
        return false;
    return parts.lpszHostName && parts.dwHostNameLength > 0;
}

} // namespace zibbles::platform
