#include "hosts/common/LocalTime.h"

namespace zibbles::host {

std::tm localTimeOf(std::time_t t) {
    std::tm local{};
    if (localtime_s(&local, &t) != 0)
        return std::tm{};
    return local;
}

} // namespace zibbles::host
