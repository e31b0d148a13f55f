#pragma once

// The compositor's target for a Wayland surface, drawn through shared-memory buffers.
// Implemented features:
//  [X] The compositor paints a software framebuffer of the surface's size in device pixels; present
//      copies only the damaged rectangles into a wl_shm buffer (XRGB8888), attaches it and
//      damages only those rectangles (wl_surface.damage_buffer), so a moving sprite costs two
//      small rectangles a frame in the saver and in the compositor.
//  [X] Two buffers: one may be on screen while the other is written. Each buffer remembers what
//      changed since it was last written, so a buffer is brought up to date with those rectangles
//      alone. A buffer is written again only after wl_buffer.release.
//  [X] When both buffers are held, the damage waits and is shown once one is released.
//  [X] Paced by the compositor: every commit asks for wl_surface.frame, and until that callback
//      fires new damage waits (as for a held buffer), so a hidden or powered-off output, whose
//      callbacks the compositor holds back, gets no commit at all. frameSeen() tells a
//      compositor that answers from one that sends no callbacks; for that one the caller turns
//      the pacing off (setPacedByFrames).
//  [X] Scales in 120ths (WaylandScale.h): buffers of round(points × scale) device pixels. With a
//      viewport (where the compositor prefers a scale for the surface), the buffer scale stays 1
//      and the viewport's destination is the size in points, so any scale, fractional or whole,
//      is drawn one buffer pixel to one device pixel. Without one, whole scales go through
//      wl_surface.set_buffer_scale. A new size or scale makes new buffers (the compositor then
//      repaints everything).

#include "platform/CompositorTarget.h"
#include "platform/SoftwareFramebuffer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct wl_shm;
struct wl_surface;
struct wl_buffer;
struct wl_callback;
struct wp_viewporter;
struct wp_viewport;

namespace zibbles::platform {

// Main thread only (the thread that dispatches the connection's events).
class CompositorTargetWayland final : public CompositorTarget {
  public:
    // Both must outlive the target. With a viewporter (null: none), the target gives the surface
    // a viewport and scales through it.
    CompositorTargetWayland(wl_shm* shm, wl_surface* surface, wp_viewporter* viewporter);
    ~CompositorTargetWayland() override;
    CompositorTargetWayland(const CompositorTargetWayland&) = delete;
    CompositorTargetWayland& operator=(const CompositorTargetWayland&) = delete;

    SoftwareFramebuffer& framebuffer() override { return framebuffer_; }
    double scale() const override { return framebuffer_.scale(); }
    // Commits to the surface (then flushes nothing: the caller's loop flushes the connection).
    void present(const std::vector<IntRect>& damage) override;

    // A surface of this size in points at a scale in 120ths, a multiple of 120 without a
    // viewport. False, with the reason in error, when the shared memory cannot be had.
    bool resize(std::int64_t widthPoints, std::int64_t heightPoints, std::uint32_t scaleIn120ths,
                std::string& error);
    // Damage that waits for a free buffer or a frame callback: show it now if it may be.
    void presentWaiting();
    // How many frames have been committed to the surface so far.
    std::uint64_t framesCommitted() const { return framesCommitted_; }
    bool hasWaitingDamage() const { return !waiting_.empty(); }

    // A commit has asked for a frame callback that has not fired yet.
    bool awaitingFrame() const { return frameCallback_ != nullptr; }
    // How long the callback has been awaited, in seconds (0 when none is).
    double secondsAwaitingFrame() const;
    // A frame callback has fired on this surface at least once.
    bool frameSeen() const { return frameSeen_; }
    // Off: commits wait for a free buffer only (a compositor that sends no frame callbacks).
    void setPacedByFrames(bool paced) { pacedByFrames_ = paced; }
    // For the callback's listener.
    void frameDone();

    struct Buffer; // one wl_shm buffer and the rectangles it lacks

  private:
    void dropBuffers();
    Buffer* freeBuffer();

    wl_shm* shm_;
    wl_surface* surface_;
    wp_viewport* viewport_ = nullptr;
    SoftwareFramebuffer framebuffer_;
    std::uint32_t scale_ = 0; // in 120ths; 0 before the first resize
    std::int64_t widthPoints_ = 0;
    std::int64_t heightPoints_ = 0;
    std::array<std::unique_ptr<Buffer>, 2> buffers_;
    std::vector<IntRect> waiting_; // damage not yet committed
    wl_callback* frameCallback_ = nullptr;
    double frameAskedAt_ = 0.0;
    bool frameSeen_ = false;
    bool pacedByFrames_ = true;
    std::uint64_t framesCommitted_ = 0;
};

} // namespace zibbles::platform
