// What the X shared-memory target shows must be exactly what the software framebuffer holds,
// frame after frame: read back from a window on a private X server.

#include "platform/x11/CompositorTargetX11Shm.h"
#include "platform/Compositor.h"
#include "platform/SoftwareFramebuffer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None among them) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zibbles::platform {
namespace {

// A private Xvfb of the given size; display is null when none could be started.
class PrivateXServer {
  public:
    explicit PrivateXServer(const char* screen) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        const std::string size = std::string(screen) + "x24";
        const char* argv[] = {"Xvfb",       "-displayfd", "3",   "-screen", "0",
                              size.c_str(), "-nolisten",  "tcp", nullptr};
        if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        char number[16] = {};
        const auto got = pid_ ? read(fds[0], number, sizeof number - 1) : 0;
        close(fds[0]);
        std::string name = ":";
        name += std::to_string(std::strtoul(number, nullptr, 10));
        if (got > 0)
            display = XOpenDisplay(name.c_str());
    }
    ~PrivateXServer() {
        if (display)
            XCloseDisplay(display);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Display* display = nullptr;

  private:
    pid_t pid_ = 0;
};

// A 3 × 2 image, top row first: opaque and translucent pixels, and a transparent one.
ImageRef mixedImage() {
    const std::vector<std::uint8_t> bytes = {255, 0,  0,  255, 0, 200, 0,   255, 0,   0,  0, 0,
                                             10,  20, 30, 128, 0, 0,   255, 255, 128, 64, 0, 200};
    return std::make_shared<const Image>(3, 2, bytes);
}

// The window's pixels as RGBA, read back from the server (32 bits a pixel, red in bits 16 to 23).
std::vector<Rgba8> readBack(Display* display, ::Window window, int width, int height) {
    XSync(display, False);
    XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
    std::vector<Rgba8> pixels;
    for (int y = 0; y < height; ++y) {
        const char* row = image->data + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
        for (int x = 0; x < width; ++x) {
            std::uint32_t p;
            std::memcpy(&p, row + x * 4, 4);
            pixels.push_back({static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
                              static_cast<std::uint8_t>(p), 255});
        }
    }
    XDestroyImage(image);
    return pixels;
}

std::vector<Rgba8> pixelsOf(const SoftwareFramebuffer& framebuffer) {
    std::vector<Rgba8> pixels;
    for (std::int64_t y = 0; y < framebuffer.height(); ++y)
        for (std::int64_t x = 0; x < framebuffer.width(); ++x)
            pixels.push_back(framebuffer.pixelAt(x, y));
    return pixels;
}

struct Sprite {
    Size size;
    Point from, to;
};

void addMovingSprite(Layer& root, const std::shared_ptr<MainQueue>& queue, const Sprite& s) {
    auto layer = Layer::make(queue);
    layer->setBounds({{0, 0}, s.size});
    layer->setContents(mixedImage());
    layer->setBackgroundColor(Color{0, 0, 0.5, 0.5});
    auto leg = BasicAnimation::animationWithKeyPath("position");
    leg->setFromValue(s.from);
    leg->setToValue(s.to);
    leg->setDuration(10);
    layer->setPosition(s.to);
    layer->addAnimation(leg, "leg");
    root.addSublayer(layer);
}

TEST(CompositorTargetX11Shm, ShowsWhatTheSoftwareFramebufferHoldsFrameAfterFrame) {
    // Wide enough that a full repaint goes through the segment in several bands.
    constexpr int kWidth = 1200, kHeight = 700;
    PrivateXServer server("1280x720");
    if (!server.display)
        GTEST_SKIP() << "no Xvfb";
    Display* display = server.display;
    const ::Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);

    // At scale 2: a sprite of one image pixel per device pixel (alone, it is composited once and
    // copied), and beside it a stretched one that crosses its path.
    const Sprite whole{{1.5, 1}, {30, 40}, {300, 200}};
    const Sprite stretched{{40, 25}, {500, 300}, {20, 30}};
    for (const auto& sprites :
         {std::vector<Sprite>{whole}, std::vector<Sprite>{whole, stretched}}) {
        auto test = testing::makeTestEnvironment();
        auto root = Layer::make(test.environment.mainQueue);
        root->setBounds({{0, 0}, {kWidth / 2.0 - 20, kHeight / 2.0}}); // black beyond it
        root->setBackgroundColor(Color::white(0.1, 1.0));
        for (const Sprite& sprite : sprites)
            addMovingSprite(*root, test.environment.mainQueue, sprite);
        std::string error;
        auto target = CompositorTargetX11Shm::make(display, window, 2.0, error);
        ASSERT_TRUE(target) << error;
        SoftwareFramebuffer reference(kWidth, kHeight, 2.0);
        Compositor shown, expected;
        for (const double t : {0.0, 0.013, 0.4, 0.41, 3.3, 9.99, 12.0}) {
            // A new figure on the moving sprite: the target's kept copy of the old one must go.
            if (t == 9.99) {
                auto bytes = mixedImage()->rgba(); // its pixels in reverse order
                for (std::size_t i = 0, j = bytes.size() - 4; i < j; i += 4, j -= 4)
                    std::swap_ranges(bytes.begin() + i, bytes.begin() + i + 4, bytes.begin() + j);
                root->sublayers().front()->setContents(std::make_shared<const Image>(3, 2, bytes));
            }
            shown.render(*root, t, *target);
            expected.render(*root, t, reference);
            const auto got = readBack(display, window, kWidth, kHeight);
            const auto want = pixelsOf(reference);
            const auto differ = std::mismatch(got.begin(), got.end(), want.begin()).first;
            ASSERT_TRUE(differ == got.end())
                << "first difference at x = " << (differ - got.begin()) % kWidth
                << ", y = " << (differ - got.begin()) / kWidth << "; " << sprites.size()
                << " sprite(s), t = " << t;
        }
    }
}

} // namespace
} // namespace zibbles::platform
