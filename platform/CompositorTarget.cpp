#include "platform/CompositorTarget.h"

#include "platform/SoftwareFramebuffer.h"

namespace zibbles::platform {

IntRect CompositorTarget::deviceBounds() {
    return framebuffer().area();
}

SoftwareFramebuffer& CompositorTarget::canvasFor(const IntRect&) {
    return framebuffer();
}

} // namespace zibbles::platform
