#include "hosts/common/VersionText.h"

#include "Zibbles/supply/Endpoint.h"

namespace zibbles::host {

std::string versionText(std::string_view program, BuildConstants constants) {
    std::string text = std::string(program) + " " + ZIBBLES_VERSION + "\n";
    if (constants == BuildConstants::Shown) {
        text += "endpoint: " + std::string(Endpoint::rpcURL()) + "\n";
        text += "contract: " + std::string(Endpoint::contractAddress()) + "\n";
    }
    return text;
}

} // namespace zibbles::host
