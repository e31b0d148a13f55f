#include "platform/wayland/CompositorTargetWayland.h"

#include "platform/wayland/WaylandScale.h"

#include <viewporter-client-protocol.h>
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace zibbles::platform {

struct CompositorTargetWayland::Buffer {
    wl_buffer* buffer = nullptr;
    std::uint32_t* pixels = nullptr; // XRGB8888, one word a pixel, rows top first
    std::size_t bytes = 0;
    std::int64_t width = 0;
    bool busy = false;          // the compositor holds it until wl_buffer.release
    std::vector<IntRect> stale; // what changed since it was last written

    ~Buffer() {
        if (buffer)
            wl_buffer_destroy(buffer);
        if (pixels)
            munmap(pixels, bytes);
    }
};

namespace {

// Past this many rectangles a buffer's stale list becomes their union: copying a little more
// costs less than a list that grows while the buffer waits.
constexpr std::size_t kMaxStaleRects = 16;

void onRelease(void* data, wl_buffer*) {
    static_cast<CompositorTargetWayland::Buffer*>(data)->busy = false;
}

const wl_buffer_listener kBufferListener{onRelease};

void onFrameDone(void* data, wl_callback*, std::uint32_t) {
    static_cast<CompositorTargetWayland*>(data)->frameDone();
}

const wl_callback_listener kFrameListener{onFrameDone};

double monotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Overlapping rectangles (a sprite's rectangles of successive frames) become their union, so a
// buffer that lags two frames behind copies the pixels once.
void addStale(std::vector<IntRect>& stale, const std::vector<IntRect>& damage) {
    for (IntRect rect : damage) {
        for (auto it = stale.begin(); it != stale.end();) {
            if (intersection(*it, rect).empty()) {
                ++it;
                continue;
            }
            rect = unionOf(*it, rect);
            stale.erase(it);
            it = stale.begin();
        }
        stale.push_back(rect);
    }
    if (stale.size() <= kMaxStaleRects)
        return;
    IntRect all{};
    for (const IntRect& r : stale)
        all = unionOf(all, r);
    stale.assign(1, all);
}

// The framebuffer's premultiplied RGBA bytes as the opaque XRGB words of the buffer.
void copyRect(const SoftwareFramebuffer& from, const IntRect& rect,
              CompositorTargetWayland::Buffer& to) {
    const IntRect r = intersection(rect, IntRect{0, 0, from.width(), from.height()});
    for (std::int64_t y = r.y; y < r.y + r.height; ++y) {
        const std::uint8_t* in = from.bytes() + y * from.bytesPerRow() + r.x * 4;
        std::uint32_t* out = to.pixels + y * to.width + r.x;
        for (std::int64_t x = 0; x < r.width; ++x, in += 4)
            out[x] = 0xFF000000u | std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2];
    }
}

// A buffer of width × height device pixels in a shared-memory file of its own.
std::unique_ptr<CompositorTargetWayland::Buffer>
makeBuffer(wl_shm* shm, std::int64_t width, std::int64_t height, std::string& error) {
    // wl_shm sizes are 32-bit: a larger frame cannot be shared at all.
    if (width * height * 4 > std::numeric_limits<std::int32_t>::max()) {
        error = "a frame of " + std::to_string(width) + " × " + std::to_string(height) +
                " pixels is too large to share with the compositor";
        return nullptr;
    }
    auto made = std::make_unique<CompositorTargetWayland::Buffer>();
    made->width = width;
    made->bytes = static_cast<std::size_t>(width * height * 4);
    const int fd = memfd_create("zibbles-frame", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(made->bytes)) != 0) {
        error = std::string("shared memory for a frame: ") + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return nullptr;
    }
    void* mapped = mmap(nullptr, made->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        error = std::string("mmap of a frame: ") + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    made->pixels = static_cast<std::uint32_t*>(mapped);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(made->bytes));
    made->buffer = wl_shm_pool_create_buffer(
        pool, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
        static_cast<std::int32_t>(width * 4), WL_SHM_FORMAT_XRGB8888);
    // The buffer keeps the pool's memory; neither the pool nor the file is needed any more.
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(made->buffer, &kBufferListener, made.get());
    made->stale.push_back(IntRect{0, 0, width, height});
    return made;
}

} // namespace

