#pragma once

// The compositor's target for an X window drawn through X shared memory (MIT-SHM), as a
// screen-saver hack draws into the window its daemon made.
// Implemented features:
//  [X] No framebuffer of the whole screen: the X server keeps the window's pixels, so the
//      compositor paints each damaged rectangle into a small shared segment lent part by part,
//      and present puts only those parts (XShmPutImage), in the visual's own byte order.
//  [X] No round trip per frame: the last put of a frame asks for a completion event. Frames take
//      turns between the two halves of the segment, and a half is written again only after the
//      completion of the frame before last that used it (or, with the window gone, a short
//      wait), so a server a frame behind never holds up the next one.
//  [X] Damage as strips: a moving sprite costs its new rectangle and the strips it uncovered.
//  [X] A kept image: the lone sprite's composite lives in a segment of its own, written once per
//      figure, and its new rectangle is put from there, so a frame paints only the strips.
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

struct SharedPixels;

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
    // Keeps one image (the moving sprite) in a segment of its own, which the server reads from at
    // every frame: while it moves, only the strips it uncovered are painted.
    bool showKept(std::uint64_t key, const SoftwareFramebuffer& image, std::int64_t x,
                  std::int64_t y, const IntRect& clip) override;

    // The window's new size in device pixels (after a ConfigureNotify). False when no segment
    // wide enough can be had; the target then shows nothing.
    bool resize(std::int64_t width, std::int64_t height);
    // Gives true, and takes note, when the event is the server's word that it is done with the
    // pixels of the last present.
    bool takeCompletion(const _XEvent& event);
    // True while the server may still read the pixels of a present.
    bool awaitingCompletion() const { return received_ < requested_; }

  private:
    struct Piece {
        IntRect area;
        std::size_t offset; // bytes into the frames' segment
        bool kept = false;  // else from the kept image, from this pixel of it:
        std::int64_t sourceX = 0;
        std::int64_t sourceY = 0;
    };
    struct Server; // the Xlib state: visual, graphics context, segments, images
    CompositorTargetX11Shm(_XDisplay* display, unsigned long window, double scale);
    bool attach(SharedPixels& shared, std::size_t bytes);
    void detach(SharedPixels& shared);
    void beginFrame();
    void putPieces();
    // Waits until the server has finished this many presents (counted from the first).
    void waitForCompletions(std::uint64_t count);
    std::size_t halfBytes() const;
    std::size_t halfStart() const { return static_cast<std::size_t>(half_) * halfBytes(); }

    _XDisplay* display_;
    unsigned long window_;
    double scale_;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    PixelOrder order_ = PixelOrder::Bgra;
    std::unique_ptr<Server> server_;
    std::size_t used_ = 0;
    bool frameOpen_ = false;             // painted into since the last present
    std::vector<Piece> pieces_;          // painted, not yet put
    int half_ = 0;                       // the half of the segment the frame being painted uses
    std::uint64_t requested_ = 0;        // presents that asked for a completion
    std::uint64_t received_ = 0;         // completions that came
    std::uint64_t halfDone_[2] = {0, 0}; // presents to complete before each half is free
    std::uint64_t keptKey_ = 0;
    std::int64_t keptWidth_ = 0;
    std::int64_t keptHeight_ = 0;
    std::uint64_t keptReadBy_ = 0; // the last present that read the kept image
    bool keepsNothing_ = false;    // no segment for the kept image could be had
    SoftwareFramebuffer canvas_;
};

} // namespace zibbles::platform
