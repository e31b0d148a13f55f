#pragma once

// The compositor's target for an X window drawn through X shared memory (MIT-SHM), as a
// screen-saver hack draws into the window its daemon made.
// Implemented features:
//  [X] No framebuffer of the whole screen: the X server keeps the window's pixels, so the
//      compositor paints each damaged rectangle into a small shared segment lent part by part,
//      and present puts only those parts (XShmPutImage), in the visual's own byte order.
//  [X] No round trip per frame: the last put of a frame asks for a completion event, and the
//      segment is written again only after that event (or, with the window gone, a short wait).
//  [X] Damage as strips: a moving sprite costs its new rectangle and the strips it uncovered.
//  [X] A resize: the new size, and a segment wide enough for at least one row.
//  [ ] Visuals other than 32-bit TrueColor with 8-bit channels (red and blue at either end), and
//      displays that cannot share memory (a remote server): make fails, the caller falls back.

#include "platform/CompositorTarget.h"
#include "platform/SoftwareFramebuffer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Xlib's own names, declared here so that its macros stay out of every file that includes this.
struct _XDisplay;
union _XEvent;

namespace zibbles::platform {

// Main thread only (the thread that owns the display connection).
class CompositorTargetX11Shm final : public CompositorTarget {
  public:
    // Null, with the reason in error, when the window's visual or the server does not allow it.
    // The display connection must outlive the target; the window may go at any time.
    // window is an X window id.
    static std::unique_ptr<CompositorTargetX11Shm> make(_XDisplay* display, unsigned long window,
                                                        double scale, std::string& error);
    ~CompositorTargetX11Shm() override;
    CompositorTargetX11Shm(const CompositorTargetX11Shm&) = delete;
    CompositorTargetX11Shm& operator=(const CompositorTargetX11Shm&) = delete;

    SoftwareFramebuffer& framebuffer() override { return canvas_; }
    double scale() const override { return scale_; }
    void setScale(double scale) { scale_ = scale; }
    void present(const std::vector<IntRect>& damage) override;
    IntRect deviceBounds() override { return {0, 0, width_, height_}; }
    SoftwareFramebuffer& canvasFor(const IntRect& area) override;
    DamageShape damageShape() const override { return DamageShape::Strips; }

    // The window's new size in device pixels (after a ConfigureNotify). False when no segment
    // wide enough can be had; the target then shows nothing.
    bool resize(std::int64_t width, std::int64_t height);
    // Gives true, and takes note, when the event is the server's word that it is done with the
    // pixels of the last present.
    bool takeCompletion(const _XEvent& event);
    // True while the server may still read the pixels of the last present.
    bool awaitingCompletion() const { return awaitingCompletion_; }

  private:
    struct Piece {
        IntRect area;
        std::size_t offset; // bytes into the segment
    };
    struct Server; // the Xlib state: visual, graphics context, segment, image
    CompositorTargetX11Shm(_XDisplay* display, unsigned long window, double scale);
    bool attachSegment(std::size_t bytes, std::string& error);
    void detachSegment();
    void putPieces();
    void waitForCompletion();

    _XDisplay* display_;
    unsigned long window_;
    double scale_;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    PixelOrder order_ = PixelOrder::Bgra;
    std::unique_ptr<Server> server_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::vector<Piece> pieces_; // painted, not yet put
    bool awaitingCompletion_ = false;
    SoftwareFramebuffer canvas_;
};

} // namespace zibbles::platform