CompositorTargetWayland::CompositorTargetWayland(wl_shm* shm, wl_surface* surface,
                                                 wp_viewporter* viewporter)
    : shm_(shm), surface_(surface),
      viewport_(viewporter ? wp_viewporter_get_viewport(viewporter, surface) : nullptr),
      framebuffer_(0, 0, 1.0) {}

CompositorTargetWayland::~CompositorTargetWayland() {
    if (frameCallback_)
        wl_callback_destroy(frameCallback_);
    if (viewport_)
        wp_viewport_destroy(viewport_);
}

double CompositorTargetWayland::secondsAwaitingFrame() const {
    return frameCallback_ ? monotonicSeconds() - frameAskedAt_ : 0.0;
}

void CompositorTargetWayland::frameDone() {
    // The compositor destroys the callback as it fires it.
    wl_callback_destroy(frameCallback_);
    frameCallback_ = nullptr;
    frameSeen_ = true;
}

void CompositorTargetWayland::dropBuffers() {
    for (auto& buffer : buffers_)
        buffer.reset();
}

bool CompositorTargetWayland::resize(std::int64_t widthPoints, std::int64_t heightPoints,
                                     std::uint32_t scaleIn120ths, std::string& error) {
    const std::int64_t width = bufferPixels(widthPoints, scaleIn120ths);
    const std::int64_t height = bufferPixels(heightPoints, scaleIn120ths);
    framebuffer_.setScale(scaleFactorOf(scaleIn120ths));
    waiting_.clear();
    if (widthPoints == widthPoints_ && heightPoints == heightPoints_ && scaleIn120ths == scale_ &&
        buffers_[0])
        return true;
    dropBuffers();
    framebuffer_.resize(width, height);
    for (auto& buffer : buffers_)
        if (!(buffer = makeBuffer(shm_, width, height, error)))
            return false;
    // Both take effect with the next commit, which brings the first buffer of the new size.
    if (viewport_) {
        wp_viewport_set_destination(viewport_, static_cast<std::int32_t>(widthPoints),
                                    static_cast<std::int32_t>(heightPoints));
    } else {
        wl_surface_set_buffer_scale(surface_,
                                    static_cast<std::int32_t>(scaleIn120ths / kScaleUnit));
    }
    scale_ = scaleIn120ths;
    widthPoints_ = widthPoints;
    heightPoints_ = heightPoints;
    return true;
}

CompositorTargetWayland::Buffer* CompositorTargetWayland::freeBuffer() {
    for (auto& buffer : buffers_)
        if (buffer && !buffer->busy)
            return buffer.get();
    return nullptr;
}

void CompositorTargetWayland::present(const std::vector<IntRect>& damage) {
    for (auto& buffer : buffers_)
        if (buffer)
            addStale(buffer->stale, damage);
    addStale(waiting_, damage);
    presentWaiting();
}

void CompositorTargetWayland::presentWaiting() {
    if (waiting_.empty() || (pacedByFrames_ && frameCallback_))
        return;
    Buffer* buffer = freeBuffer();
    if (!buffer)
        return;
    for (const IntRect& rect : buffer->stale)
        copyRect(framebuffer_, rect, *buffer);
    buffer->stale.clear();
    wl_surface_attach(surface_, buffer->buffer, 0, 0);
    // A callback still awaited (no pacing by frames) gives way to this one.
    if (frameCallback_)
        wl_callback_destroy(frameCallback_);
    frameCallback_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frameCallback_, &kFrameListener, this);
    frameAskedAt_ = monotonicSeconds();
    for (const IntRect& r : waiting_)
        wl_surface_damage_buffer(surface_, static_cast<std::int32_t>(r.x),
                                 static_cast<std::int32_t>(r.y), static_cast<std::int32_t>(r.width),
                                 static_cast<std::int32_t>(r.height));
    wl_surface_commit(surface_);
    ++framesCommitted_;
    buffer->busy = true;
    waiting_.clear();
}

} // namespace zibbles::platform
