#include "hosts/common/ExitCodes.h"

#include <iostream>

namespace zibbles::host {

int usageError(std::string_view program, std::string_view message) {
    std::cerr << program << ": " << message << "\nTry '" << program << " --help'.\n";
    return kExitUsage;
}

} // namespace zibbles::host
