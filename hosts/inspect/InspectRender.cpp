#include "hosts/inspect/InspectRender.h"

#include "Zibbles/ContentBounds.h"
#include "Zibbles/SpriteImage.h"
#include "hosts/common/HostOptions.h"
#include "platform/PngWriter.h"

namespace zibbles::inspect {

RenderRequestOrError renderRequestOf(const std::string& path,
                                     const std::optional<std::string>& size,
                                     const std::optional<std::string>& scale) {
    RenderRequest request{path};
    if (path.empty())
        return {std::nullopt, "option '--render' needs a file name"};
    if (size) {
        const auto points = host::parsePositive(*size, 100000.0);
        if (!points)
            return {std::nullopt, "option '--size': expected points above 0, at most 100000"};
        request.size = *points;
    }
    if (scale) {
        const auto factor = host::parsePositive(*scale, 8.0);
        if (!factor)
            return {std::nullopt, "option '--scale': expected a number above 0, at most 8"};
        request.scale = *factor;
    }
    return {request, {}};
}

std::optional<std::string> renderFigurePng(const Pixels& pixels, const RenderRequest& request) {
    const auto image = drawSpriteImage(contentBounds(pixels), pixels, request.size, request.scale);
    if (!image)
        return "the figure has no area to draw at this size and scale";
    const auto written = platform::writePng(request.path, *image);
    if (!written.ok)
        return "cannot write '" + request.path + "': " + written.error;
    return std::nullopt;
}

} // namespace zibbles::inspect
