#include "platform/Compositor.h"

#include "platform/BitmapContext.h"
#include "platform/SoftwareFramebuffer.h"

#include <algorithm>
#include <cmath>

namespace zibbles::platform {
namespace {

// Far beyond any screen, and small enough that sums and products of two never overflow.
constexpr double kDeviceLimit = 1099511627776.0; // 2^40

std::optional<std::int64_t> devicePixels(double points, double scale) {
    const double rounded = std::round(points * scale);
    if (!std::isfinite(rounded))
        return std::nullopt;
    return static_cast<std::int64_t>(std::clamp(rounded, -kDeviceLimit, kDeviceLimit));
}

// Damage rectangles that overlap are painted once, as their union.
void addDamage(std::vector<IntRect>& damage, IntRect rect) {
    if (rect.empty())
        return;
    for (bool merged = true; merged;) {
        merged = false;
        for (auto it = damage.begin(); it != damage.end(); ++it) {
            if (!intersection(*it, rect).empty()) {
                rect = unionOf(*it, rect);
                damage.erase(it);
                merged = true;
                break;
            }
        }
    }
    damage.push_back(rect);
}

// What of `old` lies outside `now`: up to four strips, above, below, left and right of the part
// they share.
std::vector<IntRect> uncovered(const IntRect& old, const IntRect& now) {
    const IntRect shared = intersection(old, now);
    if (shared.empty())
        return {old};
    const std::int64_t sharedBottom = shared.y + shared.height;
    const std::int64_t sharedRight = shared.x + shared.width;
    return {
        {old.x, old.y, old.width, shared.y - old.y},
        {old.x, sharedBottom, old.width, old.y + old.height - sharedBottom},
        {old.x, shared.y, shared.x - old.x, shared.height},
        {sharedRight, shared.y, old.x + old.width - sharedRight, shared.height},
    };
}

Rgba8 opaqueBlack() {
    return {0, 0, 0, 255};
}

// The sprite over the background: the same fills and draw, in the same order, as paintLayers
// does on the screen.
SoftwareFramebuffer flatten(const Image& contents, Rgba8 under,
                            const std::optional<Rgba8>& layerBackground, PixelOrder order) {
    const IntRect all{0, 0, contents.width(), contents.height()};
    SoftwareFramebuffer canvas(all.width, all.height, 1.0, order);
    canvas.fill(all, under);
    if (layerBackground)
        canvas.fill(all, *layerBackground);
    canvas.drawImage(contents, all, all);
    return canvas;
}

} // namespace

IntRect Compositor::deviceRect(const Rect& frame, double scale, std::int64_t targetHeight) {
    const auto x = devicePixels(frame.origin.x, scale);
    const auto y = devicePixels(frame.origin.y, scale);
    const auto w = devicePixels(frame.size.width, scale);
    const auto h = devicePixels(frame.size.height, scale);
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0)
        return {};
    return {*x, targetHeight - (*y + *h), *w, *h};
}

Compositor::TreeState Compositor::stateOf(const Layer& root, double t,
                                          const CompositorTarget& target, std::int64_t width,
                                          std::int64_t height) const {
    TreeState state{width, height, target.scale(), root.changeCount(), {}};
    for (const auto& layer : root.sublayers()) {
        state.layers.push_back({layer, deviceRect(layer->presentationFrame(t), state.scale, height),
                                layer->contents(), layer->changeCount()});
    }
    return state;
}

bool Compositor::sameTree(const TreeState& now) const {
    if (!drawn_ || drawn_->width != now.width || drawn_->height != now.height ||
        drawn_->scale != now.scale || drawn_->rootChangeCount != now.rootChangeCount ||
        drawn_->layers.size() != now.layers.size())
        return false;
    for (std::size_t i = 0; i < now.layers.size(); ++i) {
        if (drawn_->layers[i].layer.lock() != now.layers[i].layer.lock())
            return false;
    }
    return true;
}

std::vector<IntRect> Compositor::damageBetween(const TreeState& before, const TreeState& now,
                                               DamageShape shape) const {
    std::vector<IntRect> damage;
    const IntRect screen{0, 0, now.width, now.height};
    for (std::size_t i = 0; i < now.layers.size(); ++i) {
        const LayerState& old = before.layers[i];
        const LayerState& current = now.layers[i];
        if (old.rect == current.rect && old.contents == current.contents &&
            old.changeCount == current.changeCount)
            continue;
        if (shape == DamageShape::Strips) {
            addDamage(damage, intersection(current.rect, screen));
            for (const IntRect& strip : uncovered(old.rect, current.rect))
                addDamage(damage, intersection(strip, screen));
            continue;
        }
        addDamage(damage, intersection(old.rect, screen));
        addDamage(damage, intersection(current.rect, screen));
    }
    return damage;
}

