#include "platform/x11/XftDpi.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zibbles::platform {
namespace {

constexpr double kBaseDpi = 96.0;
constexpr double kMinScale = 0.5;
constexpr double kMaxScale = 8.0;

} // namespace

double xftDpiOf(const char* resources) {
    if (!resources)
        return 0.0;
    for (const char* line = resources; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::size_t length = end ? static_cast<std::size_t>(end - line) : std::strlen(line);
        if (length > 8 && std::strncmp(line, "Xft.dpi:", 8) == 0) {
            // strtod would read on past the line's end into the next resource.
            const std::string value(line + 8, length - 8);
            char* parsed = nullptr;
            const double dpi = std::strtod(value.c_str(), &parsed);
            const bool whole =
                parsed != value.c_str() && std::strspn(parsed, " \t\r") == std::strlen(parsed);
            return whole && std::isfinite(dpi) && dpi > 0.0 ? dpi : 0.0;
        }
        line += end ? length + 1 : length;
    }
    return 0.0;
}

double xftScaleOf(const char* resources) {
    const double scale = xftDpiOf(resources) / kBaseDpi;
    return scale >= kMinScale && scale <= kMaxScale ? scale : 1.0;
}

} // namespace zibbles::platform
