// The least a compositor-paced saver can cost on a Wayland compositor: what wayland-cpu.sh
// measures zibbles against, the Wayland counterpart of ReferenceHack.
// Usage: WaylandReference [SIDE [STEP]]
//   An overlay layer surface over the first output, in two wl_shm buffers. On each frame
//   callback it moves a SIDE × SIDE square STEP pixels diagonally, bouncing at the edges,
//   writes only the old and the new square into the free buffer and damages only the strips
//   that changed. Defaults: 149 and 2, the saver's sprite and step on a 1920 × 1080 output at
//   60 Hz. Runs until it is killed.
#include "platform/wayland/WaylandLayerShellProtocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kBackground = 0xFF1A1A1A;
constexpr std::uint32_t kSquare = 0xFFC08040;

struct Rect {
    int x, y, w, h;
};

struct Buffer {
    wl_buffer* buffer = nullptr;
    std::uint32_t* pixels = nullptr;
    bool busy = false;
    int squareX = -1, squareY = -1; // where this buffer last had the square
};

struct Client {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    wl_output* output = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    std::array<Buffer, 2> buffers;
    int width = 0, height = 0;
    int side = 149, step = 2;
    int x = 0, y = 0, dx = 0, dy = 0;
    bool configured = false;
};

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto& c = *static_cast<Client*>(data);
    const std::string what = interface;
    if (what == wl_compositor_interface.name)
        c.compositor = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, std::min(version, 4u)));
    else if (what == wl_shm_interface.name)
        c.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (what == zwlr_layer_shell_v1_interface.name)
        c.layerShell = static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1));
    else if (what == wl_output_interface.name && !c.output)
        c.output =
            static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
}
void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry{onGlobal, onGlobalRemove};

void onConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial,
                 std::uint32_t width, std::uint32_t height) {
    auto& c = *static_cast<Client*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    if (!c.configured) {
        c.width = static_cast<int>(width);
        c.height = static_cast<int>(height);
        c.configured = true;
    }
}
void onClosed(void*, zwlr_layer_surface_v1*) {
    std::exit(0);
}
const zwlr_layer_surface_v1_listener kLayer{onConfigure, onClosed};

void onRelease(void* data, wl_buffer*) {
    static_cast<Buffer*>(data)->busy = false;
}
const wl_buffer_listener kBuffer{onRelease};

void fill(const Client& c, Buffer& b, Rect r, std::uint32_t colour) {
    for (int row = r.y; row < r.y + r.h; ++row)
        std::fill_n(b.pixels + static_cast<std::ptrdiff_t>(row) * c.width + r.x, r.w, colour);
}

void damage(const Client& c, Rect r) {
    wl_surface_damage_buffer(c.surface, r.x, r.y, r.w, r.h);
}

void frame(Client& c);
void onFrame(void* data, wl_callback* callback, std::uint32_t) {
    wl_callback_destroy(callback);
    frame(*static_cast<Client*>(data));
}
const wl_callback_listener kFrame{onFrame};

void frame(Client& c) {
    Buffer* free = nullptr;
    for (Buffer& b : c.buffers)
        if (!b.busy)
            free = &b;
    wl_callback_add_listener(wl_surface_frame(c.surface), &kFrame, &c);
    if (!free) { // both held: wait for the next frame
        wl_surface_commit(c.surface);
        return;
    }
    const int oldX = c.x, oldY = c.y;
    if (c.x + c.dx < 0 || c.x + c.dx + c.side > c.width)
        c.dx = -c.dx;
    if (c.y + c.dy < 0 || c.y + c.dy + c.side > c.height)
        c.dy = -c.dy;
    c.x += c.dx;
    c.y += c.dy;
    // The buffer may be two frames behind: clear where it had the square, then draw it anew.
    if (free->squareX >= 0)
        fill(c, *free, {free->squareX, free->squareY, c.side, c.side}, kBackground);
    else
        damage(c, {c.x, c.y, c.side, c.side});
    fill(c, *free, {c.x, c.y, c.side, c.side}, kSquare);
    free->squareX = c.x;
    free->squareY = c.y;
    wl_surface_attach(c.surface, free->buffer, 0, 0);
    // What changed since the frame before: the strips uncovered and the strips newly covered.
    const int s = c.step;
    damage(c, {oldX, c.dy > 0 ? oldY : oldY + c.side - s, c.side, s});
    damage(c, {c.dx > 0 ? oldX : oldX + c.side - s, oldY, s, c.side});
    damage(c, {c.x, c.dy > 0 ? c.y + c.side - s : c.y, c.side, s});
    damage(c, {c.dx > 0 ? c.x + c.side - s : c.x, c.y, s, c.side});
    wl_surface_commit(c.surface);
    free->busy = true;
}

bool makeBuffers(Client& c) {
    const std::size_t bytes = static_cast<std::size_t>(c.width) * c.height * 4;
    for (Buffer& b : c.buffers) {
        const int fd = memfd_create("wayland-reference", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0)
            return false;
        void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED)
            return false;
        b.pixels = static_cast<std::uint32_t*>(mapped);
        std::fill_n(b.pixels, bytes / 4, kBackground);
        wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, static_cast<std::int32_t>(bytes));
        b.buffer = wl_shm_pool_create_buffer(pool, 0, c.width, c.height, c.width * 4,
                                             WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        close(fd);
        wl_buffer_add_listener(b.buffer, &kBuffer, &b);
    }
    return true;
}

int usage(int code) {
    std::fprintf(code ? stderr : stdout, "usage: WaylandReference [SIDE [STEP]]\n");
    return code;
}

int fail(const char* what) {
    std::fprintf(stderr, "WaylandReference: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0)
        return usage(0);
    if (argc > 3)
        return usage(2);
    Client c;
    c.side = argc > 1 ? std::atoi(argv[1]) : 149;
    c.step = argc > 2 ? std::atoi(argv[2]) : 2;
    if (c.side < 1 || c.side > 4096 || c.step < 1 || c.step > c.side)
        return usage(2);
    c.x = c.y = c.dx = c.dy = c.step;

    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return fail("cannot reach the Wayland compositor");
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &c);
    wl_display_roundtrip(display);
    if (!c.compositor || !c.shm || !c.layerShell || !c.output)
        return fail("the compositor offers no wl_compositor, wl_shm, layer shell or output");
    c.surface = wl_compositor_create_surface(c.compositor);
    c.layer = zwlr_layer_shell_v1_get_layer_surface(
        c.layerShell, c.surface, c.output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "wayland-reference");
    zwlr_layer_surface_v1_add_listener(c.layer, &kLayer, &c);
    zwlr_layer_surface_v1_set_anchor(
        c.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                     ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(c.layer, -1);
    wl_surface_commit(c.surface);
    while (!c.configured)
        if (wl_display_dispatch(display) < 0)
            return fail("the connection was lost");
    if (c.width <= c.side + 2 * c.step || c.height <= c.side + 2 * c.step)
        return fail("the output is too small for the square");
    if (!makeBuffers(c))
        return fail("no shared memory for the buffers");
    // The first frame shows the whole background; every later one only the strips.
    wl_surface_attach(c.surface, c.buffers[0].buffer, 0, 0);
    c.buffers[0].busy = true;
    wl_callback_add_listener(wl_surface_frame(c.surface), &kFrame, &c);
    wl_surface_commit(c.surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return fail("the connection was lost");
}
