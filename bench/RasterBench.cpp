// The sprite's raster for a full 24 × 24 figure (576 rectangles) at N = 297 (148.5 points at
// scale 2), and the compositor's cost per frame at 1920 × 1080 on the software target: a full
// repaint, and a frame where only the moving sprite's rectangles are repainted.

#include "Zibbles/SpriteImage.h"
#include "Zibbles/SpriteRaster.h"
#include "platform/BitmapContext.h"
#include "platform/Clock.h"
#include "platform/Compositor.h"
#include "platform/Layer.h"
#include "platform/MainQueue.h"
#include "platform/SoftwareFramebuffer.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zibbles;

std::vector<Pixel> fullFigure() {
    std::vector<Pixel> pixels;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            pixels.push_back(Pixel{double(x), double(y), 1, 1,
                                   Color{x / 23.0, y / 23.0, 0.5, (x + y) % 5 ? 1.0 : 0.5}});
    return pixels;
}

const Rect kContent{0, 0, 24, 24};

void BM_RasterOnly(benchmark::State& state) {
    const auto pixels = fullFigure();
    for (auto _ : state)
        benchmark::DoNotOptimize(rasterSprite(kContent, pixels, 148.5, 2.0));
}
BENCHMARK(BM_RasterOnly);

// What refreshSprite does for one figure: raster, bitmap, fills, image.
void BM_RasterIntoBitmap(benchmark::State& state) {
    const auto pixels = fullFigure();
    for (auto _ : state) {
        const auto raster = rasterSprite(kContent, pixels, 148.5, 2.0);
        auto bitmap = platform::BitmapContext::create(raster->side, raster->side);
        for (const auto& fill : raster->fills) {
            bitmap->setFillColor(
                {fill.color.red, fill.color.green, fill.color.blue, fill.color.alpha});
            bitmap->fillRect(fill.rect);
        }
        benchmark::DoNotOptimize(bitmap->makeImage());
    }
}
BENCHMARK(BM_RasterIntoBitmap);

// Hostile artwork at the body cap: a hundred thousand translucent fills of the whole square, drawn
// as a swap draws them. Filling stops after 64 squares' worth of pixels.
void BM_HostileStackedFills(benchmark::State& state) {
    const std::vector<Pixel> pixels(100'000, Pixel{0, 0, 24, 24, Color{0.2, 0.4, 0.6, 0.5}});
    for (auto _ : state)
        benchmark::DoNotOptimize(drawSpriteImage(kContent, pixels, 148.5, 2.0));
}
BENCHMARK(BM_HostileStackedFills)->Unit(benchmark::kMillisecond);

struct Scene {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(0.0);
    std::shared_ptr<platform::MainQueue> queue = std::make_shared<platform::MainQueue>(clock);
    std::shared_ptr<platform::Layer> root = platform::Layer::make(queue);
    std::shared_ptr<platform::Layer> sprite = platform::Layer::make(queue);
    platform::SoftwareFramebuffer target{1920, 1080, 1.0};

    Scene() {
        root->setBounds({{0, 0}, {1920, 1080}});
        root->setBackgroundColor(platform::Color::white(0.1, 1.0));
        sprite->setBounds({{0, 0}, {148.5, 148.5}});
        sprite->setMagnificationFilter(platform::MagnificationFilter::Nearest);
        const auto raster = rasterSprite(kContent, fullFigure(), 148.5, 1.0);
        auto bitmap = platform::BitmapContext::create(raster->side, raster->side);
        for (const auto& fill : raster->fills) {
            bitmap->setFillColor({fill.color.red, fill.color.green, fill.color.blue, 1.0});
            bitmap->fillRect(fill.rect);
        }
        sprite->setContents(bitmap->makeImage());
        root->addSublayer(sprite);
        // One long leg across the screen at the saver's speed (about 103.7 points a second).
        auto leg = platform::BasicAnimation::animationWithKeyPath("position");
        leg->setFromValue({100, 100});
        leg->setToValue({1100, 1100});
        leg->setDuration(1000 / 103.746);
        sprite->setPosition({1100, 1100});
        sprite->addAnimation(leg, "leg");
    }
};

void BM_CompositorFullFrame(benchmark::State& state) {
    Scene scene;
    platform::Compositor compositor;
    double t = 0;
    for (auto _ : state) {
        compositor.invalidate();
        benchmark::DoNotOptimize(compositor.render(*scene.root, t, scene.target));
        t = t < 9 ? t + 1 / 60.0 : 0;
    }
}
BENCHMARK(BM_CompositorFullFrame)->Unit(benchmark::kMicrosecond);

void BM_CompositorDamagedFrame(benchmark::State& state) {
    Scene scene;
    platform::Compositor compositor;
    compositor.render(*scene.root, 0, scene.target);
    double t = 0;
    for (auto _ : state) {
        t = t < 9 ? t + 1 / 60.0 : 1 / 60.0;
        benchmark::DoNotOptimize(compositor.render(*scene.root, t, scene.target));
    }
}
BENCHMARK(BM_CompositorDamagedFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