void Compositor::flattenLoneSprite(const Layer& root, const TreeState& now) {
    flattenedApplies_ = false;
    const auto background = root.backgroundColor();
    if (now.layers.size() != 1 || !background || !now.layers.front().contents)
        return;
    const LayerState& sprite = now.layers.front();
    const auto layer = sprite.layer.lock();
    const Rgba8 under = premultipliedBytes(*background);
    const IntRect rootRect = deviceRect({{0.0, 0.0}, root.bounds().size}, now.scale, now.height);
    const Image& contents = *sprite.contents;
    if (!layer || under[3] != 255 || contents.width() != sprite.rect.width ||
        contents.height() != sprite.rect.height ||
        intersection(sprite.rect, rootRect) != sprite.rect)
        return;
    std::optional<Rgba8> layerBackground;
    if (layer->backgroundColor())
        layerBackground = premultipliedBytes(*layer->backgroundColor());
    if (!flattened_ || flattened_->contents != sprite.contents || flattened_->under != under ||
        flattened_->layerBackground != layerBackground) {
        const PixelOrder order = flattened_ ? flattened_->pixels.order() : PixelOrder::Rgba;
        flattened_ = Flattened{sprite.contents, under, layerBackground,
                               flatten(contents, under, layerBackground, order), ++flattenCount_};
    }
    flattenedApplies_ = true;
}

void Compositor::copyFlattened(const IntRect& spriteRect, const IntRect& inside,
                               SoftwareFramebuffer& framebuffer) const {
    Flattened& sprite = *flattened_;
    if (sprite.pixels.order() != framebuffer.order()) {
        sprite.pixels =
            flatten(*sprite.contents, sprite.under, sprite.layerBackground, framebuffer.order());
        sprite.key = ++flattenCount_;
    }
    framebuffer.copyOpaque(sprite.pixels, spriteRect.x, spriteRect.y, inside);
}

void Compositor::paint(const Layer& root, const TreeState& now, const IntRect& area,
                       SoftwareFramebuffer& framebuffer) const {
    const IntRect spriteRect = now.layers.empty() ? IntRect{} : now.layers.front().rect;
    const IntRect inside = intersection(spriteRect, area);
    if (!flattenedApplies_ || inside.empty()) {
        paintLayers(root, now, area, framebuffer);
        return;
    }
    for (const IntRect& part : uncovered(area, spriteRect))
        if (!part.empty())
            paintLayers(root, now, part, framebuffer);
    copyFlattened(spriteRect, inside, framebuffer);
}

void Compositor::paintLayers(const Layer& root, const TreeState& now, const IntRect& area,
                             SoftwareFramebuffer& framebuffer) const {
    const Rect rootFrame{{0.0, 0.0}, root.bounds().size};
    const IntRect rootRect = intersection(deviceRect(rootFrame, now.scale, now.height), area);
    const auto background = root.backgroundColor();
    const Rgba8 backgroundBytes = background ? premultipliedBytes(*background) : Rgba8{};
    // An opaque background over the whole area hides the black beneath; skip painting it.
    if (rootRect != area || backgroundBytes[3] != 255)
        framebuffer.fill(area, opaqueBlack());
    framebuffer.fill(rootRect, backgroundBytes);

    for (const LayerState& state : now.layers) {
        const IntRect visible = intersection(state.rect, area);
        if (visible.empty())
            continue;
        if (const auto layer = state.layer.lock(); layer && layer->backgroundColor())
            framebuffer.fill(visible, premultipliedBytes(*layer->backgroundColor()));
        if (state.contents)
            framebuffer.drawImage(*state.contents, state.rect, visible);
    }
}

void Compositor::paintThroughCanvases(const Layer& root, const TreeState& now, const IntRect& area,
                                      CompositorTarget& target) const {
    // A moving sprite's new rectangle is all sprite: a target that keeps its pixels shows them.
    if (flattenedApplies_ && !now.layers.empty()) {
        const IntRect spriteRect = now.layers.front().rect;
        const Flattened& sprite = *flattened_;
        if (intersection(spriteRect, area) == area &&
            target.showKept(sprite.key, sprite.pixels, spriteRect.x, spriteRect.y, area))
            return;
    }
    IntRect rest = area;
    while (!rest.empty()) {
        SoftwareFramebuffer& canvas = target.canvasFor(rest);
        const IntRect part = intersection(rest, canvas.area());
        if (part.empty())
            return; // a target that has no pixels to lend shows nothing of it
        paint(root, now, part, canvas);
        const std::int64_t below = part.y + part.height;
        rest = {rest.x, below, rest.width, rest.y + rest.height - below};
    }
}

const std::vector<IntRect>& Compositor::render(const Layer& root, double t,
                                               CompositorTarget& target) {
    const IntRect bounds = target.deviceBounds();
    TreeState now = stateOf(root, t, target, bounds.width, bounds.height);
    if (sameTree(now))
        damage_ = damageBetween(*drawn_, now, target.damageShape());
    else
        damage_ = {IntRect{0, 0, now.width, now.height}};
    std::erase_if(damage_, [](const IntRect& r) { return r.empty(); });

    if (!damage_.empty())
        flattenLoneSprite(root, now);
    for (const IntRect& area : damage_)
        paintThroughCanvases(root, now, area, target);
    if (!damage_.empty())
        target.present(damage_);
    drawn_ = std::move(now);
    return damage_;
}

} // namespace zibbles::platform
