#pragma once

// zibbles-inspect --render: the decoded figure drawn as the sprite shows it, into a PNG file.

#include "Zibbles/decode/TokenChain.h"

#include <optional>
#include <string>

namespace zibbles::inspect {

struct RenderRequest {
    std::string path;
    double size = 148.5; // points: the sprite of a 1080-point-high screen
    double scale = 2.0;  // device pixels per point
};

struct RenderRequestOrError {
    std::optional<RenderRequest> request;
    std::string error; // for people, when request is empty
};

// The request from the option texts (size and scale may be absent: their defaults).
RenderRequestOrError renderRequestOf(const std::string& path,
                                     const std::optional<std::string>& size,
                                     const std::optional<std::string>& scale);

// Writes the N × N sprite (N = size × scale, rounded) with straight alpha. Gives the reason on
// failure, nothing on success.
std::optional<std::string> renderFigurePng(const Pixels& pixels, const RenderRequest& request);

} // namespace zibbles::inspect
