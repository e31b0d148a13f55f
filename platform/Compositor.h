#pragma once

// Draws a layer tree into a render target.
// Implemented features:
//  [X] The root layer's background colour over its bounds, placed at the target's bottom-left;
//      opaque black elsewhere.
//  [X] Each sublayer of the root, in order: its background colour, then its contents stretched
//      to its frame as shown at time t (Layer::presentationFrame), nearest-neighbour, source-over.
//  [X] Points to device pixels by the target's scale: a frame's origin and size are each rounded
//      half away from zero, so a moving layer keeps its size in pixels wherever it is.
//  [X] Layer y up (origin bottom-left) to the target's rows (top row 0).
//  [X] Damage: only the old and the new rectangle of a sublayer whose frame, contents or model
//      changed are repainted (or, for a target that asks for strips, the new rectangle and the
//      strips of the old one it uncovered); everything is repainted when the target's size or
//      scale, the root layer or the set of sublayers changes, and after invalidate().
//  [X] Targets that lend pixels for a part of the screen at a time: each damaged rectangle is
//      painted through as many canvases as the target needs.
//  [ ] Sublayers of sublayers, transforms, opacity, smoothing (a Linear magnification filter is
//      drawn as nearest): the saver's tree is one root with one sprite.

#include "platform/CompositorTarget.h"
#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Layer.h"
#include "platform/SoftwareFramebuffer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zibbles::platform {

// Main thread only.
class Compositor {
  public:
    // Paints what changed since the last call and presents it. Gives the damage (device pixels,
    // top row 0); empty when nothing changed, in which case nothing is presented.
    const std::vector<IntRect>& render(const Layer& root, double t, CompositorTarget& target);
    // The next render repaints everything (after an expose, or a target that lost its pixels).
    void invalidate() { drawn_.reset(); }

    // A frame in points (y up) as device pixels (top row 0) in a target of the given pixel
    // height; empty for values that are not finite.
    static IntRect deviceRect(const Rect& frame, double scale, std::int64_t targetHeight);

  private:
    struct LayerState {
        std::weak_ptr<const Layer> layer;
        IntRect rect;
        ImageRef contents;
        std::uint64_t changeCount = 0;
    };
    struct TreeState {
        std::int64_t width = 0;
        std::int64_t height = 0;
        double scale = 0.0;
        std::uint64_t rootChangeCount = 0;
        std::vector<LayerState> layers;
    };

    TreeState stateOf(const Layer& root, double t, const CompositorTarget& target,
                      std::int64_t width, std::int64_t height) const;
    bool sameTree(const TreeState& now) const;
    std::vector<IntRect> damageBetween(const TreeState& before, const TreeState& now,
                                       DamageShape shape) const;
    void paintThroughCanvases(const Layer& root, const TreeState& now, const IntRect& area,
                              CompositorTarget& target) const;
    void paint(const Layer& root, const TreeState& now, const IntRect& area,
               SoftwareFramebuffer& framebuffer) const;
    void paintLayers(const Layer& root, const TreeState& now, const IntRect& area,
                     SoftwareFramebuffer& framebuffer) const;
    void flattenLoneSprite(const Layer& root, const TreeState& now);
    void copyFlattened(const IntRect& spriteRect, const IntRect& inside,
                       SoftwareFramebuffer& framebuffer) const;

    // A lone sublayer shown one image pixel per device pixel, wholly over an opaque background,
    // looks the same wherever it is: it is composited once per figure, in the byte order of the
    // canvases, and each frame copies its rows.
    struct Flattened {
        ImageRef contents;
        Rgba8 under;
        std::optional<Rgba8> layerBackground;
        SoftwareFramebuffer pixels;
        std::uint64_t key = 0; // new for each composite, so that targets know new pixels
    };
    mutable std::uint64_t flattenCount_ = 0;
    // Painting may find the canvases in another byte order and composite it again in theirs.
    mutable std::optional<Flattened> flattened_;
    bool flattenedApplies_ = false; // in the frame being painted
    std::optional<TreeState> drawn_;
    std::vector<IntRect> damage_;
};

} // namespace zibbles::platform
